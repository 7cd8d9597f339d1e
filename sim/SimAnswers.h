#pragma once
// What a stand-in encoder answers, as a real one would: the configuration it holds, the
// write it judges (root, password) and keeps without its passwords, its status, TS -> IP
// start and stop, and discovery. Each answer is recorded on the encoder, logged, shaped by
// its fault and timed by its delay; the server (SimServer) only puts it on the wire.

#include <chrono>
#include <cstdint>
#include <vector>

#include "LinkProtocol.h"
#include "SimEncoderState.h"
#include "SimFaults.h"
#include "SimOptions.h"

// The answer to one complete command request.
struct SimAnswer {
    SimReply reply;
    std::chrono::steady_clock::time_point due;   // when its first byte goes
    int stepMs = 0;                              // 0: everything at once; else one payload byte per step
};

// Answers `request` (its header already decoded, its payload complete) for `encoder`.
// `fleet`: log lines name the encoder's address.
SimAnswer AnswerCommand(SimEncoder::Shared& shared, SimEncoder::State& encoder, const std::vector<uint8_t>& request,
                        const FrameHeader& header, const SimOptions& options, bool fleet);

// The discovery replies to one datagram of `count` bytes from `fromAddr`.
struct SimSearchAnswer {
    std::chrono::steady_clock::time_point due;   // when they go
    std::vector<std::vector<uint8_t>> replies;   // empty: the datagram was no search
};
SimSearchAnswer AnswerSearch(SimEncoder::Shared& shared, SimEncoder::State& encoder, const uint8_t* request, int count,
                             uint32_t fromAddr, const SimOptions& options, bool fleet);

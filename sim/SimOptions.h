#pragma once
// What a stand-in encoder (or a fleet of them) starts with: where it listens, how it
// answers until told otherwise, and where it logs.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "SimFaults.h"

// A fleet's bound: each encoder holds two sockets, so this many stay within common
// open-file limits once raised, and a mistyped range cannot exhaust the machine.
constexpr size_t kMaxSimEncoders = 16384;

struct SimOptions {
    // One address ("127.0.0.1"), a range ("127.0.0.2-101", "127.0.0.2-127.0.0.101", or
    // over the third number "127.0.10.1-127.0.13.250"), or several ranges separated by
    // commas ("127.0.0.2-101,127.0.1.2-51"): one encoder per address, all on the same ports.
    std::string bindAddress = "127.0.0.1";
    uint16_t commandPort = 0;   // 0: an ephemeral port (the executable defaults to 9999)
    uint16_t searchPort = 0;    // 0: an ephemeral port (the executable defaults to 8888)
    std::string password = "admin";
    std::vector<uint8_t> status = {0, 0, 38, 1, 1, 1, 1};   // not busy, 38 degrees, both programs up
    std::string reportAddress;                              // empty: each encoder reports its own address
    SimFault fault = SimFault::None;
    int delayMs = 0;       // every answer (reply, close, discovery reply) this long after its request
    int trickleMs = 400;   // the Trickle fault's pace: one payload byte per this many ms
    // false: the encoders bind no discovery port and answer no search (SearchPort() is 0),
    // for places where several addresses cannot share one datagram port.
    bool discovery = true;
    std::function<void(const std::string&)> log;   // one line per request, from the server thread; may be empty
};

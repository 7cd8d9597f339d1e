#pragma once
// What one encoder of the stand-in keeps, shared between the server thread that answers
// for it and the handles (SimEncoder) that change and read it from other threads. Inside
// the stand-in only.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "SimEncoder.h"

struct SimEncoder::Shared {
    mutable std::mutex mutex;
    mutable std::condition_variable arrived;   // a request arrived
};

struct SimEncoder::State {
    uint32_t address = 0;
    uint32_t reported = 0;   // the address discovery replies carry

    // Under Shared::mutex:
    SimFault fault = SimFault::None;
    int delayMs = 0;
    int trickleMs = 0;
    std::vector<uint8_t> status;
    std::string password;
    std::string document;
    std::string writeReply;
    std::vector<uint32_t> searchReplies;
    std::string lastWritten;
    std::vector<int32_t> requests;
    std::vector<uint8_t> lastRequest;
    std::vector<uint8_t> lastSearch;
    bool tsRunning = false;
};

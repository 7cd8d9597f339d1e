#pragma once
// What the link tests share: a reporter that records every call, and a fixture that
// runs the stand-in encoder in-process with short waits.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <string>
#include <vector>

#include "CEncoderSim.h"
#include "EncoderLink.h"
#include "Socket.h"

class RecordingReporter : public LinkReporter {
public:
    void Warning(const std::string& text) override { messages.push_back("Warning: " + text); }
    void Tip(const std::string& text) override { messages.push_back("Tip: " + text); }

    std::vector<std::string> messages;
};

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.Start()) << sim.Error();
        options.commandPort = sim.CommandPort();
        options.searchPort = sim.SearchPort();
        options.timing = {30, 20, 10, 100, 300};
        options.sleep = [this](int ms) {
            sleeps.push_back(ms);
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        };
        record.ipAddr = sim.Address();
    }

    CEncoderLink Link() { return CEncoderLink(reporter, options); }
    // A port on 127.0.0.1 that nobody listens on.
    static uint16_t ClosedPort()
    {
        CSocket probe(CSocket::Kind::Tcp);
        probe.Bind(kLoopbackAddress, 0);
        return probe.LocalPort();   // closed again when `probe` goes
    }

    CEncoderSim sim;
    RecordingReporter reporter;
    LinkOptions options;
    std::vector<int> sleeps;
    EncoderRecord record{};
};

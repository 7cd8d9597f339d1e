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
    void BeginWait() override
    {
        ++depth;
        ++begun;
    }
    void EndWait() override { --depth; }

    std::vector<std::string> messages;
    int depth = 0;   // 0 again after every exchange
    int begun = 0;
};

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.Start()) << sim.Error();
        options.commandPort = sim.CommandPort();
        options.searchPort = sim.SearchPort();
        options.timing = {30, 20, 10, 100, 300};
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        for (char& c : name) {
            c = (c == '/') ? '_' : c;   // parameterised test names hold slashes
        }
        options.outFile = ::testing::TempDir() + "korvane-link-" + name + ".xml";
        std::remove(options.outFile.c_str());
        options.sleep = [this](int ms) {
            sleeps.push_back(ms);
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        };
        record.ipAddr = sim.Address();
    }
    void TearDown() override
    {
        EXPECT_EQ(reporter.depth, 0) << "wait cursor left unbalanced";
        std::remove(options.outFile.c_str());
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

// The stand-in encoder on its own: what it keeps, and the executable's life cycle.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "LinkTestSupport.h"

TEST_F(LinkTest, SimKeepsThePasswordUntilAMatchingWriteChangesIt)
{
    std::strcpy(record.password, "admin");
    std::strcpy(record.newPassword, "n3w");
    ASSERT_EQ(Link().WriteConfiguration(record), 1);
    EXPECT_EQ(sim.Password(), "n3w");

    // The old password no longer opens it; the new one does.
    EXPECT_EQ(Link().WriteConfiguration(record), 0);
    std::strcpy(record.password, "n3w");
    EXPECT_EQ(Link().WriteConfiguration(record), 1);
    EXPECT_EQ(reporter.messages,
              (std::vector<std::string>{"Tip: Set Configuration Success !", "Warning: Password Error !",
                                        "Tip: Set Configuration Success !"}));
    EXPECT_EQ(sim.Document().find("<password>"), std::string::npos);
    EXPECT_EQ(sim.Document().find("<newPassword>"), std::string::npos);
}

TEST_F(LinkTest, SimDefaultDocumentReportsItsOwnAddress)
{
    std::string document = CEncoderSim::DefaultDocument(0x7F000009u);
    EXPECT_NE(document.find("<ipAddr>127.0.0.9</ipAddr>"), std::string::npos);
    EXPECT_EQ(document.rfind("<?xml version=\"1.0\" encoding=\"GB2312\" standalone=\"no\" ?>\n<encoder_202>\n", 0), 0u);
}

TEST_F(LinkTest, SimDocumentIsWhatTheToolWritesBack)
{
    // Read it, write it: the same lines, plus the two passwords the encoder keeps to itself.
    ASSERT_EQ(Link().ReadConfiguration(record), 1);
    std::strcpy(record.password, "admin");
    std::strcpy(record.newPassword, "admin");
    ASSERT_EQ(Link().WriteConfiguration(record), 1);
    std::string written = sim.LastWrittenDocument();
    const std::string passwords = "\t\t<password>admin</password>\n\t\t<newPassword>admin</newPassword>\n";
    size_t at = written.find(passwords);
    ASSERT_NE(at, std::string::npos);
    written.erase(at, passwords.size());
    EXPECT_EQ(written, CEncoderSim::DefaultDocument(sim.Address()));
    EXPECT_EQ(sim.Document(), written);
}

TEST(SimFaults, EveryNameMapsBackToItsFault)
{
    for (const SimFaultName& entry : SimFaultNames()) {
        SimFault fault = SimFault::None;
        EXPECT_TRUE(SimFaultFromName(entry.name, fault)) << entry.name;
        EXPECT_EQ(fault, entry.fault) << entry.name;
    }
    SimFault fault = SimFault::Silence;
    EXPECT_FALSE(SimFaultFromName("no-such-fault", fault));
}

TEST(SimStart, TakenPortIsAnErrorNotACrash)
{
    CEncoderSim first;
    ASSERT_TRUE(first.Start()) << first.Error();
    SimOptions options;
    options.commandPort = first.CommandPort();
    CEncoderSim second(options);
    EXPECT_FALSE(second.Start());
    EXPECT_NE(second.Error().find("cannot listen"), std::string::npos);
}

#ifndef _WIN32
#include "SimProcess.h"

namespace {

std::string ReadLine(FILE* out)
{
    char line[512] = {};
    return std::fgets(line, sizeof line, out) != nullptr ? line : "";
}

}   // namespace

TEST(SimExecutable, PrintsItsPortsServesAndEndsCleanlyOnSigterm)
{
    FILE* out = nullptr;
    pid_t pid = SpawnSim({"--port", "0", "--search-port", "0", "--status", "1,0,38,1,1,1,1"}, out);
    ASSERT_GT(pid, 0);
    std::string first = ReadLine(out);
    unsigned commandPort = 0, searchPort = 0;
    ASSERT_EQ(std::sscanf(first.c_str(), "korvane-sim on 127.0.0.1: command port %u, search port %u", &commandPort,
                          &searchPort),
              2)
        << first;

    RecordingReporter reporter;
    LinkOptions options;
    options.commandPort = static_cast<uint16_t>(commandPort);
    options.searchPort = static_cast<uint16_t>(searchPort);
    options.timing = {10, 10, 10, 200, 200};
    EncoderRecord record{};
    record.ipAddr = 0x7F000001u;
    EXPECT_EQ(CEncoderLink(reporter, options).QueryStatus(record), STATUS_BUSY);

    kill(pid, SIGTERM);
    EXPECT_EQ(WaitExitCode(pid), 0);
    fclose(out);
}

TEST(SimExecutable, HelpListsEveryFaultAndTheDefaultPassword)
{
    FILE* out = nullptr;
    pid_t pid = SpawnSim({"--help"}, out);
    ASSERT_GT(pid, 0);
    std::string help;
    for (std::string line = ReadLine(out); !line.empty(); line = ReadLine(out)) {
        help += line;
    }
    EXPECT_EQ(WaitExitCode(pid), 0);
    fclose(out);
    EXPECT_NE(help.find("\"admin\""), std::string::npos);
    for (const char* option : {"--delay-ms", "--trickle-ms", "127.0.0.2-101", "--fault ADDR=NAME"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
    for (const SimFaultName& entry : SimFaultNames()) {
        EXPECT_NE(help.find(entry.name), std::string::npos) << entry.name;
    }
}

TEST(SimExecutable, RejectsUnknownFaultNames)
{
    FILE* out = nullptr;
    pid_t pid = SpawnSim({"--fault", "no-such-fault"}, out);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(WaitExitCode(pid), 2);
    fclose(out);
}
#endif

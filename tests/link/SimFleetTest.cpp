// One stand-in serving a fleet: every address its own encoder on the same two ports,
// reply delays and the trickle fault, in-process and as the executable.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "../UnderWine.h"
#include "LinkTestSupport.h"
#include "TextConversions.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

SimOptions FleetOptions(const std::string& range)
{
    SimOptions options;
    options.bindAddress = range;
    options.discovery = FleetDiscoveryWorks(2);
    return options;
}

LinkOptions ShortWaits(const CEncoderSim& sim)
{
    LinkOptions options;
    options.commandPort = sim.CommandPort();
    options.searchPort = sim.SearchPort();
    options.timing = {0, 0, 0, 500, 100};
    return options;
}

// A raw status request to `address`; the connection, for the test to read the reply from.
CSocket SendStatusRequest(uint32_t address, uint16_t port)
{
    CSocket socket(CSocket::Kind::Tcp);
    EXPECT_TRUE(socket.Connect(address, port, 1000));
    uint8_t header[FrameHeader::kSize];
    FrameHeader{CMD_STATUS, 0}.Encode(header);
    EXPECT_EQ(socket.Send(header, sizeof header), static_cast<int>(sizeof header));
    return socket;
}

}   // namespace

TEST(SimFleet, EveryAddressIsAnEncoderOfItsOwnOnTheSamePorts)
{
    CEncoderSim sim(FleetOptions("127.0.0.2-6"));
    ASSERT_TRUE(sim.Start()) << sim.Error();
    ASSERT_EQ(sim.Count(), 5u);
    EXPECT_EQ(sim.Addresses(), (std::vector<uint32_t>{0x7F000002, 0x7F000003, 0x7F000004, 0x7F000005, 0x7F000006}));
    EXPECT_EQ(sim.Address(), 0x7F000002u);
    for (size_t i = 0; i < sim.Count(); ++i) {
        sim.EncoderAt(i).SetPassword("pw" + std::to_string(i));
        sim.EncoderAt(i).SetStatus({0, 0, 38, 1, 1, 1, static_cast<uint8_t>(i % 2)});
    }
    LinkOptions options = ShortWaits(sim);
    RecordingReporter reporter;
    CEncoderLink link(reporter, options);
    for (size_t i = 0; i < sim.Count(); ++i) {
        SimEncoder encoder = sim.EncoderAt(i);
        EncoderRecord record{};
        record.ipAddr = encoder.Address();
        EXPECT_EQ(link.QueryStatus(record), i % 2 ? 0 : STATUS_PROG2_NO_INPUT) << i;
        ASSERT_EQ(link.ReadConfiguration(record), 1) << i;
        EXPECT_EQ(record.ipAddr, encoder.Address()) << "each document names its own encoder";

        // Only this encoder's own password opens it, and only it keeps the document.
        std::snprintf(record.program_info1.progName, sizeof record.program_info1.progName, "Prog %zu", i);
        std::strcpy(record.password, "pw0");
        std::strcpy(record.newPassword, "pw0");
        EXPECT_EQ(link.WriteConfiguration(record), i == 0 ? 1 : 0) << i;
        std::strcpy(record.password, ("pw" + std::to_string(i)).c_str());
        std::strcpy(record.newPassword, ("new" + std::to_string(i)).c_str());
        EXPECT_EQ(link.WriteConfiguration(record), 1) << i;
        EXPECT_EQ(encoder.Password(), "new" + std::to_string(i));
        EXPECT_EQ(encoder.RequestCount(CMD_WRITE_CONFIG), 2) << i;
    }
    for (size_t i = 0; i < sim.Count(); ++i) {
        const std::string name = "<progName>Prog " + std::to_string(i) + "</progName>";
        EXPECT_NE(sim.EncoderAt(i).Document().find(name), std::string::npos) << i;
        EXPECT_NE(sim.EncoderAt(i).LastWrittenDocument().find(name), std::string::npos) << i;
        EXPECT_EQ(sim.EncoderAt(i).Requests(),
                  (std::vector<int32_t>{CMD_STATUS, CMD_READ_CONFIG, CMD_WRITE_CONFIG, CMD_WRITE_CONFIG}));
    }
}

TEST(SimFleet, WithoutDiscoveryEveryAddressStillAnswersCommands)
{
    SimOptions fleetOptions = FleetOptions("127.0.0.2-4");
    fleetOptions.discovery = false;
    CEncoderSim sim(fleetOptions);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    EXPECT_EQ(sim.SearchPort(), 0) << "no discovery port bound";
    RecordingReporter reporter;
    CEncoderLink link(reporter, ShortWaits(sim));
    for (size_t i = 0; i < sim.Count(); ++i) {
        EncoderRecord record{};
        record.ipAddr = sim.EncoderAt(i).Address();
        EXPECT_EQ(link.QueryStatus(record), 0) << i;
        EXPECT_EQ(link.ReadConfiguration(record), 1) << i;
        EXPECT_EQ(sim.EncoderAt(i).Requests(), (std::vector<int32_t>{CMD_STATUS, CMD_READ_CONFIG})) << i;
    }
}

TEST(SimFleet, DiscoveryOnEachAddressReportsThatAddress)
{
    SKIP_FLEET_UNDER_WINE(2);
    CEncoderSim sim(FleetOptions("127.0.0.2-127.0.0.4"));
    ASSERT_TRUE(sim.Start()) << sim.Error();
    LinkOptions options = ShortWaits(sim);
    options.timing.receiveTimeoutMs = 50;
    RecordingReporter reporter;
    CEncoderLink link(reporter, options);
    for (uint32_t address : sim.Addresses()) {
        std::vector<std::string> found;
        link.SearchEncoder(address, [&](const std::string& dotted) { found.push_back(dotted); });
        EXPECT_EQ(found, std::vector<std::string>{FormatDotted(address)});
        EXPECT_EQ(sim.EncoderFor(address).LastSearchRequest().size(), kSearchRequestSize);
    }
}

TEST(SimFleet, FaultsSetForOneAddressStayWithIt)
{
    CEncoderSim sim(FleetOptions("127.0.0.2-4"));
    ASSERT_TRUE(sim.Start()) << sim.Error();
    sim.EncoderFor(0x7F000003).SetFault(SimFault::WrongCode);
    EXPECT_EQ(sim.EncoderFor(0x7F000003).Fault(), SimFault::WrongCode);
    EXPECT_EQ(sim.EncoderFor(0x7F000004).Fault(), SimFault::None);
    RecordingReporter reporter;
    CEncoderLink link(reporter, ShortWaits(sim));
    std::vector<int> results;
    for (uint32_t address : sim.Addresses()) {
        EncoderRecord record{};
        record.ipAddr = address;
        results.push_back(link.QueryStatus(record));
    }
    EXPECT_EQ(results, (std::vector<int>{0, -1, 0}));

    // The stand-in's own setter reaches the whole fleet.
    sim.SetFault(SimFault::EarlyClose);
    for (uint32_t address : sim.Addresses()) {
        EXPECT_EQ(sim.EncoderFor(address).Fault(), SimFault::EarlyClose);
    }
}

TEST(SimFleet, AddressesOutsideTheFleetGiveNoEncoder)
{
    CEncoderSim sim(FleetOptions("127.0.0.2-4"));
    EXPECT_FALSE(sim.EncoderFor(0x7F000001).Valid());
    EXPECT_FALSE(sim.EncoderFor(0x7F000005).Valid());
    EXPECT_FALSE(sim.EncoderAt(3).Valid());
    SimEncoder none = sim.EncoderFor(0x7F000009);
    none.SetPassword("ignored");
    EXPECT_EQ(none.Password(), "");
    EXPECT_FALSE(none.WaitForRequests(1, 0));
}

TEST(SimFleet, ABadRangeIsAnErrorNotAStart)
{
    CEncoderSim reversed(FleetOptions("127.0.0.9-3"));
    EXPECT_FALSE(reversed.Start());
    EXPECT_EQ(reversed.Error(), "not an address: \"127.0.0.9-3\": the range ends before it begins");
    EXPECT_EQ(reversed.Count(), 0u);
}

// A head end's fleet outgrows one subnet: ranges over the third number and several
// ranges in one stand-in, each address still its own encoder.
TEST(SimFleet, RangesOverTheThirdNumberAndSeveralRangesServeEveryAddress)
{
    CEncoderSim sim(FleetOptions("127.0.10.254-127.0.11.1, 127.0.20.7"));
    ASSERT_TRUE(sim.Start()) << sim.Error();
    EXPECT_EQ(sim.Addresses(),
              (std::vector<uint32_t>{0x7F000AFEu, 0x7F000AFFu, 0x7F000B00u, 0x7F000B01u, 0x7F001407u}));
    sim.EncoderFor(0x7F000B00u).SetStatus({1, 0, 38, 1, 1, 1, 1});
    const LinkOptions options = ShortWaits(sim);
    RecordingReporter reporter;
    CEncoderLink link(reporter, options);
    std::vector<int> results;
    for (uint32_t address : sim.Addresses()) {
        EncoderRecord record{};
        record.ipAddr = address;
        results.push_back(link.QueryStatus(record));
    }
    EXPECT_EQ(results, (std::vector<int>{0, 0, STATUS_BUSY, 0, 0}));
    EXPECT_FALSE(sim.EncoderFor(0x7F000B02u).Valid());
}

TEST(SimFleet, AFixedPortTakenOnOneAddressStopsTheWholeFleet)
{
    CSocket taken(CSocket::Kind::Tcp);
    ASSERT_TRUE(taken.Bind(0x7F000003, 0));
    ASSERT_TRUE(taken.Listen(1));
    SimOptions options = FleetOptions("127.0.0.2-4");
    options.commandPort = taken.LocalPort();
    CEncoderSim sim(options);
    EXPECT_FALSE(sim.Start());
    EXPECT_EQ(sim.Error(), "cannot listen on 127.0.0.3 port " + std::to_string(taken.LocalPort()));

    // Nothing of the failed start is left bound: the port is free again on 127.0.0.2.
    CSocket probe(CSocket::Kind::Tcp);
    EXPECT_TRUE(probe.Bind(0x7F000002, taken.LocalPort()));
}

// A hundred encoders at once from several clients, a mix of faults among them: each
// answers as a lone encoder with its fault would.
TEST(SimFleet, AHundredEncodersAnswerTogether)
{
    CEncoderSim sim(FleetOptions("127.0.0.2-101"));
    ASSERT_TRUE(sim.Start()) << sim.Error();
    ASSERT_EQ(sim.Count(), 100u);
    const SimFault faults[] = {SimFault::None, SimFault::Silence, SimFault::WrongCode, SimFault::EarlyClose,
                               SimFault::ZeroLength};
    std::vector<int> expected;
    for (size_t i = 0; i < sim.Count(); ++i) {
        SimFault fault = faults[i % 5];
        sim.EncoderAt(i).SetFault(fault);
        sim.EncoderAt(i).SetStatus({0, 0, 38, static_cast<uint8_t>(i % 3 != 0), 1, 1, 1});
        expected.push_back(fault != SimFault::None ? -1 : (i % 3 != 0 ? 0 : STATUS_PROG1_NO_OUTPUT));
    }
    const LinkOptions options = ShortWaits(sim);
    std::vector<int> results(sim.Count(), -2);
    std::vector<std::thread> clients;
    const size_t kClients = 10;
    for (size_t c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            RecordingReporter reporter;
            CEncoderLink link(reporter, options);
            // A block each, so that every client meets a share of the silent encoders.
            for (size_t i = c * 10; i < c * 10 + 10; ++i) {
                EncoderRecord record{};
                record.ipAddr = sim.EncoderAt(i).Address();
                results[i] = link.QueryStatus(record);
            }
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    EXPECT_EQ(results, expected);
    for (size_t i = 0; i < sim.Count(); ++i) {
        EXPECT_EQ(sim.EncoderAt(i).Requests(), std::vector<int32_t>{CMD_STATUS}) << i;
    }
}

TEST(SimFleet, ADelayedReplyBeginsOnlyAfterItsDelay)
{
    SimOptions options = FleetOptions("127.0.0.2-3");
    options.delayMs = 400;
    CEncoderSim sim(options);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    sim.EncoderAt(1).SetDelay(0);

    Clock::time_point start = Clock::now();
    CSocket delayed = SendStatusRequest(sim.EncoderAt(0).Address(), sim.CommandPort());
    CSocket prompt = SendStatusRequest(sim.EncoderAt(1).Address(), sim.CommandPort());
    ASSERT_TRUE(prompt.WaitReadable(2000));
    EXPECT_TRUE(sim.EncoderAt(0).WaitForRequests(1, 2000));
    EXPECT_FALSE(delayed.WaitReadable(0)) << "the delayed encoder has not answered yet";
    ASSERT_TRUE(delayed.WaitReadable(5000));
    EXPECT_GE(MsSince(start), 400);
    uint8_t reply[64];
    EXPECT_EQ(delayed.Receive(reply, sizeof reply), static_cast<int>(FrameHeader::kSize + 7));

    // A link whose wait and receive time-out end before the delay sees no reply.
    LinkOptions link = ShortWaits(sim);
    link.timing.receiveTimeoutMs = 30;
    RecordingReporter reporter;
    EncoderRecord record{};
    record.ipAddr = sim.EncoderAt(0).Address();
    EXPECT_EQ(CEncoderLink(reporter, link).QueryStatus(record), -1);
    link.timing.statusWaitMs = 600;
    EXPECT_EQ(CEncoderLink(reporter, link).QueryStatus(record), 0);
}

TEST(SimFleet, ADelayedDiscoveryReplyArrivesAfterItsDelay)
{
    SimOptions options;
    options.delayMs = 300;
    CEncoderSim sim(options);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    LinkOptions link = ShortWaits(sim);
    link.timing.receiveTimeoutMs = 20;
    link.timing.searchWindowMs = 40;
    RecordingReporter reporter;
    std::vector<std::string> found;
    CEncoderLink(reporter, link).SearchEncoder(sim.Address(), [&](const std::string& dotted) {
        found.push_back(dotted);
    });
    EXPECT_TRUE(found.empty()) << "the window closed before the reply";
    link.timing.searchWindowMs = 800;
    CEncoderLink(reporter, link).SearchEncoder(sim.Address(), [&](const std::string& dotted) {
        found.push_back(dotted);
    });
    EXPECT_EQ(found, std::vector<std::string>{"127.0.0.1"});
}

TEST(SimFleet, TrickleSendsTheHeaderThenOnePayloadByteAtATime)
{
    SimOptions options;
    options.fault = SimFault::Trickle;
    options.trickleMs = 50;
    options.status = {0, 0, 38, 1, 1, 1, 1};
    CEncoderSim sim(options);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    Clock::time_point start = Clock::now();
    CSocket socket = SendStatusRequest(sim.Address(), sim.CommandPort());

    uint8_t header[FrameHeader::kSize];
    ASSERT_TRUE(socket.WaitReadable(2000));
    ASSERT_EQ(socket.Receive(header, sizeof header), static_cast<int>(sizeof header));
    FrameHeader decoded = FrameHeader::Decode(header);
    EXPECT_EQ(decoded.code, CMD_STATUS);
    EXPECT_EQ(decoded.length, 7);
    // The bytes come one per step; a reader held up may find a few together, never all.
    std::vector<uint8_t> payload;
    std::vector<int> counts;
    while (payload.size() < 7) {
        ASSERT_TRUE(socket.WaitReadable(2000)) << "after " << payload.size() << " bytes";
        uint8_t chunk[16];
        int count = socket.Receive(chunk, sizeof chunk);
        ASSERT_GT(count, 0);
        counts.push_back(count);
        payload.insert(payload.end(), chunk, chunk + count);
    }
    EXPECT_EQ(payload, options.status);
    EXPECT_LT(counts.front(), 7);
    EXPECT_GE(MsSince(start), 7 * 50);

    // The connection stays open once the reply is out.
    EXPECT_FALSE(socket.WaitReadable(0));
}

#ifndef _WIN32
#include "SimProcess.h"

namespace {}   // namespace

TEST(SimFleetExecutable, ServesARangeWithAFaultForOneAddress)
{
    FILE* out = nullptr;
    pid_t pid = SpawnSim({"--bind", "127.0.0.2-127.0.0.4", "--port", "0", "--search-port", "0", "--quiet", "--fault",
                          "127.0.0.3=early-close"},
                         out);
    ASSERT_GT(pid, 0);
    char line[512] = {};
    ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
    unsigned commandPort = 0, searchPort = 0;
    ASSERT_EQ(std::sscanf(line, "korvane-sim on 127.0.0.2-127.0.0.4: command port %u, search port %u", &commandPort,
                          &searchPort),
              2)
        << line;

    RecordingReporter reporter;
    LinkOptions options;
    options.commandPort = static_cast<uint16_t>(commandPort);
    options.searchPort = static_cast<uint16_t>(searchPort);
    options.timing = {0, 0, 0, 500, 100};
    CEncoderLink link(reporter, options);
    std::vector<int> results;
    for (uint32_t address : {0x7F000002u, 0x7F000003u, 0x7F000004u}) {
        EncoderRecord record{};
        record.ipAddr = address;
        results.push_back(link.QueryStatus(record));
    }
    EXPECT_EQ(results, (std::vector<int>{0, -1, 0}));
    std::vector<std::string> found;
    link.SearchEncoder(0x7F000004u, [&](const std::string& dotted) { found.push_back(dotted); });
    EXPECT_EQ(found, std::vector<std::string>{"127.0.0.4"});

    kill(pid, SIGTERM);
    EXPECT_EQ(WaitExitCode(pid), 0);
    fclose(out);
}

// Over a thousand encoders (1,018) across four values of the third number, from one process.
TEST(SimFleetExecutable, ServesAThousandEncodersOverTheThirdNumber)
{
    FILE* out = nullptr;
    pid_t pid = SpawnSim({"--bind", "127.0.10.1-127.0.13.250", "--port", "0", "--search-port", "0", "--quiet"}, out);
    ASSERT_GT(pid, 0);
    char line[512] = {};
    ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
    unsigned commandPort = 0, searchPort = 0;
    ASSERT_EQ(std::sscanf(line, "korvane-sim on 127.0.10.1-127.0.13.250: command port %u, search port %u", &commandPort,
                          &searchPort),
              2)
        << line;
    RecordingReporter reporter;
    LinkOptions options;
    options.commandPort = static_cast<uint16_t>(commandPort);
    options.searchPort = static_cast<uint16_t>(searchPort);
    options.timing = {0, 0, 0, 500, 100};
    CEncoderLink link(reporter, options);
    std::vector<int> results;
    for (uint32_t address : {0x7F000A01u, 0x7F000AFFu, 0x7F000B00u, 0x7F000DFAu, 0x7F000DFBu}) {
        EncoderRecord record{};
        record.ipAddr = address;
        results.push_back(link.QueryStatus(record));
    }
    EXPECT_EQ(results, (std::vector<int>{0, 0, 0, 0, -1}));
    kill(pid, SIGTERM);
    EXPECT_EQ(WaitExitCode(pid), 0);
    fclose(out);
}

TEST(SimFleetExecutable, RefusesBadRangesAndFaultsForAddressesItDoesNotServe)
{
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--bind", "127.0.0.9-3"},
                                                 {"--bind", "127.0.0.2-4,127.0.0.4"},
                                                 {"--bind", "127.0.0.0-127.255.255.255"},
                                                 {"--bind", "127.0.0.2-4,"},
                                                 {"--bind", "127.0.0.2-4", "--fault", "127.0.0.5=silence"},
                                                 {"--fault", "127.0.0.1=no-such-fault"},
                                                 {"--delay-ms", "-1"},
                                                 {"--trickle-ms", "x"}}) {
        FILE* out = nullptr;
        pid_t pid = SpawnSim(args, out);
        ASSERT_GT(pid, 0);
        EXPECT_EQ(WaitExitCode(pid), 2) << args[0] << " " << args[1];
        fclose(out);
    }
}
#endif

#ifdef __linux__
#include <poll.h>
#include <sys/syscall.h>

#include <cerrno>

// A test that aborts never stops its stand-ins; they must not outlive it.
TEST(SimFleetExecutable, EndsWhenTheTestThatStartedItEnds)
{
    int pidPipe[2];
    ASSERT_EQ(pipe(pidPipe), 0);
    pid_t test = fork();
    ASSERT_GE(test, 0);
    if (test == 0) {   // the test that aborts
        FILE* out = nullptr;
        pid_t sim = SpawnSim({"--bind", "127.0.0.2", "--port", "0", "--search-port", "0", "--quiet"}, out);
        char line[512] = {};
        bool ready = sim > 0 && std::fgets(line, sizeof line, out) != nullptr;
        ssize_t written = write(pidPipe[1], &sim, sizeof sim);
        if (ready && written == static_cast<ssize_t>(sizeof sim)) {
            abort();
        }
        _exit(1);
    }
    close(pidPipe[1]);
    pid_t sim = 0;
    ASSERT_EQ(read(pidPipe[0], &sim, sizeof sim), static_cast<ssize_t>(sizeof sim));
    close(pidPipe[0]);
    int status = 0;
    ASSERT_EQ(waitpid(test, &status, 0), test);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the stand-in did not start";
    // Readable once the stand-in has ended (it is not our child: the aborted test's).
    int ending = static_cast<int>(syscall(SYS_pidfd_open, sim, 0));
    if (ending < 0) {
        EXPECT_EQ(errno, ESRCH);   // gone already
        return;
    }
    pollfd ended{ending, POLLIN, 0};
    EXPECT_EQ(poll(&ended, 1, 10000), 1) << "the stand-in outlived the test that started it";
    close(ending);
    kill(sim, SIGKILL);   // whatever happened, nothing is left behind
}
#endif

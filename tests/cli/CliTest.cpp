// korvane-cli as scripts use it: a process with arguments, standard output, standard
// error and an exit status, against stand-in encoders on several loopback addresses.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "../UnderWine.h"
#include "CEncoderSim.h"
#include "CliProcess.h"
#include "LinkProtocol.h"
#include "SettingsDocument.h"

namespace {

constexpr uint32_t kFirst = 0x7F000002u;   // 127.0.0.2
// Nothing listens here on the stand-in's port: a connect is refused at once.
const char kUnreachable[] = "127.0.0.254";

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The document the settings writer makes of what a read of `served` gives.
std::string WrittenFromServed(const std::string& served)
{
    EncoderRecord record{};
    EXPECT_EQ(ReadSettingsText(served.data(), static_cast<int>(served.size()), record), 1);
    std::vector<char> text(kWriteBufferSize, 0);
    int length = WriteSettingsDocument(record, text.data());
    return std::string(text.data(), static_cast<size_t>(length));
}

std::string Replace(std::string text, const std::string& from, const std::string& to, size_t occurrence = 0)
{
    size_t at = text.find(from);
    for (size_t i = 0; i < occurrence && at != std::string::npos; ++i) {
        at = text.find(from, at + 1);
    }
    if (at != std::string::npos) {
        text.replace(at, from.size(), to);
    }
    return text;
}

class CliFleet : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimOptions options;
        options.bindAddress = "127.0.0.2-5";   // four encoders
        options.discovery = FleetDiscoveryWorks(4);
        fleet = std::make_unique<CEncoderSim>(options);
        ASSERT_TRUE(fleet->Start()) << fleet->Error();
        work = FreshFolder();
    }

    // Port options and short fixed waits: status 30 ms, read and write 60 ms.
    std::vector<std::string> Common(int statusWaitMs = 30) const
    {
        std::vector<std::string> common = {"--port", std::to_string(fleet->CommandPort()), "--waits",
                                           std::to_string(statusWaitMs) + ",60,60,300"};
        if (fleet->SearchPort() != 0) {
            common.insert(common.end(), {"--search-port", std::to_string(fleet->SearchPort())});
        }
        return common;
    }
    // A fault set once a status request has arrived must be in place before the next
    // request: the status wait gives the test that long, however loaded the machine.
    static constexpr int kFaultAfterStatusMs = 600;
    CliRun Run(const std::vector<std::string>& args) { return RunCli(Join(Common(), args), work); }
    SimEncoder Encoder(int n) const { return fleet->EncoderAt(static_cast<size_t>(n)); }

    std::unique_ptr<CEncoderSim> fleet;
    std::string work;
};

// ---- usage ------------------------------------------------------------------------

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
    const char* reason;
};

class CliUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(CliUsage, IsRefusedWithOneLineReasonAndHint)
{
    const std::string command = GetParam().args.empty() ? std::string() : GetParam().args.front();
    if (!KORVANE_HAS_HISTORY && (command == "backup" || command == "history" || command == "diff")) {
        GTEST_SKIP() << "this build has no configuration history; CliBuildRefusal tests what it says instead";
    }
    std::string work = FreshFolder();
    WriteFile(work + "/settings.xml", CEncoderSim::DefaultDocument(kFirst));
    WriteFile(work + "/junk.xml", "not a document");
    WriteFile(work + "/list.txt", "127.0.0.2\n127.0.0.999 # typo\n");
    CliRun run = RunCli(GetParam().args, work);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, std::string("korvane-cli: ") + GetParam().reason + "\nTry 'korvane-cli --help'.\n");
    EXPECT_EQ(run.err.find("s3cret"), std::string::npos) << "a password was printed";
}

const UsageCase kUsageCases[] = {
    {"NoCommand", {}, "no command given"},
    {"UnknownCommand", {"reboot", "127.0.0.2"}, "unknown command \"reboot\""},
    {"UnknownOption", {"--fast", "status", "127.0.0.2"}, "unknown option --fast"},
    {"NoAddress", {"status"}, "status needs at least one ADDRESS"},
    {"SearchTwoAddresses", {"search", "127.0.0.255", "10.0.0.255"}, "search needs exactly one BROADCAST address"},
    {"BadAddress",
     {"read", "127.0.0.300"},
     "\"127.0.0.300\" is not an address: four numbers 0 to 255 with dots, like 10.1.2.20"},
    {"ReversedRange", {"status", "127.0.0.9-3"}, "\"127.0.0.9-3\": the range ends before it begins"},
    {"BadLineInFile",
     {"status", "@list.txt"},
     "list.txt:2: \"127.0.0.999\" is not an address: four numbers 0 to 255 with dots, like 10.1.2.20"},
    {"MissingFile", {"status", "@nowhere.txt"}, "cannot read address file nowhere.txt: No such file or directory"},
    {"OptionOfAnotherCommand", {"status", "127.0.0.2", "--out", "dir"}, "--out belongs to read, not to status"},
    {"ReadSeveralToTheTerminal", {"read", "127.0.0.2-3"}, "reading several encoders needs --out DIR (or --json)"},
    {"RawWithJson",
     {"read", "127.0.0.2", "--raw", "--json"},
     "--raw gives the encoder's bytes and cannot be combined with --json"},
    {"WriteWithoutSettings", {"write", "127.0.0.2", "--password", "s3cret"}, "write needs --settings FILE"},
    {"WriteWithoutPassword",
     {"write", "127.0.0.2", "--settings", "settings.xml"},
     "write needs one of --password P or --password-file F"},
    {"WriteWithBothPasswords",
     {"write", "127.0.0.2", "--settings", "settings.xml", "--password", "s3cret", "--password-file", "pw"},
     "write needs one of --password P or --password-file F"},
    {"WriteMissingSettings",
     {"write", "127.0.0.2", "--settings", "none.xml", "--password", "s3cret"},
     "cannot read the settings file none.xml: No such file or directory"},
    {"WriteJunkSettings",
     {"write", "127.0.0.2", "--settings", "junk.xml", "--password", "s3cret"},
     "junk.xml: The file is not an encoder settings document !"},
    {"WriteLongPassword",
     {"write", "127.0.0.2", "--settings", "settings.xml", "--password", "s3cret-s3cret"},
     "Password length must less than 10 characters !"},
    {"WriteLongNewPassword",
     {"write", "127.0.0.2", "--settings", "settings.xml", "--password", "s3cret", "--new-password", "s3cret-s3cret"},
     "NewPassword length must less than 10 characters !"},
    {"WriteEmptyPassword",
     {"write", "127.0.0.2", "--settings", "settings.xml", "--password", ""},
     "the password is empty"},
    {"ParallelZero", {"--parallel", "0", "status", "127.0.0.2"}, "--parallel needs a number from 1 to 1000000"},
    {"WaitMode", {"--wait", "soon", "status", "127.0.0.2"}, "--wait is fixed or reply"},
    {"PortTooLarge", {"--port", "70000", "status", "127.0.0.2"}, "--port needs a port from 1 to 65535"},
    {"WaitsIncomplete",
     {"--waits", "1,2", "status", "127.0.0.2"},
     "--waits needs STATUS,READ,WRITE[,SEARCH] in milliseconds"},
    {"ValueMissing", {"status", "127.0.0.2", "--port"}, "--port needs a value"},
    {"FlagWithValue", {"--json=yes", "status", "127.0.0.2"}, "--json takes no value"},
    {"BackupWithoutRepository", {"backup", "127.0.0.2"}, "backup needs --repo DIR"},
    {"RepositoryOfAnotherCommand",
     {"read", "127.0.0.2", "--repo", "dir"},
     "--repo belongs to backup and history, not to read"},
    {"HistoryOfARange", {"history", "127.0.0.2-3", "--repo", "dir"}, "history needs exactly one encoder"},
    {"HistoryOfTwo", {"history", "127.0.0.2", "127.0.0.3", "--repo", "dir"}, "history needs exactly one ADDRESS"},
    {"DiffOfOneFile", {"diff", "settings.xml"}, "diff needs exactly two FILEs"},
    {"MonitorNoAddress", {"monitor", "--interval", "5"}, "monitor needs at least one ADDRESS"},
    {"IntervalZero", {"monitor", "127.0.0.2", "--interval", "0"}, "--interval needs seconds from 0.05 to 86400"},
    {"IntervalWord", {"monitor", "127.0.0.2", "--interval", "soon"}, "--interval needs seconds from 0.05 to 86400"},
    {"IntervalOfStatus", {"status", "127.0.0.2", "--interval", "5"}, "--interval belongs to monitor, not to status"},
    {"MetricsWithoutPort", {"monitor", "127.0.0.2", "--metrics", "127.0.0.1"}, "--metrics needs HOST:PORT"},
    {"MetricsBadPort", {"monitor", "127.0.0.2", "--metrics", "127.0.0.1:99999"}, "--metrics needs HOST:PORT"},
};

INSTANTIATE_TEST_SUITE_P(Cases, CliUsage, ::testing::ValuesIn(kUsageCases),
                         [](const ::testing::TestParamInfo<UsageCase>& info) { return info.param.name; });

TEST(CliHelp, HelpAndVersionGoToStandardOutput)
{
    std::string work = FreshFolder();
    CliRun help = RunCli({"--help"}, work);
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: korvane-cli [options] COMMAND ...\n", 0), 0u) << help.out;
    for (const char* word :
         {"search BROADCAST", "status ADDRESS", "alarms ADDRESS", "read ADDRESS", "write ADDRESS", "start ADDRESS",
          "stop ADDRESS", "monitor ADDRESS", "--interval", "--metrics HOST:PORT", "--wait fixed|reply", "--parallel N",
          "--json", "--quiet", "--waits", "@FILE", "Exit status"}) {
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
    EXPECT_EQ(help.err, "");
    CliRun version = RunCli({"--version"}, work);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("korvane-cli ", 0), 0u);
}

// ---- status and alarms --------------------------------------------------------------

TEST_F(CliFleet, StatusPrintsOneLinePerEncoderInTheOrderGiven)
{
    Encoder(1).SetStatus({1, 0, 38, 1, 1, 1, 1});     // busy
    Encoder(2).SetStatus({0, 1, 0xFB, 0, 1, 1, 0});   // keyboard, -5 degrees, no output 1, no input 2
    WriteFile(work + "/fleet.txt", "# the rack\n127.0.0.4\n\n127.0.0.2  # again\n");
    CliRun run = Run({"status", "127.0.0.3-4", kUnreachable, "@fleet.txt", "127.0.0.3"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "127.0.0.3 busy=yes keyboard=no over-temperature=no program1-output=yes program1-input=yes "
                       "program2-output=yes program2-input=yes temperature=38\n"
                       "127.0.0.4 busy=no keyboard=yes over-temperature=no program1-output=no program1-input=yes "
                       "program2-output=yes program2-input=no temperature=-5\n"
                       "127.0.0.2 busy=no keyboard=no over-temperature=no program1-output=yes program1-input=yes "
                       "program2-output=yes program2-input=yes temperature=38\n");
    EXPECT_EQ(run.err, "127.0.0.254: Connect device failed\n");
    EXPECT_EQ(Encoder(1).RequestCount(CMD_STATUS), 1) << "a duplicate ran twice";
}

TEST_F(CliFleet, StatusAsJsonHasOneObjectPerEncoder)
{
    Encoder(0).SetStatus({0, 0, 70, 1, 0, 1, 1});
    CliRun run = Run({"--json", "--wait", "reply", "status", "127.0.0.2", kUnreachable});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "{\"address\": \"127.0.0.2\", \"ok\": true, \"messages\": [], \"flags\": 16, \"busy\": false, "
                       "\"keyboard\": false, "
                       "\"overTemperature\": false, \"program1Output\": true, \"program1Input\": false, "
                       "\"program2Output\": true, \"program2Input\": true, \"temperature\": 70}\n"
                       "{\"address\": \"127.0.0.254\", \"ok\": false, \"messages\": [\"Connect device failed\"]}\n");
}

TEST_F(CliFleet, AlarmsReadTheConfigurationFirstForTheProgramLines)
{
    // Encoder 0: every alarm, both programs on. Encoder 1: the same reading, program 2 off.
    // Encoder 2: no alarms. The threshold read from the encoder is 60 degrees.
    Encoder(0).SetStatus({0, 0, 61, 0, 0, 0, 0});
    Encoder(1).SetDocument(
        Replace(CEncoderSim::DefaultDocument(kFirst + 1), "<start>1</start>", "<start>0</start>", 1));
    Encoder(1).SetStatus({0, 0, 61, 0, 0, 0, 0});
    CliRun run = Run({"alarms", "127.0.0.2-4", kUnreachable});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "127.0.0.2: Device temperature warning\n"
                       "127.0.0.2: Program-1 no output\n"
                       "127.0.0.2: Program-1 no input\n"
                       "127.0.0.2: Program-2 no output\n"
                       "127.0.0.2: Program-2 no input\n"
                       "127.0.0.3: Device temperature warning\n"
                       "127.0.0.3: Program-1 no output\n"
                       "127.0.0.3: Program-1 no input\n");
    EXPECT_EQ(run.err, "127.0.0.254: Connect device failed\n");
    EXPECT_EQ(Encoder(0).Requests(), (std::vector<int32_t>{CMD_STATUS, CMD_READ_CONFIG, CMD_STATUS}));
}

TEST_F(CliFleet, AlarmsAsJson)
{
    Encoder(0).SetStatus({0, 0, 38, 1, 1, 0, 1});
    Encoder(1).SetStatus({1, 0, 38, 1, 1, 1, 1});   // busy: its configuration cannot be read
    CliRun run = Run({"--json", "alarms", "127.0.0.2-3"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "{\"address\": \"127.0.0.2\", \"ok\": true, \"messages\": [], \"alarms\": [\"Program-2 no output\"]}\n"
              "{\"address\": \"127.0.0.3\", \"ok\": false, \"messages\": [\"Device is busying !\"], \"alarms\": []}\n");
    EXPECT_EQ(run.err, "127.0.0.3: Device is busying !\n");
}

// ---- read -------------------------------------------------------------------------

TEST_F(CliFleet, ReadOfOneEncoderPrintsTheDocumentTheWriterMakes)
{
    std::string served = Replace(CEncoderSim::DefaultDocument(kFirst), "Korvane One", "");   // written back as dvb
    Encoder(0).SetDocument(served);
    CliRun run = Run({"read", "127.0.0.2"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, WrittenFromServed(served));
    EXPECT_NE(run.out.find("<progName>dvb</progName>"), std::string::npos);

    CliRun raw = Run({"--wait", "reply", "read", "127.0.0.2", "--raw"});
    EXPECT_EQ(raw.status, 0);
    EXPECT_EQ(raw.out, served);
}

TEST_F(CliFleet, ReadOutWritesOneFilePerEncoderAndNamesTheFailures)
{
    Encoder(2).SetStatus({0, 1, 38, 1, 1, 1, 1});   // keyboard-locked: not read
    WriteFile(work + "/rack.txt", "127.0.0.5\n127.0.0.2\n");
    CliRun run = Run({"read", "@rack.txt", "127.0.0.2-4", "--out", "backup/today"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "127.0.0.4: Device is controled by keyboard !\n");
    for (int n : {0, 1, 3}) {
        std::string dotted = "127.0.0." + std::to_string(2 + n);
        EXPECT_EQ(ReadFile(work + "/backup/today/" + dotted + ".xml"), WrittenFromServed(Encoder(n).Document()))
            << dotted;
    }
    EXPECT_FALSE(std::filesystem::exists(work + "/backup/today/127.0.0.4.xml"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(work + "/backup/today"),
                            std::filesystem::directory_iterator()),
              3);
}

TEST_F(CliFleet, ReadAsJsonCarriesTheSettingsByFieldName)
{
    // A Chinese service name: GB2312 bytes from the encoder, UTF-8 in JSON.
    Encoder(1).SetDocument(Replace(CEncoderSim::DefaultDocument(kFirst + 1), "Korvane One", "\xD6\xD0\xCE\xC4"));
    CliRun run = Run({"--json", "read", "127.0.0.2-3"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = run.out.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(run.out.substr(start, end - start));
    }
    ASSERT_EQ(lines.size(), 2u) << run.out;
    EXPECT_EQ(lines[0].rfind("{\"address\": \"127.0.0.2\", \"ok\": true, \"messages\": [], \"settings\": {", 0), 0u);
    EXPECT_NE(lines[1].find("\"program_info1.video.pid\": 256"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("\"program_info2.progName\": \"Korvane Two\""), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("\"program_info1.progName\": \"\u4E2D\u6587\""), std::string::npos) << lines[1];
    EXPECT_EQ(lines[1].find("password"), std::string::npos);

    CliRun document = Run({"read", "127.0.0.3"});
    EXPECT_NE(document.out.find("<progName>\xD6\xD0\xCE\xC4</progName>"), std::string::npos) << "the encoder's bytes";
}

// Each fault of the encoder's reply to a read, after its status gate passed.
struct FaultCase {
    const char* name;
    SimFault fault;
    const char* message;   // what standard error says about the encoder
};

class CliReadFault : public CliFleet, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(CliReadFault, FailsTheEncoderWithItsMessage)
{
    Encoder(0).SetTrickle(20);
    CliProcess process(Join(Common(kFaultAfterStatusMs), {"read", "127.0.0.2"}), work);
    ASSERT_TRUE(process.Started()) << process.StartError();
    ASSERT_TRUE(Encoder(0).WaitForRequests(1, 10000));   // the gate's status was answered healthily
    Encoder(0).SetFault(GetParam().fault);
    CliRun run = process.Wait();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, std::string("127.0.0.2: ") + GetParam().message + "\n");
}

const FaultCase kReadFaults[] = {
    {"WrongCode", SimFault::WrongCode, "the encoder's reply was incomplete or not a settings document it could read"},
    {"ZeroLength", SimFault::ZeroLength, "the encoder's reply was incomplete or not a settings document it could read"},
    {"NegativeLength", SimFault::NegativeLength,
     "the encoder's reply was incomplete or not a settings document it could read"},
    {"OversizedLength", SimFault::OversizedLength,
     "the encoder's reply was incomplete or not a settings document it could read"},
    {"ShortPayload", SimFault::ShortPayload,
     "the encoder's reply was incomplete or not a settings document it could read"},
    {"ShortCode", SimFault::ShortCode, "Read Device Configuration Failed !"},
    {"CloseAfterCode", SimFault::CloseAfterCode,
     "the encoder's reply was incomplete or not a settings document it could read"},
    {"CloseAfterLength", SimFault::CloseAfterLength,
     "the encoder's reply was incomplete or not a settings document it could read"},
    {"Silence", SimFault::Silence, "Read Device Configuration Failed !"},
    {"EarlyClose", SimFault::EarlyClose, "Read Device Configuration Failed !"},
    {"Garbage", SimFault::Garbage, "the encoder's reply was incomplete or not a settings document it could read"},
    {"WrongRoot", SimFault::WrongRoot, "the encoder's reply was incomplete or not a settings document it could read"},
    {"Trickle", SimFault::Trickle, "the encoder's reply was incomplete or not a settings document it could read"},
};

INSTANTIATE_TEST_SUITE_P(Faults, CliReadFault, ::testing::ValuesIn(kReadFaults),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

// The same faults met by the status query itself: every one is a failed reading, except
// junk that is still a well-framed status reply.
class CliStatusFault : public CliFleet, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(CliStatusFault, FailsTheEncoderWithItsMessage)
{
    Encoder(0).SetFault(GetParam().fault);
    CliRun run = Run({"status", "127.0.0.2"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, std::string("127.0.0.2: ") + GetParam().message + "\n");
    // A read stops at the gate with the device list's text.
    CliRun read = Run({"read", "127.0.0.2"});
    EXPECT_EQ(read.status, 1);
    EXPECT_EQ(read.err, "127.0.0.2: Connect Device Failed !\n");
    EXPECT_EQ(Encoder(0).RequestCount(CMD_READ_CONFIG), 0);
}

const FaultCase kStatusFaults[] = {
    {"WrongCode", SimFault::WrongCode, "Connect device failed"},
    {"ZeroLength", SimFault::ZeroLength, "Connect device failed"},
    {"NegativeLength", SimFault::NegativeLength, "Connect device failed"},
    {"ShortPayload", SimFault::ShortPayload, "Connect device failed"},
    {"ShortCode", SimFault::ShortCode, "Connect device failed"},
    {"CloseAfterCode", SimFault::CloseAfterCode, "Connect device failed"},
    {"CloseAfterLength", SimFault::CloseAfterLength, "Connect device failed"},
    {"Silence", SimFault::Silence, "Connect device failed"},
    {"EarlyClose", SimFault::EarlyClose, "Connect device failed"},
};

INSTANTIATE_TEST_SUITE_P(Faults, CliStatusFault, ::testing::ValuesIn(kStatusFaults),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

// ---- write ------------------------------------------------------------------------

TEST_F(CliFleet, WriteRoundTripsASettingsFileRead)
{
    CliRun read = Run({"read", "127.0.0.2"});
    ASSERT_EQ(read.status, 0) << read.err;
    // The operator's edits: a service name, a PID, and rows a file never sets.
    std::string edited = Replace(read.out, "<progName>Korvane One</progName>", "<progName>News 24</progName>");
    edited = Replace(edited, "<pid>256</pid>", "<pid>300</pid>");
    edited = Replace(edited, "<ipMask>255.255.255.0</ipMask>", "<ipMask>255.0.0.0</ipMask>");
    edited = Replace(edited, "<password></password>", "<password>guess</password>");
    WriteFile(work + "/rack.xml", edited);
    WriteFile(work + "/pw", "admin\nnot this line\n");
    CliRun write = Run({"write", "127.0.0.2-4", "--settings", "rack.xml", "--password-file", "pw", "--verify"});
    EXPECT_EQ(write.status, 0) << write.err;
    EXPECT_EQ(write.out, "");
    EXPECT_EQ(write.err, "127.0.0.2: Set Configuration Success !\n"
                         "127.0.0.3: Set Configuration Success !\n"
                         "127.0.0.4: Set Configuration Success !\n");
    for (int n = 0; n < 3; ++n) {
        std::string document = Encoder(n).Document();
        EXPECT_NE(document.find("<progName>News 24</progName>"), std::string::npos) << n;
        EXPECT_NE(document.find("<ipAddr>127.0.0." + std::to_string(2 + n) + "</ipAddr>"), std::string::npos);
        EXPECT_NE(document.find("<ipMask>255.255.255.0</ipMask>"), std::string::npos) << "the mask is never taken";
        EXPECT_NE(Encoder(n).LastWrittenDocument().find("<password>admin</password>"), std::string::npos);
        EXPECT_NE(Encoder(n).LastWrittenDocument().find("<newPassword>admin</newPassword>"), std::string::npos);
        EXPECT_EQ(Encoder(n).Password(), "admin");
    }
    // What was written reads back as the file, but for what a file never sets.
    CliRun again = Run({"--quiet", "read", "127.0.0.2"});
    EXPECT_EQ(again.out, Replace(Replace(edited, "<ipMask>255.0.0.0</ipMask>", "<ipMask>255.255.255.0</ipMask>"),
                                 "<password>guess</password>", "<password></password>"));
    // The out file keeps the last document sent, as the window's write does.
    EXPECT_NE(ReadFile(work + "/out.xml").find("<progName>News 24</progName>"), std::string::npos);
}

TEST_F(CliFleet, WriteRefusedByTheWholeRecordCheckSendsNothing)
{
    // Program 1's video takes its own audio's PID: both rows are named.
    std::string file = Replace(CEncoderSim::DefaultDocument(kFirst), "<pid>256</pid>", "<pid>257</pid>");
    WriteFile(work + "/bad.xml", file);
    CliRun run = Run({"--json", "write", "127.0.0.2-3", "--settings", "bad.xml", "--password", "admin"});
    EXPECT_EQ(run.status, 1);
    const std::string video = "Program1 - Video / VIDEO_PID: Video_Pid conflict with Program-1's Audio1_Pid !";
    const std::string audio = "Program1 - Audio1 / AUDIO_PID: Audio1_Pid conflict with Program-1's Video_Pid !";
    EXPECT_EQ(run.err, "127.0.0.2: " + video + "\n127.0.0.2: " + audio + "\n127.0.0.3: " + video +
                           "\n127.0.0.3: " + audio + "\n");
    EXPECT_NE(run.out.find("\"broken\": [\"" + video + "\", \"" + audio + "\"], \"written\": false}\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(Encoder(0).RequestCount(CMD_WRITE_CONFIG), 0);
    EXPECT_EQ(Encoder(1).RequestCount(CMD_WRITE_CONFIG), 0);
    EXPECT_FALSE(std::filesystem::exists(work + "/out.xml"));
}

TEST_F(CliFleet, WritePasswordsChangeAndAreNeverPrinted)
{
    Encoder(1).SetPassword("s3cret");
    WriteFile(work + "/rack.xml", CEncoderSim::DefaultDocument(kFirst));
    CliRun run = Run({"--json", "write", "127.0.0.2-3", "--settings", "rack.xml", "--password", "s3cret",
                      "--new-password", "n3w", "--verify"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "127.0.0.2: Password Error !\n127.0.0.3: Set Configuration Success !\n");
    EXPECT_EQ(Encoder(0).Password(), "admin");
    EXPECT_EQ(Encoder(1).Password(), "n3w");
    for (const std::string& text : {run.out, run.err}) {
        EXPECT_EQ(text.find("s3cret"), std::string::npos);
        EXPECT_EQ(text.find("n3w"), std::string::npos);
    }
}

TEST_F(CliFleet, WriteVerifyNamesEverySettingThatDidNotTake)
{
    // The encoder answers "OK" but keeps its old settings.
    Encoder(0).SetPassword("other");
    // NOLINTNEXTLINE(bugprone-string-constructor): the encoder's reply, zero byte included
    Encoder(0).SetWriteReply(std::string("OK", 3));
    std::string file = Replace(CEncoderSim::DefaultDocument(kFirst), "<progNO>1</progNO>", "<progNO>7</progNO>");
    WriteFile(work + "/rack.xml", Replace(file, "<bitrate>4000</bitrate>", "<bitrate>5000</bitrate>"));
    CliRun run = Run({"write", "127.0.0.2", "--settings", "rack.xml", "--password", "admin", "--verify"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "127.0.0.2: Set Configuration Success !\n"
                       "127.0.0.2: program_info1.progNO did not take: written 7, read back 1\n"
                       "127.0.0.2: program_info1.video.bitrate did not take: written 5000, read back 4000\n");
    EXPECT_EQ(Encoder(0).RequestCount(CMD_READ_CONFIG), 2);
}

// Each fault of the encoder's answer to a write, after the write's own status gate.
class CliWriteFault : public CliFleet, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(CliWriteFault, EndsWithTheWriteTexts)
{
    WriteFile(work + "/rack.xml", CEncoderSim::DefaultDocument(kFirst));
    CliProcess process(
        Join(Common(kFaultAfterStatusMs), {"write", "127.0.0.2", "--settings", "rack.xml", "--password", "admin"}),
        work);
    ASSERT_TRUE(process.Started()) << process.StartError();
    // Status and read, then the write's status gate.
    ASSERT_TRUE(Encoder(0).WaitForRequests(3, 10000));
    Encoder(0).SetFault(GetParam().fault);
    CliRun run = process.Wait();
    std::string expected;
    for (const char* at = GetParam().message; *at;) {
        const char* end = std::strchr(at, '|');
        std::string text = end ? std::string(at, end) : std::string(at);
        expected += "127.0.0.2: " + text + "\n";
        at = end ? end + 1 : at + text.size();
    }
    EXPECT_EQ(run.err, expected);
    EXPECT_EQ(run.status, expected.find("Success") != std::string::npos ? 0 : 1);
}

const FaultCase kWriteFaults[] = {
    {"Silence", SimFault::Silence, "Recv sendxml cmd failed !|Recv sendxml rlen failed !|Set Configuration Failed !"},
    {"EarlyClose", SimFault::EarlyClose,
     "Recv sendxml cmd failed !|Recv sendxml rlen failed !|Set Configuration Failed !"},
    {"ShortCode", SimFault::ShortCode,
     "Recv sendxml cmd failed !|Recv sendxml rlen failed !|Set Configuration Failed !"},
    {"CloseAfterCode", SimFault::CloseAfterCode, "Recv sendxml rlen failed !|Set Configuration Failed !"},
    {"CloseAfterLength", SimFault::CloseAfterLength, "Recv sendxml ret failed !|Set Configuration Failed !"},
    {"ZeroLength", SimFault::ZeroLength, "Set Configuration Failed !"},
    {"NegativeLength", SimFault::NegativeLength, "Recv sendxml ret failed !|Set Configuration Failed !"},
    {"ShortPayload", SimFault::ShortPayload, "Recv sendxml ret failed !|Set Configuration Failed !"},
    {"Garbage", SimFault::Garbage, "Set Configuration Failed !"},
    {"WrongCode", SimFault::WrongCode, "Set Configuration Success !"},               // the code is not compared
    {"OversizedLength", SimFault::OversizedLength, "Set Configuration Success !"},   // cut to the buffer
};

INSTANTIATE_TEST_SUITE_P(Faults, CliWriteFault, ::testing::ValuesIn(kWriteFaults),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

TEST_F(CliFleet, ProgressGoesToATerminalOnlyAndIsClearedBeforeEveryLine)
{
    if (const char* reason = TerminalUnavailableReason()) {
        GTEST_SKIP() << reason;
    }
    std::vector<std::string> args = Join(Common(), {"status", "127.0.0.2-5", kUnreachable});
    CliRun run = RunCli(args, work, 60000, true);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.size(), 4 * run.out.find('\n') + 4) << "four status lines";
    // The terminal turns each line end into CR LF.
    EXPECT_EQ(run.err.rfind("\rstatus: 0 of 5 done, 0 failed", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("\r\033[K127.0.0.254: Connect device failed\r\n"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.substr(run.err.size() - 23), "Connect device failed\r\n") << "no progress after the end";

    CliRun quiet = RunCli(Join({"--quiet"}, args), work, 60000, true);
    EXPECT_EQ(quiet.err, "127.0.0.254: Connect device failed\r\n");
}

// ---- start, stop, search -------------------------------------------------------------

TEST_F(CliFleet, StartAndStopSayTheEncoderDoesNotAcknowledge)
{
    CliRun start = Run({"start", "127.0.0.2-3", kUnreachable});
    EXPECT_EQ(start.status, 1);
    EXPECT_EQ(start.out, "127.0.0.2: start request sent; the encoder does not acknowledge it\n"
                         "127.0.0.3: start request sent; the encoder does not acknowledge it\n");
    EXPECT_EQ(start.err, "127.0.0.254: Connect Encoder Failed !\n");
    ASSERT_TRUE(Encoder(1).WaitForRequests(1, 5000));
    EXPECT_TRUE(Encoder(1).TsRunning());

    CliRun stop = Run({"--quiet", "stop", "127.0.0.3"});
    EXPECT_EQ(stop.status, 0);
    EXPECT_EQ(stop.out, "");
    EXPECT_EQ(stop.err, "");
    ASSERT_TRUE(Encoder(1).WaitForRequests(2, 5000));
    EXPECT_FALSE(Encoder(1).TsRunning());

    CliRun json = Run({"--json", "stop", "127.0.0.2"});
    EXPECT_EQ(json.out, "{\"address\": \"127.0.0.2\", \"ok\": true, \"messages\": [], \"acknowledged\": false}\n");
}

TEST_F(CliFleet, SearchPrintsEveryReportedAddressOnceSorted)
{
    SKIP_FLEET_UNDER_WINE(4);
    // The encoder asked answers for three, one of them twice and out of order.
    Encoder(1).SetSearchReplies({0x0A010214u, 0x0A010203u, 0x0A010214u, 0x0A01020Au});
    CliRun run = Run({"search", "127.0.0.3"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "10.1.2.3\n10.1.2.10\n10.1.2.20\n");
    CliRun json = Run({"--json", "search", "127.0.0.3"});
    EXPECT_EQ(json.out, "{\"address\": \"10.1.2.3\", \"ok\": true, \"messages\": []}\n"
                        "{\"address\": \"10.1.2.10\", \"ok\": true, \"messages\": []}\n"
                        "{\"address\": \"10.1.2.20\", \"ok\": true, \"messages\": []}\n");
    Encoder(0).SetFault(SimFault::BadChecksum);
    CliRun none = Run({"search", "127.0.0.2"});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");
}

TEST_F(CliFleet, BothWaitModesAndAnyParallelismGiveTheSameOutput)
{
    Encoder(1).SetStatus({1, 0, 38, 1, 1, 1, 1});
    Encoder(3).SetFault(SimFault::WrongRoot);
    std::vector<std::string> args = {"--json", "read", "127.0.0.2-5", kUnreachable};
    CliRun fixed = Run(args);
    CliRun reply = Run(Join({"--wait", "reply"}, args));
    CliRun serial = Run(Join({"--parallel", "1"}, args));
    EXPECT_EQ(fixed.status, 1);
    EXPECT_EQ(reply.status, 1);
    EXPECT_EQ(serial.status, 1);
    EXPECT_EQ(reply.out, fixed.out);
    EXPECT_EQ(reply.err, fixed.err);
    EXPECT_EQ(serial.out, fixed.out);
    EXPECT_EQ(serial.err, fixed.err);
    EXPECT_EQ(fixed.err, "127.0.0.3: Device is busying !\n"
                         "127.0.0.5: the encoder's reply was incomplete or not a settings document it could read\n"
                         "127.0.0.254: Connect Device Failed !\n");
}

}   // namespace

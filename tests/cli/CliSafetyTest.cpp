// korvane-cli facing hostile inputs, a hostile neighbour, a short descriptor table and
// an operator's Ctrl-C: what it refuses sends nothing, what it keeps stays private, and
// every encoder gets exactly one outcome.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "CEncoderSim.h"
#include "CliProcess.h"
#include "LinkProtocol.h"

namespace {

constexpr uint32_t kFirst = 0x7F000002u;   // 127.0.0.2

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

class CliSafety : public ::testing::Test {
protected:
    void Serve(const std::string& range, int delayMs = 0)
    {
        fleet.reset();
        SimOptions options;
        options.bindAddress = range;
        options.delayMs = delayMs;
        fleet = std::make_unique<CEncoderSim>(options);
        ASSERT_TRUE(fleet->Start()) << fleet->Error();
    }
    void SetUp() override
    {
        Serve("127.0.0.2-5");
        work = FreshFolder();
        WriteFile(work + "/settings.xml", CEncoderSim::DefaultDocument(kFirst));
    }
    std::vector<std::string> Common(const std::string& waits = "30,60,60") const
    {
        return {"--port",        std::to_string(fleet->CommandPort()),
                "--search-port", std::to_string(fleet->SearchPort()),
                "--waits",       waits};
    }
    CliRun Run(const std::vector<std::string>& args, const CliStart& start = {})
    {
        CliProcess process(Join(Common(), args), work, start);
        return process.Wait();
    }
    size_t RequestsReceived() const
    {
        size_t total = 0;
        for (size_t i = 0; i < fleet->Count(); ++i) total += fleet->EncoderAt(i).Requests().size();
        return total;
    }
    size_t WritesReceived() const
    {
        size_t total = 0;
        for (size_t i = 0; i < fleet->Count(); ++i) {
            total += static_cast<size_t>(fleet->EncoderAt(i).RequestCount(CMD_WRITE_CONFIG));
        }
        return total;
    }

    std::unique_ptr<CEncoderSim> fleet;
    std::string work;
};

// ---- refused before anything is sent -----------------------------------------------

struct RefusalCase {
    const char* name;
    std::vector<std::string> args;
    const char* reason;
};

void PrintTo(const RefusalCase& c, std::ostream* out)
{
    *out << c.name;
}

class CliRefusal : public CliSafety, public ::testing::WithParamInterface<RefusalCase> {
protected:
    void SetUp() override
    {
        CliSafety::SetUp();
        const std::string good = CEncoderSim::DefaultDocument(kFirst);
        WriteFile(work + "/cut.xml", good.substr(0, 1000));
        WriteFile(work + "/nested.xml", Replace(good, "</progName>", "</providerName>"));
        WriteFile(work + "/escape.xml",
                  Replace(good, "<progName>Korvane One</progName>", "<progName>Ko\x01\x02\x1b[31mrv</progName>"));
        WriteFile(work + "/large.xml", good + std::string(70000, '\n'));
        WriteFile(work + "/too-many.txt", [] {
            std::string list;
            for (int a = 0; a < 16; ++a) {
                for (int b = 0; b < 256; ++b) list += "10." + std::to_string(a) + "." + std::to_string(b) + ".0-255\n";
            }
            return list;
        }());
    }
};

TEST_P(CliRefusal, IsAUsageErrorAndNoEncoderHearsAnything)
{
    CliRun run = Run(GetParam().args);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, std::string("korvane-cli: ") + GetParam().reason + "\nTry 'korvane-cli --help'.\n");
    EXPECT_EQ(RequestsReceived(), 0u);
    EXPECT_FALSE(std::filesystem::exists(work + "/out.xml"));
}

std::vector<std::string> Write(const std::string& settings, const std::string& password = "admin")
{
    return {"write", "127.0.0.2-5", "--settings", settings, "--password", password};
}

const RefusalCase kRefusals[] = {
    {"CutShortSettings", Write("cut.xml"),
     "cut.xml: The settings file is not well-formed XML (line 40, column 14: Failed to read Element name) !"},
    {"MismatchedTags", Write("nested.xml"),
     "nested.xml: The settings file is not well-formed XML (line 18, column 30: Error reading end tag.) !"},
    {"ControlBytesInAServiceName", Write("escape.xml"),
     "escape.xml: program_info1.progName must not contain control characters !"},
    {"LargeSettings", Write("large.xml"), "large.xml: The settings file is too long !"},
    {"SettingsFromDevZero", Write("/dev/zero"), "/dev/zero: The settings file is too long !"},
    {"UnencodablePassword", Write("settings.xml", "pass\xF0\x9F\x98\x80"),
     "Character \"\xF0\x9F\x98\x80\" (U+1F600) cannot be sent to the encoder !"},
    // Six characters of two GB2312 bytes each: twelve bytes, though only six characters.
    {"PasswordTooLongInEncodedBytes",
     Write("settings.xml", "\xE5\xAF\x86\xE7\xA0\x81\xE5\xAF\x86\xE7\xA0\x81\xE5\xAF\x86\xE7\xA0\x81"),
     "Password length must less than 10 characters !"},
    {"BothSecretsFromStandardInput",
     {"write", "127.0.0.2", "--settings", "settings.xml", "--password-file", "-", "--new-password-file", "-"},
     "only one of --password-file and --new-password-file can be - (standard input)"},
    {"NoPasswordAndNoTerminal",
     {"write", "127.0.0.2", "--settings", "settings.xml"},
     "write needs one of --password P or --password-file F"},
    {"AddressListFromDevZero", {"status", "@/dev/zero"}, "address file /dev/zero is larger than 16 MiB"},
    {"TooManyAddresses", {"status", "@too-many.txt"}, "too-many.txt:3907: more than 1000000 encoders"},
};

INSTANTIATE_TEST_SUITE_P(Cases, CliRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliSafety, AnAddressListOver16MiBIsRefusedUnread)
{
    std::filesystem::resize_file(work + "/settings.xml", 0);
    WriteFile(work + "/huge.txt", "127.0.0.2\n");
    std::filesystem::resize_file(work + "/huge.txt", 16u * 1024 * 1024 + 1);
    CliRun run = Run({"status", "@huge.txt"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "korvane-cli: address file huge.txt is larger than 16 MiB\nTry 'korvane-cli --help'.\n");
    EXPECT_EQ(RequestsReceived(), 0u);
}

TEST_F(CliSafety, AddressListsWithCrLfAndAByteOrderMarkAreRead)
{
    WriteFile(work + "/list.txt", "\xEF\xBB\xBF"
                                  "127.0.0.2\r\n127.0.0.3-4 # rack 3\r\n\r\n127.0.0.5\r\n");
    CliRun run = Run({"status", "@list.txt"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Count(run.out, " busy=no"), 4u) << run.out;
}

// ---- secrets -----------------------------------------------------------------------

TEST_F(CliSafety, PasswordsGoOutAsGb2312LikeTheWindowsTyping)
{
    // 密码 is c3dc c2eb in GB2312 (e5af86 e7a081 in UTF-8): four bytes, within the limit.
    CliRun run = Run({"write", "127.0.0.2", "--settings", "settings.xml", "--password", "admin", "--new-password",
                      "\xE5\xAF\x86\xE7\xA0\x81"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(fleet->Password(), "\xC3\xDC\xC2\xEB");
    EXPECT_NE(fleet->LastWrittenDocument().find("<newPassword>\xC3\xDC\xC2\xEB</newPassword>"), std::string::npos);
}

TEST_F(CliSafety, TheNewPasswordComesFromStandardInputAndTheOldFromAFile)
{
    WriteFile(work + "/pw", "admin\r\n");
    CliStart start;
    start.input = CliStart::Input::Text;
    start.inputText = "n3w-pass\nignored\n";
    CliRun run =
        Run({"write", "127.0.0.2", "--settings", "settings.xml", "--password-file", "pw", "--new-password-file", "-"},
            start);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(fleet->Password(), "n3w-pass");
    EXPECT_EQ(run.err.find("n3w-pass"), std::string::npos);
}

TEST_F(CliSafety, WithoutAPasswordOptionTheTerminalIsAskedWithoutEcho)
{
    CliStart start;
    start.input = CliStart::Input::Terminal;
    CliProcess process(Join(Common(), {"write", "127.0.0.2", "--settings", "settings.xml"}), work, start);
    ASSERT_TRUE(process.WaitForError("Password: "));
    EXPECT_EQ(RequestsReceived(), 0u) << "nothing is sent before the password is known";
    process.Type("admin\n");
    CliRun run = process.Wait();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "Password: 127.0.0.2: Set Configuration Success !\n");
    EXPECT_NE(fleet->LastWrittenDocument().find("<password>admin</password>"), std::string::npos);
    const std::string shown = process.TerminalShown();
    EXPECT_EQ(shown.find("admin"), std::string::npos) << "the password was echoed: " << shown;
}

// ---- the copy of the last document sent ----------------------------------------------

TEST_F(CliSafety, TheSentDocumentIsKeptPrivateAndNeverThroughAPlantedLink)
{
    WriteFile(work + "/victim", "the victim's own file\n");
    ASSERT_EQ(symlink((work + "/victim").c_str(), (work + "/out.xml").c_str()), 0);
    const mode_t before = umask(0);   // the child inherits a umask that would let anyone read
    CliRun run = Run({"write", "127.0.0.2", "--settings", "settings.xml", "--password", "admin"});
    umask(before);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(work + "/victim"), "the victim's own file\n");
    struct stat info {};
    ASSERT_EQ(lstat((work + "/out.xml").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_NE(ReadFile(work + "/out.xml").find("<password>admin</password>"), std::string::npos);
}

TEST_F(CliSafety, AFolderThatCannotTakeTheCopyIsAWarningWithTheReason)
{
    chmod(work.c_str(), 0555);
    CliStart start;
    start.unprivileged = true;   // root writes anywhere
    CliRun run = Run({"write", "127.0.0.2", "--settings", "settings.xml", "--password", "admin"}, start);
    chmod(work.c_str(), 0755);
    EXPECT_EQ(run.status, 0) << "the write is judged by the encoder's answer";
    EXPECT_EQ(run.err, "127.0.0.2: cannot write out.xml: Permission denied\n"
                       "127.0.0.2: Set Configuration Success !\n");
    EXPECT_EQ(WritesReceived(), 1u);
    EXPECT_FALSE(std::filesystem::exists(work + "/out.xml"));
}

TEST_F(CliSafety, ABackupThatCannotBeWrittenSaysWhy)
{
    WriteFile(work + "/backup", "a file where the folder should be");
    CliRun run = Run({"read", "127.0.0.2", "--out", "backup/today"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "korvane-cli: cannot make the folder backup/today: Not a directory\n"
                       "Try 'korvane-cli --help'.\n");
}

// ---- descriptors ---------------------------------------------------------------------

TEST_F(CliSafety, AShortOpenFileLimitSlowsTheBatchButFailsNoEncoder)
{
    Serve("127.0.0.2-201");
    CliStart start;
    start.fileLimit = 64;   // as `ulimit -n 64` would leave it, hard limit included
    CliRun run = Run({"--json", "--wait", "reply", "--parallel", "200", "status", "127.0.0.2-201"}, start);
    EXPECT_EQ(run.status, 0) << run.err.substr(0, 2000);
    EXPECT_EQ(Count(run.out, "\"ok\": true"), 200u);
    EXPECT_EQ(run.err, "");
}

// ---- interrupts ----------------------------------------------------------------------

struct InterruptCase {
    const char* name;
    int signal;
    int status;
};

void PrintTo(const InterruptCase& c, std::ostream* out)
{
    *out << c.name;
}

class CliInterrupted : public CliSafety, public ::testing::WithParamInterface<InterruptCase> {};

TEST_P(CliInterrupted, StartsNothingNewAndGivesEveryEncoderOneOutcome)
{
    Serve("127.0.0.2-41", 100);   // forty encoders, each slow to answer
    CliProcess process(Join(Common("30,100,100"), {"--json", "--parallel", "4", "write", "127.0.0.2-41", "--settings",
                                                   "settings.xml", "--password", "admin"}),
                       work, CliStart{});
    ASSERT_TRUE(fleet->EncoderAt(0).WaitForRequests(1, 10000));
    process.Signal(GetParam().signal);
    CliRun run = process.Wait();
    EXPECT_EQ(run.status, GetParam().status);
    EXPECT_EQ(Count(run.out, "{\"address\": "), 40u) << "every encoder has its line";
    EXPECT_EQ(Count(run.out, "\"written\": true"), WritesReceived()) << "as many reported sent as reached";
    EXPECT_GT(Count(run.out, "\"cancelled\": true"), 0u);
    EXPECT_EQ(Count(run.err, ": cancelled: nothing was sent to this encoder\n"), Count(run.out, "\"cancelled\": true"));
    // Every encoder cancelled heard nothing.
    for (size_t i = 0; i < fleet->Count(); ++i) {
        const std::string address = "127.0.0." + std::to_string(2 + i);
        if (run.err.find(address + ": cancelled:") != std::string::npos) {
            EXPECT_TRUE(fleet->EncoderAt(i).Requests().empty()) << address;
        }
    }
    EXPECT_NE(run.err.find("korvane-cli: interrupted: "), std::string::npos) << run.err;
}

const InterruptCase kInterrupts[] = {
    {"Sigint", SIGINT, 130},
    {"Sigterm", SIGTERM, 143},
};

INSTANTIATE_TEST_SUITE_P(Signals, CliInterrupted, ::testing::ValuesIn(kInterrupts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliSafety, ASecondSignalEndsAtOnceNamingTheEncodersStillSending)
{
    Serve("127.0.0.2-9");
    // The status wait is long: the two exchanges sending stay open until the end.
    CliProcess process(Join(Common("20000,20000,20000"), {"--parallel", "2", "status", "127.0.0.2-9"}), work,
                       CliStart{});
    ASSERT_TRUE(fleet->EncoderAt(1).WaitForRequests(1, 10000));
    process.Signal(SIGINT);
    ASSERT_TRUE(process.WaitForError("korvane-cli: interrupted: no new exchange starts"));
    process.Signal(SIGINT);
    CliRun run = process.Wait(5000);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.status, 130);
    EXPECT_NE(run.err.find("127.0.0.2: outcome unknown: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("127.0.0.3: outcome unknown: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("korvane-cli: ended by a second signal; 2 encoders' outcome unknown\n"), std::string::npos);
}

}   // namespace

namespace {

// No descriptor at all for a connection: the engine reports a local failure with the
// system's reason, and the command line says it is this computer's, not the encoder's.
TEST_F(CliSafety, NoDescriptorLeftIsThisMachinesFailureNotTheEncoders)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' own checks need descriptors that this test takes away";
#endif
    CliStart start;
    start.fileLimit = 5;   // the three streams and the loop's own two: no room for a connection
    CliRun run = Run({"--json", "--wait", "reply", "status", "127.0.0.2"}, start);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "127.0.0.2: this computer could not run the exchange: Too many open files\n");
    EXPECT_NE(run.out.find("\"localError\": \"Too many open files\""), std::string::npos) << run.out;
    EXPECT_EQ(RequestsReceived(), 0u);
}

// Not even room for the loop: the tool says so and ends, it does not abort.
TEST_F(CliSafety, NoDescriptorForTheLoopEndsWithTheReason)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' own checks need descriptors that this test takes away";
#endif
    CliStart start;
    start.fileLimit = 4;   // the three streams and one for loading the program
    CliRun run = Run({"status", "127.0.0.2"}, start);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("korvane-cli: this computer could not run the exchange: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("Too many open files\n"), std::string::npos) << run.err;
    EXPECT_EQ(RequestsReceived(), 0u);
}

}   // namespace

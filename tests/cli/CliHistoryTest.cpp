// korvane-cli's configuration history against stand-in encoders: backup runs committed to a
// git repository, read back with git's own command-line tool as an independent reader;
// history and diff outputs and exit statuses.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "CEncoderSim.h"
#include "CliProcess.h"
#include "SettingsDocument.h"

namespace {

constexpr uint32_t kFirst = 0x7F000002u;   // 127.0.0.2

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    size_t at = text.find(from);
    if (at != std::string::npos) {
        text.replace(at, from.size(), to);
    }
    return text;
}

struct GitRun {
    int status = -1;
    std::string out;
};

// git itself, on the repository the tool wrote; its standard error joins its output.
GitRun Git(const std::string& repo, const std::string& args)
{
    GitRun run;
    const std::string command = "git -C '" + repo + "' " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return run;
    }
    char buffer[4096];
    size_t count = 0;
    while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.out.append(buffer, count);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

class CliHistory : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimOptions options;
        options.bindAddress = "127.0.0.2-4";   // three encoders
        fleet = std::make_unique<CEncoderSim>(options);
        ASSERT_TRUE(fleet->Start()) << fleet->Error();
        work = FreshFolder();
        repo = work + "/configs";
    }

    CliRun Run(std::vector<std::string> args)
    {
        std::vector<std::string> all = {"--port",        std::to_string(fleet->CommandPort()),
                                        "--search-port", std::to_string(fleet->SearchPort()),
                                        "--waits",       "30,60,60,300"};
        all.insert(all.end(), args.begin(), args.end());
        return RunCli(all, work);
    }
    CliRun Backup() { return Run({"backup", "127.0.0.2-4", "--repo", "configs"}); }
    SimEncoder Encoder(int n) const { return fleet->EncoderAt(static_cast<size_t>(n)); }
    std::string Served(int n) const { return Encoder(n).Document(); }

    // What `read --out` writes for the encoder: the file a backup must hold.
    std::string ReadOut(int n)
    {
        const std::string dotted = "127.0.0." + std::to_string(2 + n);
        CliRun run = Run({"read", dotted, "--out", "read-out"});
        EXPECT_EQ(run.status, 0) << run.err;
        return ReadFile(work + "/read-out/" + dotted + ".xml");
    }

    void ExpectSoundRepository()
    {
        GitRun fsck = Git(repo, "fsck --strict");
        EXPECT_EQ(fsck.status, 0) << fsck.out;
        GitRun status = Git(repo, "status --porcelain");
        EXPECT_EQ(status.status, 0) << status.out;
        EXPECT_EQ(status.out, "") << "the working folder matches the newest commit";
    }

    std::unique_ptr<CEncoderSim> fleet;
    std::string work;
    std::string repo;
};

TEST_F(CliHistory, FirstBackupMakesTheRepositoryWithOneCommitOfReadOutFiles)
{
    Encoder(1).SetPassword("s3cret");
    CliRun run = Backup();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(std::regex_match(run.out, std::regex("Committed [0-9a-f]{7}: Backup of 3 encoders: 3 changed\n")))
        << run.out;
    ExpectSoundRepository();

    GitRun log = Git(repo, "log --format=%B");
    EXPECT_EQ(log.out, "Backup of 3 encoders: 3 changed\n\n127.0.0.2: first version\n127.0.0.3: first version\n"
                       "127.0.0.4: first version\n\n");
    EXPECT_EQ(Git(repo, "rev-list --count HEAD").out, "1\n");
    EXPECT_EQ(Git(repo, "ls-tree --name-only HEAD").out, "127.0.0.2.xml\n127.0.0.3.xml\n127.0.0.4.xml\n");
    for (int n = 0; n < 3; ++n) {
        const std::string name = "127.0.0." + std::to_string(2 + n) + ".xml";
        const std::string committed = Git(repo, "show HEAD:" + name).out;
        EXPECT_EQ(committed, ReadOut(n)) << name;
        EXPECT_EQ(ReadFile(repo + "/" + name), committed) << name;
        EXPECT_EQ(committed.find("s3cret"), std::string::npos) << "passwords are blanked";
    }
}

TEST_F(CliHistory, ChangedEncoderMakesOneCommitNamingEachChangedField)
{
    ASSERT_EQ(Backup().status, 0);
    Encoder(1).SetDocument(Replace(Replace(Served(1), "<pid>256</pid>", "<pid>300</pid>"), "Korvane Two", "Rack 3"));
    CliRun run = Backup();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::regex_match(run.out, std::regex("Committed [0-9a-f]{7}: Backup of 3 encoders: 1 changed\n")))
        << run.out;
    ExpectSoundRepository();
    EXPECT_EQ(Git(repo, "rev-list --count HEAD").out, "2\n");
    EXPECT_EQ(Git(repo, "log -1 --format=%B").out, "Backup of 3 encoders: 1 changed\n\n"
                                                   "127.0.0.3: Program1 - Video / VIDEO_PID: 256 -> 300\n"
                                                   "127.0.0.3: Program 2 / Service Name: Korvane Two -> Rack 3\n\n");
    EXPECT_EQ(Git(repo, "diff --name-only HEAD~1 HEAD").out, "127.0.0.3.xml\n");
    EXPECT_EQ(Git(repo, "show HEAD:127.0.0.3.xml").out, ReadOut(1));
}

TEST_F(CliHistory, NothingChangedMakesNoCommit)
{
    ASSERT_EQ(Backup().status, 0);
    const std::string head = Git(repo, "rev-parse HEAD").out;
    CliRun run = Backup();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Backup of 3 encoders: nothing changed, no commit\n");
    EXPECT_EQ(Git(repo, "rev-parse HEAD").out, head);
    ExpectSoundRepository();
}

TEST_F(CliHistory, FailedReadKeepsThatFileAndFailsTheRun)
{
    ASSERT_EQ(Backup().status, 0);
    const std::string kept = ReadFile(repo + "/127.0.0.3.xml");
    Encoder(1).SetStatus({0, 1, 38, 1, 1, 1, 1});   // keyboard-locked: not read
    Encoder(1).SetDocument(Replace(Served(1), "Korvane Two", "Rack 3"));
    Encoder(2).SetDocument(Replace(Served(2), "<pid>256</pid>", "<pid>301</pid>"));
    CliRun run = Backup();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "127.0.0.3: Device is controled by keyboard !\n");
    EXPECT_TRUE(std::regex_match(run.out, std::regex("Committed [0-9a-f]{7}: Backup of 2 encoders: 1 changed\n")))
        << run.out;
    EXPECT_EQ(ReadFile(repo + "/127.0.0.3.xml"), kept);
    EXPECT_EQ(Git(repo, "diff --name-only HEAD~1 HEAD").out, "127.0.0.4.xml\n");
    ExpectSoundRepository();
}

TEST_F(CliHistory, ChineseServiceNameIsUtf8InTheMessage)
{
    Encoder(0).SetDocument(Replace(Served(0), "Korvane One", "\xD6\xD0\xCE\xC4"));   // GB2312
    ASSERT_EQ(Backup().status, 0);
    Encoder(0).SetDocument(Replace(Served(0), "\xD6\xD0\xCE\xC4", "\xB1\xB1\xBE\xA9"));
    ASSERT_EQ(Backup().status, 0);
    EXPECT_EQ(Git(repo, "log -1 --format=%B").out,
              "Backup of 3 encoders: 1 changed\n\n127.0.0.2: Program 1 / Service Name: \u4E2D\u6587 -> "
              "\u5317\u4EAC\n\n");
    EXPECT_NE(ReadFile(repo + "/127.0.0.2.xml").find("\xB1\xB1\xBE\xA9"), std::string::npos)
        << "the file keeps the encoder's bytes";
}

TEST_F(CliHistory, HistoryListsTheCommitsThatChangedTheEncoderNewestFirst)
{
    ASSERT_EQ(Backup().status, 0);
    Encoder(1).SetDocument(Replace(Served(1), "<pid>256</pid>", "<pid>300</pid>"));
    ASSERT_EQ(Backup().status, 0);
    Encoder(2).SetDocument(Replace(Served(2), "Korvane Two", "Rack 3"));
    ASSERT_EQ(Backup().status, 0);
    Encoder(1).SetDocument(Replace(Replace(Served(1), "<pid>300</pid>", "<pid>310</pid>"), "Korvane Two", "B"));
    ASSERT_EQ(Backup().status, 0);

    CliRun run = Run({"history", "127.0.0.3", "--repo", "configs"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3u) << run.out;
    const std::vector<std::string> ids = Lines(Git(repo, "log --format=%h%x20%cI -- 127.0.0.3.xml").out);
    ASSERT_EQ(ids.size(), 3u);
    const char* counts[] = {" 2 changed", " 1 changed", ""};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(lines[i].rfind(ids[i] + " ", 0), 0u) << lines[i] << " vs " << ids[i];
        if (*counts[i]) {
            EXPECT_EQ(lines[i], ids[i] + counts[i]);
        }
    }
    EXPECT_TRUE(std::regex_match(lines[2], std::regex("[0-9a-f]{7} \\S+ [1-9][0-9]* changed"))) << lines[2];

    CliRun untouched = Run({"history", "127.0.0.9", "--repo", "configs"});
    EXPECT_EQ(untouched.status, 0);
    EXPECT_EQ(untouched.out, "");
    CliRun missing = Run({"history", "127.0.0.3", "--repo", "nowhere"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("not a history repository"), std::string::npos) << missing.err;
    EXPECT_FALSE(std::filesystem::exists(work + "/nowhere")) << "history never makes a repository";
}

TEST_F(CliHistory, UnwritableRepositoryFailsBeforeAnyRead)
{
    WriteFile(work + "/configs", "a file where the repository would be");
    CliRun run = Backup();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("korvane-cli: ", 0), 0u) << run.err;
    EXPECT_TRUE(Encoder(0).Requests().empty()) << "nothing read";
}

struct DiffCase {
    const char* name;
    const char* from;   // replaced in the second file
    const char* to;
    int status;
    const char* out;
};

class CliDiff : public ::testing::TestWithParam<DiffCase> {};

TEST_P(CliDiff, PrintsEachDifferingFieldWithItsExitStatus)
{
    const std::string work = FreshFolder();
    const std::string document = CEncoderSim::DefaultDocument(kFirst);
    WriteFile(work + "/a.xml", document);
    WriteFile(work + "/b.xml", Replace(document, GetParam().from, GetParam().to));
    CliRun run = RunCli({"diff", "a.xml", "b.xml"}, work);
    EXPECT_EQ(run.status, GetParam().status) << run.err;
    EXPECT_EQ(run.out, GetParam().out);
}

const DiffCase kDiffCases[] = {
    {"Equal", "", "", 0, ""},
    {"Number", "<pid>256</pid>", "<pid>300</pid>", 1, "Program1 - Video / VIDEO_PID: 256 -> 300\n"},
    {"Word", "<mode>CBR</mode>", "<mode>VBR</mode>", 1, "Program1 - Video / Encode Mode: CBR -> VBR\n"},
    {"ChineseName", "Korvane One", "\xD6\xD0\xCE\xC4", 1, "Program 1 / Service Name: Korvane One -> \u4E2D\u6587\n"},
    {"NotADocument", "<encoder_202>", "<other>", 2, ""},
};
INSTANTIATE_TEST_SUITE_P(Files, CliDiff, ::testing::ValuesIn(kDiffCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CliDiffFiles, MissingFileIsNotASettingsDocument)
{
    const std::string work = FreshFolder();
    WriteFile(work + "/a.xml", CEncoderSim::DefaultDocument(kFirst));
    CliRun run = RunCli({"diff", "a.xml", "none.xml"}, work);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "korvane-cli: cannot read none.xml\n");
}

}   // namespace

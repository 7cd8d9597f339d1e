// The history layer: settings files committed through libgit2 and their versions read
// back, field changes as the sheet shows them, commit times.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CEncoderSim.h"
#include "ConfigurationHistory.h"
#include "SettingsChanges.h"

namespace {

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    size_t at = text.find(from);
    if (at != std::string::npos) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::string Folder()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("korvane-history-") + info->test_suite_name() + "." + info->name();
    for (char& c : name) {
        c = (c == '/') ? '_' : c;
    }
    std::filesystem::path path = std::filesystem::path(::testing::TempDir()) / name;
    std::filesystem::remove_all(path);
    return path.string();
}

const std::string kDocument = CEncoderSim::DefaultDocument(0x0A010214u);   // 10.1.2.20

struct TimeCase {
    const char* name;
    int64_t time;
    int offsetMinutes;
    const char* text;
};

class IsoTime : public ::testing::TestWithParam<TimeCase> {};

TEST_P(IsoTime, IsTheCommittersLocalTimeWithItsOffset)
{
    EXPECT_EQ(IsoCommitTime(GetParam().time, GetParam().offsetMinutes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Times, IsoTime,
                         ::testing::Values(TimeCase{"Epoch", 0, 0, "1970-01-01T00:00:00+00:00"},
                                           TimeCase{"Utc", 1796746205, 0, "2026-12-08T16:10:05+00:00"},
                                           TimeCase{"East", 1796746205, 60, "2026-12-08T17:10:05+01:00"},
                                           TimeCase{"WestHalfHour", 1796746205, -330, "2026-12-08T10:40:05-05:30"},
                                           TimeCase{"LeapDay", 951782400, 0, "2000-02-29T00:00:00+00:00"},
                                           TimeCase{"LastSecond", 1796774399, 0, "2026-12-08T23:59:59+00:00"},
                                           TimeCase{"NextDayEast", 1796774399, 60, "2026-12-09T00:59:59+01:00"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsChanges, AreTheComparedRowsWithTextsInUtf8)
{
    std::optional<EncoderRecord> before = RecordOfDocument(kDocument);
    std::optional<EncoderRecord> after = RecordOfDocument(
        Replace(Replace(kDocument, "Korvane One", "\xD6\xD0\xCE\xC4"), "<pid>256</pid>", "<pid>300</pid>"));
    ASSERT_TRUE(before && after);
    const std::vector<SettingChange> changes = SettingChanges(*before, *after);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(ChangeLine(changes[0]), "Program 1 / Service Name: Korvane One -> \u4E2D\u6587");
    EXPECT_EQ(ChangeLine(changes[1]), "Program1 - Video / VIDEO_PID: 256 -> 300");
    EXPECT_TRUE(SettingChanges(*before, *before).empty());
}

// Passwords are typed for each write and kept in no version: no difference between two.
TEST(SettingsChanges, PasswordsAreNoChange)
{
    EncoderRecord before = *RecordOfDocument(kDocument);
    EncoderRecord after = before;
    std::snprintf(after.password, sizeof after.password, "%s", "s3cret");
    std::snprintf(after.newPassword, sizeof after.newPassword, "%s", "n3w");
    EXPECT_TRUE(SettingChanges(before, after).empty());
}

TEST(SettingsChanges, RefuseWhatIsNotASettingsDocument)
{
    EXPECT_FALSE(RecordOfDocument("").has_value());
    EXPECT_FALSE(RecordOfDocument("<other/>").has_value());
    EXPECT_FALSE(RecordOfDocument(std::string(10000, ' ') + kDocument).has_value()) << "longer than a reply may be";
}

TEST(ConfigurationHistory, RecordsVersionsNewestFirstWithTheirChanges)
{
    std::string error;
    std::unique_ptr<ConfigurationHistory> history = ConfigurationHistory::Open(Folder(), true, error);
    ASSERT_TRUE(history) << error;
    const std::string changed = Replace(kDocument, "<pid>256</pid>", "<pid>300</pid>");

    RecordOutcome first = history->Record({{"10.1.2.20", kDocument}, {"10.1.2.21", kDocument}}, BackupTitle);
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_EQ(first.changed, 2u);
    EXPECT_EQ(first.message, "Backup of 2 encoders: 2 changed\n\n10.1.2.20: first version\n10.1.2.21: first version\n");

    RecordOutcome same = history->Record({{"10.1.2.20", kDocument}}, BackupTitle);
    EXPECT_TRUE(same.ok);
    EXPECT_EQ(same.commitId, "");
    EXPECT_EQ(same.changed, 0u);

    RecordOutcome second = history->Record({{"10.1.2.20", changed}, {"10.1.2.21", kDocument}}, [](size_t n, size_t k) {
        return std::to_string(n) + "/" + std::to_string(k);
    });
    ASSERT_TRUE(second.ok) << second.error;
    EXPECT_EQ(second.message, "2/1\n\n10.1.2.20: Program1 - Video / VIDEO_PID: 256 -> 300\n");

    std::vector<EncoderVersion> versions;
    ASSERT_TRUE(history->Versions("10.1.2.20", versions, error)) << error;
    ASSERT_EQ(versions.size(), 2u);
    EXPECT_EQ(versions[0].commit.id, second.commitId);
    EXPECT_FALSE(versions[0].first);
    EXPECT_EQ(versions[0].changedCount, 1u);
    EXPECT_EQ(versions[0].document, changed);
    EXPECT_EQ(versions[1].commit.id, first.commitId);
    EXPECT_TRUE(versions[1].first);
    EXPECT_GT(versions[1].changedCount, 50u);
    EXPECT_EQ(versions[1].document, kDocument);

    ASSERT_TRUE(history->Versions("10.1.2.21", versions, error));
    EXPECT_EQ(versions.size(), 1u) << "only the commits that changed its file";
}

TEST(GitRepository, KeepsFilesByCommitAndRefusesNamesOutsideItsFolder)
{
    std::string error;
    const std::string folder = Folder();
    std::unique_ptr<GitRepository> repository = GitRepository::Open(folder, true, error);
    ASSERT_TRUE(repository) << error;
    EXPECT_FALSE(repository->LastCommitted("a.xml").has_value()) << "no commit yet";
    std::string first, second;
    ASSERT_TRUE(repository->Commit({{"a.xml", "one"}}, "first\n", first, error)) << error;
    ASSERT_TRUE(repository->Commit({{"a.xml", "two"}, {"b.xml", "bee"}}, "second\n", second, error)) << error;
    EXPECT_EQ(repository->FileAt(first, "a.xml"), std::optional<std::string>("one"));
    EXPECT_EQ(repository->FileAt(second.substr(0, 7), "a.xml"), std::optional<std::string>("two"));
    EXPECT_FALSE(repository->FileAt(first, "b.xml").has_value());
    EXPECT_FALSE(repository->FileAt("nonsense", "a.xml").has_value());
    EXPECT_EQ(repository->LastCommitted("b.xml"), std::optional<std::string>("bee"));

    for (const char* name : {"../escape.xml", "sub/a.xml", ".git", "", "C:a.xml"}) {
        std::string id;
        EXPECT_FALSE(repository->Commit({{name, "x"}}, "bad\n", id, error)) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(folder).parent_path() / "escape.xml"));
}

TEST(GitRepository, OpensOnlyWhatIsThereUnlessAskedToCreate)
{
    std::string error;
    const std::string folder = Folder();
    EXPECT_FALSE(GitRepository::Open(folder, false, error));
    EXPECT_NE(error.find("not a history repository"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(folder));

    std::ofstream(folder) << "a file, not a folder";
    error.clear();
    EXPECT_FALSE(GitRepository::Open(folder, true, error));
    EXPECT_FALSE(error.empty());
}

}   // namespace

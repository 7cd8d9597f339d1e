// The private file: what a local user could do with a copy of a sent document if it were
// readable, followed a planted link, or were left half written.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "PrivateFile.h"

namespace {

namespace fs = std::filesystem;

std::string Folder()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path path = fs::path(::testing::TempDir()) / (std::string("korvane-private-") + info->name());
    fs::remove_all(path);
    fs::create_directories(path);
    return path.string();
}

std::string Read(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

size_t EntriesIn(const std::string& folder)
{
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++count;
    return count;
}

#ifdef _WIN32
// Windows has no file modes or symbolic links a user plants: what is left to check is the
// replacement of the old file through a temporary one.
TEST(PrivateFile, ReplacesTheOldFileAndLeavesNoTemporaryOne)
{
    const std::string folder = Folder();
    const std::string path = folder + "/out.xml";
    {
        std::ofstream old(path);
        old << "an older and longer document";
    }
    std::string error = "untouched";
    ASSERT_TRUE(SaveFilePrivately(path, "<encoder_202/>\n", &error)) << error;
    EXPECT_EQ(error, "untouched");
    EXPECT_EQ(Read(path), "<encoder_202/>\n");
    EXPECT_EQ(EntriesIn(folder), 1u);
}
#else
// File modes, symbolic links and the system's own words for a failure are POSIX's.
TEST(PrivateFile, IsOwnerOnlyWhateverTheUmaskAndReplacesTheOldFile)
{
    const std::string folder = Folder();
    const std::string path = folder + "/out.xml";
    {
        std::ofstream old(path);
        old << "an older and longer document, readable by all";
    }
    chmod(path.c_str(), 0644);
    const mode_t before = umask(0);
    std::string error = "untouched";
    const bool saved = SaveFilePrivately(path, "<encoder_202/>\n", &error);
    umask(before);
    ASSERT_TRUE(saved);
    EXPECT_EQ(error, "untouched") << "no error is reported on success";
    EXPECT_EQ(Read(path), "<encoder_202/>\n");
    struct stat info {};
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(EntriesIn(folder), 1u) << "no temporary file is left behind";
}

TEST(PrivateFile, ReplacesAPlantedLinkAndLeavesItsTargetAlone)
{
    const std::string folder = Folder();
    const std::string victim = folder + "/victim";
    {
        std::ofstream file(victim);
        file << "the victim's own file";
    }
    const std::string path = folder + "/out.xml";
    ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);
    ASSERT_TRUE(SaveFilePrivately(path, "secret", nullptr));
    EXPECT_EQ(Read(victim), "the victim's own file");
    struct stat info {};
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode)) << "the link itself was replaced";
    EXPECT_EQ(Read(path), "secret");

    // A dangling link is no way to create a file elsewhere either.
    const std::string elsewhere = folder + "/created-elsewhere";
    fs::remove(path);
    ASSERT_EQ(symlink(elsewhere.c_str(), path.c_str()), 0);
    ASSERT_TRUE(SaveFilePrivately(path, "secret", nullptr));
    EXPECT_FALSE(fs::exists(elsewhere));
}

struct FailureCase {
    const char* name;
    const char* relative;   // below the test's folder
    const char* reason;
};

void PrintTo(const FailureCase& c, std::ostream* out)
{
    *out << c.name;
}

class PrivateFileFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(PrivateFileFailure, NamesTheFileAndTheSystemsReasonAndLeavesNothing)
{
    const std::string folder = Folder();
    fs::create_directories(folder + "/a-folder");
    const std::string path = folder + "/" + GetParam().relative;
    std::string error;
    EXPECT_FALSE(SaveFilePrivately(path, "secret", &error));
    EXPECT_EQ(error, "cannot write " + path + ": " + GetParam().reason);
    EXPECT_EQ(EntriesIn(folder), 1u) << "only the folder made for the test";
    EXPECT_TRUE(fs::is_directory(folder + "/a-folder")) << "what was under the name stays";
}

const FailureCase kFailures[] = {
    {"NoSuchFolder", "missing/out.xml", "No such file or directory"},
    {"AFolderUnderTheName", "a-folder", "Is a directory"},
};

INSTANTIATE_TEST_SUITE_P(Cases, PrivateFileFailure, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });
#endif

}   // namespace

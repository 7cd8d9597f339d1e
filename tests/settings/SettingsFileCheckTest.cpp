// Settings files are refused before anything of them is taken when they are cut short,
// badly nested, too long, or carry control bytes in a text.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "SettingsDocument.h"
#include "SettingsFileCheck.h"

namespace {

std::string GoodFile()
{
    EncoderRecord record{};
    std::strcpy(record.program_info1.progName, "News 24");
    std::strcpy(record.program_info2.providerName, "Korvane");
    std::vector<char> text(10000, 0);
    return std::string(text.data(), static_cast<size_t>(WriteSettingsDocument(record, text.data())));
}

std::string Replaced(const std::string& from, const std::string& to)
{
    std::string text = GoodFile();
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

struct FileCase {
    const char* name;
    std::string text;
    std::string fault;   // empty: accepted; "...": the fault starts with what is before it
};

void PrintTo(const FileCase& c, std::ostream* out)
{
    *out << c.name;
}

class SettingsFileCheck : public ::testing::TestWithParam<FileCase> {};

TEST_P(SettingsFileCheck, RefusesWithItsReasonOrAccepts)
{
    std::optional<std::string> fault = SettingsFileFault(GetParam().text);
    const std::string& expected = GetParam().fault;
    if (expected.empty()) {
        EXPECT_FALSE(fault) << *fault;
    } else if (expected.size() > 3 && expected.compare(expected.size() - 3, 3, "...") == 0) {
        ASSERT_TRUE(fault);
        EXPECT_EQ(fault->substr(0, expected.size() - 3), expected.substr(0, expected.size() - 3));
    } else {
        ASSERT_TRUE(fault);
        EXPECT_EQ(*fault, expected);
    }
}

const FileCase kFiles[] = {
    {"WholeDocument", GoodFile(), ""},
    {"CrLfLineEnds", Replaced("\n", "\r\n"), ""},
    {"LargestFile", GoodFile() + std::string(kMaxSettingsFileBytes - GoodFile().size(), '\n'), ""},
    {"OneByteTooLong", GoodFile() + std::string(kMaxSettingsFileBytes + 1 - GoodFile().size(), '\n'),
     "The settings file is too long !"},
    {"CutShort", GoodFile().substr(0, 1000), "The settings file is not well-formed XML (line ..."},
    {"MismatchedTags", Replaced("</progName>", "</providerName>"),
     "The settings file is not well-formed XML (line ..."},
    {"SecondRoot", GoodFile() + "<encoder_202></encoder_202>\n",
     "The settings file is not well-formed XML (a second root element <encoder_202>) !"},
    {"NulByte", Replaced("News 24", std::string("News\0 24", 8)),
     "The settings file is not well-formed XML (a NUL byte at offset ..."},
    {"Empty", "", "The file is not an encoder settings document !"},
    {"OtherRoot", "<encoder_203><system_info/></encoder_203>\n", "The file is not an encoder settings document !"},
    {"ControlBytesInAName", Replaced("News 24", "Ko\x01\x02\x1b[31mrv"),
     "program_info1.progName must not contain control characters !"},
    {"ControlByteAsReference", Replaced("Korvane", "Kor&#27;vane"),
     "program_info2.providerName must not contain control characters !"},
    {"ControlByteInANumber", Replaced("<deviceID>0<", "<deviceID>0\x07<"),
     "deviceID must not contain control characters !"},
    {"ControlByteInAnUnknownElement", Replaced("<system_info>", "<system_info><note>a\x01</note>"),
     "system_info.note must not contain control characters !"},
    {"ControlByteTakenForABlank", Replaced("News 24", "News\x0c"),
     "The settings file holds a control character on line ..."},
    {"ControlByteInAComment", Replaced("<system_info>", "<!-- \x1b[2J --><system_info>"),
     "The settings file holds a control character on line ..."},
    {"TabsAndLineEndsAreNoControlBytes", Replaced("News 24", "News\t24"), ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, SettingsFileCheck, ::testing::ValuesIn(kFiles),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsFileRead, StopsOneBytePastTheLargestFile)
{
    std::string text;
    std::string error;
    if (std::filesystem::exists("/dev/zero")) {
        EXPECT_FALSE(ReadSettingsFileBounded("/dev/zero", text, error));
        EXPECT_EQ(error, "/dev/zero: The settings file is too long !");
        EXPECT_LE(text.capacity(), kMaxSettingsFileBytes + 64);
    }
    const std::string path = ::testing::TempDir() + "korvane-settings-read.xml";
    {
        std::ofstream file(path, std::ios::binary);
        file << GoodFile();
    }
    EXPECT_TRUE(ReadSettingsFileBounded(path, text, error));
    EXPECT_EQ(text, GoodFile());
    std::remove(path.c_str());
    EXPECT_FALSE(ReadSettingsFileBounded(path, text, error));
    EXPECT_EQ(error, "cannot read the settings file " + path + ": No such file or directory");
}

}   // namespace

// A multi-byte lead at the very end of a document that declares UTF-8: the parser steps
// past the text's end over it and must find zeros there, not the heap (the sanitizer build
// catches a read past the buffer).
TEST(SettingsFileCheck, ALeadByteAtTheEndIsReadNoFurther)
{
    const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<encoder_202><a\xF0";
    EXPECT_TRUE(SettingsFileFault(text).has_value());
}

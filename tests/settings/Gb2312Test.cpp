#include <gtest/gtest.h>

#include <string>

#include "Gb2312.h"

namespace {

struct DecodeCase {
    const char* name;
    std::string bytes;
    std::string shown;
};

void PrintTo(const DecodeCase& c, std::ostream* os)
{
    *os << c.name;
}

class Gb2312Decode : public testing::TestWithParam<DecodeCase> {};

TEST_P(Gb2312Decode, ShowsCharactersAndMarksWhatIsNotGb2312)
{
    EXPECT_EQ(Utf8FromGb2312(GetParam().bytes), GetParam().shown);
}

const std::string kMark = "\xEF\xBF\xBD";   // U+FFFD

INSTANTIATE_TEST_SUITE_P(
    Cases, Gb2312Decode,
    testing::Values(DecodeCase{"two Chinese characters", "\xD6\xD0\xCE\xC4", "\xE4\xB8\xAD\xE6\x96\x87"},
                    DecodeCase{"ASCII around them", "TV \xD6\xD0\xCE\xC4 1", "TV \xE4\xB8\xAD\xE6\x96\x87 1"},
                    DecodeCase{"first and last cell of the table", "\xA1\xA1\xF7\xFE", "\xE3\x80\x80\xE9\xBD\x84"},
                    DecodeCase{"empty", "", ""}, DecodeCase{"control bytes pass as they are", "a\x07\x1F", "a\x07\x1F"},
                    DecodeCase{"a GBK-only pair is not GB2312", "\x81\x40", kMark + "@"},
                    DecodeCase{"GBK trail after a GB2312 lead", "\xB0\x40", kMark + "@"},
                    DecodeCase{"an empty row is one mark per pair",
                               "\xAA\xA1"
                               "A",
                               kMark + "A"},
                    DecodeCase{"row past the table", "\xF8\xA1", kMark + kMark},
                    DecodeCase{"a cell GBK fills and GB2312 leaves empty", "\xA2\xA1", kMark},
                    DecodeCase{"GBK's vertical forms between Greek letters", "\xA6\xE0", kMark},
                    DecodeCase{"a lead byte cut off at the end", "A\xD6", "A" + kMark},
                    DecodeCase{"a lead byte before ASCII",
                               "\xD6"
                               "A",
                               kMark + "A"},
                    DecodeCase{"0x80 and 0xFF", "\x80\xFF", kMark + kMark}));

TEST(Gb2312, EncodesChineseNamesAsPairs)
{
    const Gb2312Text text = Gb2312FromUtf8("\xE4\xB8\xAD\xE6\x96\x87 TV");   // "中文 TV"
    EXPECT_TRUE(text.ok);
    EXPECT_EQ(text.bytes, "\xD6\xD0\xCE\xC4 TV");
    EXPECT_TRUE(Gb2312FromUtf8("").ok);
}

struct RefusedCase {
    const char* name;
    std::string utf8;
    std::string character;
    uint32_t codePoint;
};

void PrintTo(const RefusedCase& c, std::ostream* os)
{
    *os << c.name;
}

class Gb2312Refused : public testing::TestWithParam<RefusedCase> {};

TEST_P(Gb2312Refused, NamesTheFirstCharacterGb2312Lacks)
{
    const Gb2312Text text = Gb2312FromUtf8(GetParam().utf8);
    EXPECT_FALSE(text.ok);
    EXPECT_EQ(text.character, GetParam().character);
    EXPECT_EQ(text.codePoint, GetParam().codePoint);
    EXPECT_EQ(text.bytes, "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Gb2312Refused,
    testing::Values(RefusedCase{"euro sign after a Chinese character", "\xE4\xB8\xAD\xE2\x82\xAC x \xC3\xA9",
                                "\xE2\x82\xAC", 0x20AC},
                    RefusedCase{"a character only GBK has", "\xE5\x96\x86", "\xE5\x96\x86", 0x5586},
                    RefusedCase{"a numeral GBK puts in GB2312's empty cells", "\xE2\x85\xB0", "\xE2\x85\xB0", 0x2170},
                    RefusedCase{"a character beyond the basic plane", "ok\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80",
                                0x1F600},
                    RefusedCase{"the replacement mark itself", "a\xEF\xBF\xBD", "\xEF\xBF\xBD", 0xFFFD},
                    RefusedCase{"bytes that are not UTF-8", "a\xC3", "\xEF\xBF\xBD", 0xFFFD},
                    RefusedCase{"an overlong form", "\xC0\xAF", "\xEF\xBF\xBD", 0xFFFD},
                    RefusedCase{"an encoded surrogate", "\xED\xA0\x80", "\xEF\xBF\xBD", 0xFFFD}));

// Every cell of the table either holds a character that comes back as the same two bytes,
// or shows as marks: GB2312 has 7445 characters.
TEST(Gb2312, EveryCharacterOfTheTableRoundTrips)
{
    int characters = 0;
    for (int lead = 0xA1; lead <= 0xFE; ++lead) {
        for (int trail = 0xA1; trail <= 0xFE; ++trail) {
            const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
            const std::string shown = Utf8FromGb2312(pair);
            if (shown.find(kMark) != std::string::npos) continue;
            ++characters;
            const Gb2312Text back = Gb2312FromUtf8(shown);
            ASSERT_TRUE(back.ok) << std::hex << lead << trail;
            ASSERT_EQ(back.bytes, pair) << std::hex << lead << trail;
        }
    }
    EXPECT_EQ(characters, 7445);
}

}   // namespace

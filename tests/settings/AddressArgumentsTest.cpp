#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AddressArguments.h"

namespace {

struct TextCase {
    const char* name;
    std::string text;
    std::vector<uint32_t> addresses;
};

class AddressTextTest : public testing::TestWithParam<TextCase> {};

// A field takes what an operator types or pastes: each encoder once, in the order given.
TEST_P(AddressTextTest, ListsEachEncoderOnce)
{
    const AddressArguments result = ParseAddressText(GetParam().text);
    ASSERT_TRUE(result.Ok()) << GetParam().name << ": " << result.error;
    EXPECT_EQ(result.addresses, GetParam().addresses) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AddressTextTest,
    testing::Values(
        TextCase{"one", "10.1.2.20", {0x0A010214}}, TextCase{"empty", " \r\n\t", {}},
        TextCase{"range", "10.1.2.20-22", {0x0A010214, 0x0A010215, 0x0A010216}},
        TextCase{"blanks and commas", " 10.1.2.3, 10.1.2.1 ,10.1.2.2;", {0x0A010203, 0x0A010201, 0x0A010202}},
        TextCase{"pasted column with CR LF and a repeat",
                 "\xEF\xBB\xBF"
                 "10.0.0.1\r\n10.0.0.2\r\n10.0.0.1\r\n\r\n",
                 {0x0A000001, 0x0A000002}},
        TextCase{"range overlapping an address", "10.0.0.2 10.0.0.1-3", {0x0A000002, 0x0A000001, 0x0A000003}}),
    [](const testing::TestParamInfo<TextCase>& info) {
        std::string name;
        for (char c : std::string(info.param.name)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

// The first word that is no address is named with the same words as the command line's,
// and nothing of the text is kept.
TEST(AddressText, RefusesTheFirstBadWordAsTheCommandLineDoes)
{
    const AddressArguments bad = ParseAddressText("10.1.2.3\n127.0.0.101-119x\n10.1.2.4");
    EXPECT_TRUE(bad.addresses.empty());
    EXPECT_EQ(bad.error, ExpandAddressArguments({"127.0.0.101-119x"}).error);
    EXPECT_EQ(bad.error,
              "\"127.0.0.101-119x\": a range ends in a number 0 to 255 or a whole address, like 10.1.2.20-69");

    EXPECT_EQ(ParseAddressText("10.1.2.20-10.1.3.5").error, ExpandAddressArguments({"10.1.2.20-10.1.3.5"}).error);

    const std::string longWord(10000, '7');
    const AddressArguments tooLong = ParseAddressText(longWord);
    EXPECT_FALSE(tooLong.Ok());
    EXPECT_LT(tooLong.error.size(), 200u);
}

TEST(AddressText, RefusesMoreThanAFleet)
{
    std::string text;
    for (int b = 0; b < 16; ++b)
        for (int c = 0; c < 256; ++c) text += "10." + std::to_string(b) + "." + std::to_string(c) + ".0-255\n";
    const AddressArguments tooMany = ParseAddressText(text);
    EXPECT_EQ(tooMany.error, "more than 1000000 encoders");
    EXPECT_TRUE(tooMany.addresses.empty());
    EXPECT_FALSE(ParseAddressText(std::string(kMaxAddressFileBytes + 1, ' ')).Ok());
}

}   // namespace

#include <gtest/gtest.h>

#include <vector>

#include "AddressRange.h"

namespace {

struct RangeCase {
    const char* text;
    uint32_t first;
    size_t count;
};

class AddressRangeTest : public testing::TestWithParam<RangeCase> {};

TEST_P(AddressRangeTest, ListsEveryAddressInOrder)
{
    AddressRange range = ParseAddressRange(GetParam().text);
    ASSERT_TRUE(range.Ok()) << GetParam().text << ": " << range.error;
    ASSERT_EQ(range.addresses.size(), GetParam().count) << GetParam().text;
    for (size_t i = 0; i < range.addresses.size(); ++i) {
        EXPECT_EQ(range.addresses[i], GetParam().first + i) << GetParam().text << " at " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AddressRangeTest,
    testing::Values(RangeCase{"10.1.2.20", 0x0A010214, 1}, RangeCase{"10.1.2.20-69", 0x0A010214, 50},
                    RangeCase{"10.1.2.20-10.1.2.69", 0x0A010214, 50}, RangeCase{"10.1.2.20-20", 0x0A010214, 1},
                    RangeCase{"127.0.0.2-101", 0x7F000002, 100}, RangeCase{"  127.0.0.1\t", 0x7F000001, 1},
                    RangeCase{"0.0.0.0-255", 0, 256}, RangeCase{"255.255.255.250-255", 0xFFFFFFFA, 6},
                    RangeCase{"255.255.255.255", 0xFFFFFFFF, 1}));

struct BadCase {
    const char* text;
    const char* error;
};

class AddressRangeErrorTest : public testing::TestWithParam<BadCase> {};

TEST_P(AddressRangeErrorTest, SaysWhyAndListsNothing)
{
    AddressRange range = ParseAddressRange(GetParam().text);
    EXPECT_FALSE(range.Ok()) << GetParam().text;
    EXPECT_TRUE(range.addresses.empty()) << GetParam().text;
    EXPECT_EQ(range.error, GetParam().error) << GetParam().text;
}

constexpr const char* kNotAnAddress = " is not an address: four numbers 0 to 255 with dots, like 10.1.2.20";
constexpr const char* kBadEnd = ": a range ends in a number 0 to 255 or a whole address, like 10.1.2.20-69";

INSTANTIATE_TEST_SUITE_P(
    Texts, AddressRangeErrorTest,
    testing::Values(
        BadCase{"", "no address given"}, BadCase{"   ", "no address given"},
        BadCase{"10.1.2.69-20", "\"10.1.2.69-20\": the range ends before it begins"},
        BadCase{"10.1.2.69-10.1.2.20", "\"10.1.2.69-10.1.2.20\": the range ends before it begins"},
        BadCase{"10.1.2.20-10.1.3.20",
                "\"10.1.2.20-10.1.3.20\": a range runs over the last number only; the first three must be the same"},
        BadCase{"10.1.2.20-9.1.2.30",
                "\"10.1.2.20-9.1.2.30\": a range runs over the last number only; the first three must be the same"}));

// Texts that are no address at all, checked by the kind of error they give.
TEST(AddressRangeErrors, BadNumbersAndShapesAreNamed)
{
    for (const char* text : {"10.1.2.256", "10.1.2", "10.1.2.3.4", "10.1.2.x", "10..2.3", "010.1.2.3", "1.2.3.-4", "-5",
                             "10.1.2.3 4", "0x0a.1.2.3", "1234.1.2.3"}) {
        AddressRange range = ParseAddressRange(text);
        EXPECT_EQ(range.error, "\"" + std::string(text) + "\"" + kNotAnAddress) << text;
    }
    for (const char* text :
         {"10.1.2.20-", "10.1.2.20-256", "10.1.2.20-069", "10.1.2.20-30-40", "10.1.2.20-1.2.3", "10.1.2.20-abc"}) {
        AddressRange range = ParseAddressRange(text);
        EXPECT_EQ(range.error, "\"" + std::string(text) + "\"" + kBadEnd) << text;
    }
}

struct SpanCase {
    const char* text;
    std::vector<uint32_t> firsts;   // the first address of each run, in order
    std::vector<size_t> counts;
    const char* error;   // empty: the span is valid
};

class AddressSpanTest : public testing::TestWithParam<SpanCase> {};

TEST_P(AddressSpanTest, ListsEveryRunInOrderOrSaysWhy)
{
    const SpanCase& given = GetParam();
    AddressRange span = ParseAddressSpan(given.text, 1018);
    EXPECT_EQ(span.error, given.error) << given.text;
    std::vector<uint32_t> expected;
    for (size_t run = 0; run < given.firsts.size(); ++run) {
        for (size_t i = 0; i < given.counts[run]; ++i) {
            expected.push_back(given.firsts[run] + static_cast<uint32_t>(i));
        }
    }
    EXPECT_EQ(span.addresses, expected) << given.text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AddressSpanTest,
    testing::Values(
        SpanCase{"127.0.0.2-101", {0x7F000002}, {100}, ""},
        SpanCase{"127.0.10.1-127.0.13.250", {0x7F000A01}, {1018}, ""},
        SpanCase{"127.0.0.2-4, 127.0.1.9,127.0.0.250-127.0.1.1", {0x7F000002, 0x7F000109, 0x7F0000FA}, {3, 1, 8}, ""},
        SpanCase{"127.0.10.1-127.0.13.251", {}, {}, "\"127.0.10.1-127.0.13.251\": more than 1018 addresses"},
        SpanCase{"0.0.0.0-255.255.255.255", {}, {}, "\"0.0.0.0-255.255.255.255\": more than 1018 addresses"},
        SpanCase{"127.0.0.1-500,127.0.1.1-600",
                 {},
                 {},
                 "\"127.0.0.1-500\": a range ends in a number 0 to 255 or a whole address, like 10.1.2.20-69"},
        SpanCase{"127.0.0.2-4,127.0.0.3", {}, {}, "\"127.0.0.3\": names an address of an earlier range again"},
        SpanCase{"127.0.0.2-4,", {}, {}, "no address given"},
        SpanCase{"127.0.1.5-127.0.0.9", {}, {}, "\"127.0.1.5-127.0.0.9\": the range ends before it begins"}));

// The command line's ranges keep to the last number even where the stand-in's may not.
TEST(AddressSpan, OperatorRangesStillKeepToTheLastNumber)
{
    EXPECT_FALSE(ParseAddressRange("127.0.10.1-127.0.13.250").Ok());
    EXPECT_FALSE(ParseAddressRange("127.0.0.2,127.0.0.3").Ok());
}

}   // namespace

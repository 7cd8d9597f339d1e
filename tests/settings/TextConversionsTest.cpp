#include <gtest/gtest.h>

#include "TextConversions.h"

namespace {

struct AtoiCase {
    const char* text;
    int32_t expected;
};

class AtoiSaturatedTest : public testing::TestWithParam<AtoiCase> {};

TEST_P(AtoiSaturatedTest, ReadsLikeTheEncoderToolAlwaysHas)
{
    EXPECT_EQ(AtoiSaturated(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, AtoiSaturatedTest,
                         testing::Values(AtoiCase{"0", 0}, AtoiCase{"42", 42}, AtoiCase{"-1", -1}, AtoiCase{"+7", 7},
                                         AtoiCase{"  \t\n12", 12}, AtoiCase{"12000kbps", 12000}, AtoiCase{"", 0},
                                         AtoiCase{"abc", 0}, AtoiCase{"-", 0}, AtoiCase{"+-3", 0}, AtoiCase{"- 3", 0},
                                         AtoiCase{"007", 7}, AtoiCase{"2147483647", 2147483647},
                                         AtoiCase{"2147483648", 2147483647}, AtoiCase{"99999999999", 2147483647},
                                         AtoiCase{"-2147483648", INT32_MIN}, AtoiCase{"-99999999999", INT32_MIN},
                                         AtoiCase{"999999999999999999999999999999", 2147483647}, AtoiCase{"1.5", 1},
                                         AtoiCase{"0x10", 0}));

struct AddressCase {
    const char* text;
    uint32_t expected;
};

class InetAddrTest : public testing::TestWithParam<AddressCase> {};

TEST_P(InetAddrTest, ReadsLikeInetAddrInHostOrder)
{
    EXPECT_EQ(InetAddrHostOrder(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, InetAddrTest,
    testing::Values(AddressCase{"192.168.1.100", 0xC0A80164}, AddressCase{"0.0.0.0", 0},
                    AddressCase{"127.0.0.1", 0x7F000001}, AddressCase{"255.255.255.255", 0xFFFFFFFF},
                    AddressCase{"10.0.0.300", kInvalidAddress}, AddressCase{"", kInvalidAddress},
                    AddressCase{"abc", kInvalidAddress}, AddressCase{"1.2.3.4.5", kInvalidAddress},
                    AddressCase{"1.2.3.", kInvalidAddress}, AddressCase{"1..2.3", kInvalidAddress},
                    AddressCase{"1.2.3.4x", kInvalidAddress}, AddressCase{"1.2.3.4 trailing", 0x01020304},
                    AddressCase{"1.2.3", 0x01020003}, AddressCase{"1.65535", 0x0100FFFF},
                    AddressCase{"16909060", 0x01020304}, AddressCase{"0x7f.1", 0x7F000001},
                    AddressCase{"010.0.0.1", 0x08000001}, AddressCase{"09.0.0.1", kInvalidAddress},
                    AddressCase{"1.2.65536", kInvalidAddress}, AddressCase{"4294967296", kInvalidAddress},
                    AddressCase{"-1.2.3.4", kInvalidAddress}));

TEST(FormatDotted, MostSignificantByteFirstWithoutLeadingZeros)
{
    EXPECT_EQ(FormatDotted(0xC0A80164), "192.168.1.100");
    EXPECT_EQ(FormatDotted(0), "0.0.0.0");
    EXPECT_EQ(FormatDotted(0xFFFFFFFF), "255.255.255.255");
    EXPECT_EQ(FormatDotted(0x0A00000A), "10.0.0.10");
}

}   // namespace

#include "TextConversions.h"

#include <cstdio>

namespace {
bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}
int HexValue(char c)
{
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}   // namespace

int32_t AtoiSaturated(const char* text)
{
    const char* p = text;
    while (IsSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    // Accumulate the magnitude in 64 bits and stop growing once past the limit.
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t magnitude = 0;
    for (; IsDigit(*p); ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > limit) magnitude = limit;
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

uint32_t InetAddrHostOrder(const char* text)
{
    uint32_t parts[4] = {0, 0, 0, 0};
    int count = 0;
    const char* p = text;
    for (;;) {
        if (!IsDigit(*p)) return kInvalidAddress;
        // Each part is decimal, octal (leading 0) or hexadecimal (leading 0x).
        uint64_t value = 0;
        int base = 10;
        if (*p == '0') {
            base = 8;
            ++p;
            if (*p == 'x' || *p == 'X') {
                base = 16;
                ++p;
            }
        }
        for (;;) {
            int digit = base == 16 ? HexValue(*p) : (IsDigit(*p) ? *p - '0' : -1);
            if (digit < 0 || digit >= base) break;
            value = value * base + digit;
            if (value > 0xFFFFFFFFull) return kInvalidAddress;
            ++p;
        }
        if (count == 4) return kInvalidAddress;
        parts[count++] = static_cast<uint32_t>(value);
        if (*p != '.') break;
        ++p;
    }
    if (*p != '\0' && !IsSpace(*p)) return kInvalidAddress;

    // The last part fills all the bytes the earlier parts leave over.
    switch (count) {
    case 1:
        return parts[0];
    case 2:
        if (parts[0] > 0xFF || parts[1] > 0xFFFFFF) return kInvalidAddress;
        return parts[0] << 24 | parts[1];
    case 3:
        if (parts[0] > 0xFF || parts[1] > 0xFF || parts[2] > 0xFFFF) return kInvalidAddress;
        return parts[0] << 24 | parts[1] << 16 | parts[2];
    default:
        if (parts[0] > 0xFF || parts[1] > 0xFF || parts[2] > 0xFF || parts[3] > 0xFF) {
            return kInvalidAddress;
        }
        return parts[0] << 24 | parts[1] << 16 | parts[2] << 8 | parts[3];
    }
}

std::string FormatDotted(uint32_t hostOrder)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned(hostOrder >> 24), unsigned(hostOrder >> 16 & 0xFF),
                  unsigned(hostOrder >> 8 & 0xFF), unsigned(hostOrder & 0xFF));
    return text;
}

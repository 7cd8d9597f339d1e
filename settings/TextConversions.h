#pragma once
// Text-to-number conversions exactly as the encoder's tool has always read its texts:
// numbers as the original platform's atoi reads them, addresses as inet_addr does.
// Shared by the settings reader and the sheet's edit rules so both read texts alike.

#include <cstdint>
#include <string>

// Leading white space skipped, an optional sign, decimal digits up to the first other
// character; 0 without digits. Saturates at the 32-bit limits instead of wrapping, so
// "99999999999" reads as 2147483647 and "-99999999999" as -2147483648.
int32_t AtoiSaturated(const char* text);

// A dotted IPv4 address (a.b.c.d, or the shorter a.b.c, a.b and a forms; each part
// decimal, octal with a leading 0 or hexadecimal with 0x), in host order: the first
// number in the most significant byte. 0xFFFFFFFF (255.255.255.255) when the text is not
// an address. White space may end the address; anything after it is not looked at.
uint32_t InetAddrHostOrder(const char* text);

constexpr uint32_t kInvalidAddress = 0xFFFFFFFFu;

// "%d.%d.%d.%d", most significant byte first.
std::string FormatDotted(uint32_t hostOrder);

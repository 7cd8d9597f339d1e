#include "LinkProtocol.h"

#include <cstring>

#include "TextConversions.h"

void PutInt32LE(uint8_t* out, int32_t value)
{
    uint32_t bits = static_cast<uint32_t>(value);
    out[0] = static_cast<uint8_t>(bits);
    out[1] = static_cast<uint8_t>(bits >> 8);
    out[2] = static_cast<uint8_t>(bits >> 16);
    out[3] = static_cast<uint8_t>(bits >> 24);
}

int32_t GetInt32LE(const uint8_t* in)
{
    uint32_t bits = static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
                    static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
    return static_cast<int32_t>(bits);
}

void PutUInt16LE(uint8_t* out, uint16_t value)
{
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
}

uint16_t GetUInt16LE(const uint8_t* in)
{
    return static_cast<uint16_t>(in[0] | in[1] << 8);
}

void FrameHeader::Encode(uint8_t out[kSize]) const
{
    PutInt32LE(out, code);
    PutInt32LE(out + 4, length);
}

FrameHeader FrameHeader::Decode(const uint8_t in[kSize])
{
    FrameHeader header;
    header.code = GetInt32LE(in);
    header.length = GetInt32LE(in + 4);
    return header;
}

uint8_t Checksum8(const uint8_t* bytes, size_t count)
{
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i) {
        sum = static_cast<uint8_t>(sum + bytes[i]);
    }
    return sum;
}

void BuildSearchRequest(uint8_t out[kSearchRequestSize])
{
    PutUInt16LE(out, static_cast<uint16_t>(CMD_SEARCH));
    PutUInt16LE(out + 2, 4);
    out[4] = Checksum8(out, 4);
}

void BuildSearchReply(uint32_t hostOrderAddr, uint8_t out[kSearchReplySize])
{
    PutUInt16LE(out, static_cast<uint16_t>(CMD_SEARCH));
    out[2] = static_cast<uint8_t>(hostOrderAddr >> 24);
    out[3] = static_cast<uint8_t>(hostOrderAddr >> 16);
    out[4] = static_cast<uint8_t>(hostOrderAddr >> 8);
    out[5] = static_cast<uint8_t>(hostOrderAddr);
    PutUInt16LE(out + 6, 4);
    out[8] = Checksum8(out, 8);
}

bool ParseSearchReply(const uint8_t* datagram, size_t count, std::string& dotted)
{
    if (datagram == nullptr || count < static_cast<size_t>(kSearchReplyMinLength)) {
        return false;
    }
    if (datagram[count - 1] != Checksum8(datagram, count - 1) || GetUInt16LE(datagram + 6) != 4) {
        return false;
    }
    uint32_t address = static_cast<uint32_t>(datagram[2]) << 24 | static_cast<uint32_t>(datagram[3]) << 16 |
                       static_cast<uint32_t>(datagram[4]) << 8 | datagram[5];
    dotted = FormatDotted(address);
    return true;
}

int StatusFlagsFromReply(const uint8_t* payload, size_t count, uint16_t temperatureThreshold)
{
    uint8_t bytes[7] = {};
    if (payload != nullptr) {
        std::memcpy(bytes, payload, count < sizeof bytes ? count : sizeof bytes);
    }
    int flags = 0;
    if (bytes[0] != 0) {
        flags |= STATUS_BUSY;
    }
    if (bytes[1] != 0) {
        flags |= STATUS_KEYBOARD;
    }
    int reading = static_cast<int8_t>(bytes[2]);
    if (bytes[2] != 0 && temperatureThreshold != 0 && reading > static_cast<int>(temperatureThreshold)) {
        flags |= STATUS_OVER_TEMPERATURE;
    }
    if (bytes[3] == 0) {
        flags |= STATUS_PROG1_NO_OUTPUT;
    }
    if (bytes[4] == 0) {
        flags |= STATUS_PROG1_NO_INPUT;
    }
    if (bytes[5] == 0) {
        flags |= STATUS_PROG2_NO_OUTPUT;
    }
    if (bytes[6] == 0) {
        flags |= STATUS_PROG2_NO_INPUT;
    }
    return flags;
}

WriteVerdict JudgeWriteReply(const uint8_t* reply, size_t count)
{
    static const char kPasswordError[] = "PASSWORD ERR";   // compared with its zero byte
    if (reply == nullptr) {
        return WriteVerdict::Failed;
    }
    if (count >= 2 && reply[0] == 'O' && reply[1] == 'K') {
        return WriteVerdict::Success;
    }
    if (count >= sizeof kPasswordError && std::memcmp(reply, kPasswordError, sizeof kPasswordError) == 0) {
        return WriteVerdict::PasswordError;
    }
    return WriteVerdict::Failed;
}

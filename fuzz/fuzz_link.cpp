// The reply parsers face whatever arrives from the network: a discovery datagram, a
// status payload, a write reply, a frame header. The first byte picks the parser; the
// rest is the reply, copied into a buffer of the size the exchange uses.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "LinkProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const uint8_t selector = data[0];
    const uint8_t* reply = data + 1;
    const size_t count = size - 1;
    switch (selector % 4) {
    case 0: {
        // Exactly the datagram's bytes: a read past them shows up under the sanitizer.
        std::vector<uint8_t> datagram(reply, reply + (count < kSearchBufferSize ? count : kSearchBufferSize));
        std::string dotted;
        if (ParseSearchReply(datagram.data(), datagram.size(), dotted)) {
            if (dotted.size() < 7 || dotted.size() > 15) {
                __builtin_trap();
            }
        }
        break;
    }
    case 1: {
        std::vector<uint8_t> payload(reply, reply + (count < kStatusReplyBufferSize ? count : kStatusReplyBufferSize));
        uint16_t threshold = count >= 2 ? static_cast<uint16_t>(reply[0] | reply[1] << 8) : 0;
        int flags = StatusFlagsFromReply(payload.data(), payload.size(), threshold);
        if (flags < 0 || flags > 127) {
            __builtin_trap();
        }
        break;
    }
    case 2: {
        std::vector<uint8_t> buffer(kWriteReplyBufferSize, 0);
        std::memcpy(buffer.data(), reply, count < buffer.size() ? count : buffer.size());
        JudgeWriteReply(buffer.data(), buffer.size());
        break;
    }
    default:
        if (count >= FrameHeader::kSize) {
            FrameHeader header = FrameHeader::Decode(reply);
            uint8_t again[FrameHeader::kSize];
            header.Encode(again);
            if (std::memcmp(again, reply, sizeof again) != 0) {
                __builtin_trap();
            }
        }
        break;
    }
    return 0;
}

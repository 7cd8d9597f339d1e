#pragma once
// The bytes an encoder and the tool exchange: the TCP frame header, request codes,
// status bits, the discovery datagrams, and the pure functions that judge replies.
// Everything here is free of sockets so that it can be tested and fuzzed on its own.

#include <cstddef>
#include <cstdint>
#include <string>

constexpr int32_t CMD_SEARCH = 1001;
constexpr int32_t CMD_WRITE_CONFIG = 1003;
constexpr int32_t CMD_READ_CONFIG = 1004;
constexpr int32_t CMD_START_TS = 1005;
constexpr int32_t CMD_STOP_TS = 1006;
constexpr int32_t CMD_STATUS = 1007;

constexpr uint16_t COMMAND_PORT = 9999;
constexpr uint16_t SEARCH_PORT = 8888;

constexpr int STATUS_BUSY = 0x01;
constexpr int STATUS_KEYBOARD = 0x02;
constexpr int STATUS_OVER_TEMPERATURE = 0x04;
constexpr int STATUS_PROG1_NO_OUTPUT = 0x08;
constexpr int STATUS_PROG1_NO_INPUT = 0x10;
constexpr int STATUS_PROG2_NO_OUTPUT = 0x20;
constexpr int STATUS_PROG2_NO_INPUT = 0x40;

// Buffers of the exchanges; no reply is ever received past them.
constexpr int kReadBufferSize = 10000;   // a read reply holds at most 9999 bytes
constexpr int kMaxReadLength = 9999;
constexpr int kWriteBufferSize = 10000;
constexpr int kWriteReplyBufferSize = 2000;
constexpr int kStatusReplyBufferSize = 100;
constexpr int kSearchBufferSize = 1000;
constexpr int kSearchReplyMinLength = 8;   // shorter replies carry no whole address

// Request or reply header: code then payload length, each signed 32-bit little-endian
// on the wire whatever the host's byte order.
struct FrameHeader {
    int32_t code = 0;
    int32_t length = 0;

    static constexpr size_t kSize = 8;
    void Encode(uint8_t out[kSize]) const;
    static FrameHeader Decode(const uint8_t in[kSize]);
};

void PutInt32LE(uint8_t* out, int32_t value);
int32_t GetInt32LE(const uint8_t* in);
void PutUInt16LE(uint8_t* out, uint16_t value);
uint16_t GetUInt16LE(const uint8_t* in);

// The sum of the bytes modulo 256; 0 for an empty run.
uint8_t Checksum8(const uint8_t* bytes, size_t count);

// The 5-byte discovery request, E9 03 04 00 F0.
constexpr size_t kSearchRequestSize = 5;
void BuildSearchRequest(uint8_t out[kSearchRequestSize]);

// A discovery reply holding `hostOrderAddr`: E9 03, the address in network order,
// 04 00, then the checksum.
constexpr size_t kSearchReplySize = 9;
void BuildSearchReply(uint32_t hostOrderAddr, uint8_t out[kSearchReplySize]);

// Accepts a discovery datagram of `count` bytes: at least 8 bytes, last byte the
// checksum of all before it, 4 at offset 6. On acceptance `dotted` receives the reported
// address (bytes 2 to 5) as dotted text.
bool ParseSearchReply(const uint8_t* datagram, size_t count, std::string& dotted);

// StatusFlags from the first 7 bytes of a status reply (missing bytes count as 0) and
// the record's temperature warning threshold.
int StatusFlagsFromReply(const uint8_t* payload, size_t count, uint16_t temperatureThreshold);

// The encoder's verdict on a write, from its 2000-byte reply buffer.
enum class WriteVerdict { Success, PasswordError, Failed };
WriteVerdict JudgeWriteReply(const uint8_t* reply, size_t count);

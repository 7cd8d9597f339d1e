#pragma once
// The ways the stand-in encoder can be told to misbehave, their --fault names, and what
// each does to the bytes of an answer: a command reply cut short, mis-framed or held
// back, a discovery reply mis-summed or mis-addressed. Healthy answers pass unchanged.

#include <cstdint>
#include <string>
#include <vector>

enum class SimFault {
    None,
    WrongCode,          // replies carry another code than the request's
    ZeroLength,         // replies announce 0 payload bytes and send none
    NegativeLength,     // replies announce -1 payload bytes
    OversizedLength,    // replies announce (and send) more than the tool's buffer
    ShortPayload,       // replies announce their length, send half, then fall silent
    ShortCode,          // 2 bytes of the reply code, then the connection closes
    CloseAfterCode,     // the reply code, then the connection closes
    CloseAfterLength,   // code and length, then the connection closes
    Silence,            // requests are read but never answered; the connection stays open
    EarlyClose,         // the connection closes as soon as the request is read
    Garbage,            // a well-framed reply whose payload is not a settings document
    WrongRoot,          // a settings document whose root is not encoder_202
    BadChecksum,        // discovery reply with a wrong checksum byte
    BadMarker,          // discovery reply with 5 instead of 4 at offset 6
    ShortReply,         // discovery reply of 7 bytes
    OtherAddress,       // discovery reply reporting the next address up, not our own
    SeveralReplies,     // discovery answered three times: own, own again, the next address
    Trickle,            // the reply's header at once, then its payload one byte per trickle step
};

struct SimFaultName {
    SimFault fault;
    const char* name;   // as given to --fault
    const char* description;
};
const std::vector<SimFaultName>& SimFaultNames();
// The fault of a --fault name; false for an unknown name.
bool SimFaultFromName(const std::string& name, SimFault& fault);

// What an answer puts on the wire: its bytes, then whether the connection closes.
struct SimReply {
    std::vector<uint8_t> bytes;
    bool close = false;
};

// A command reply shaped by the fault. `payload` is the healthy reply's payload and
// `bufferSize` the tool's buffer for it, which an oversized reply overruns; `wrongCode` is
// the code a WrongCode reply carries instead of `code`.
SimReply ShapeReply(SimFault fault, int32_t code, std::vector<uint8_t> payload, int bufferSize, int32_t wrongCode);

// The discovery replies to one search, one datagram each, shaped by the fault. `own` is
// the address the encoder reports; `addresses` those it was told to answer instead (empty:
// its own).
std::vector<std::vector<uint8_t>> ShapeSearchReplies(SimFault fault, uint32_t own, std::vector<uint32_t> addresses);

#include "SimFaults.h"

#include "LinkProtocol.h"

namespace {

const std::vector<SimFaultName> kFaultNames = {
    {SimFault::None, "none", "behave like a healthy encoder"},
    {SimFault::WrongCode, "wrong-code", "replies carry another code than the request's"},
    {SimFault::ZeroLength, "zero-length", "replies announce 0 payload bytes"},
    {SimFault::NegativeLength, "negative-length", "replies announce -1 payload bytes"},
    {SimFault::OversizedLength, "oversized-length", "replies announce and send more than the tool's buffer"},
    {SimFault::ShortPayload, "short-payload", "replies send half their payload, then fall silent"},
    {SimFault::ShortCode, "short-code", "2 bytes of the reply code, then close"},
    {SimFault::CloseAfterCode, "close-after-code", "the reply code, then close"},
    {SimFault::CloseAfterLength, "close-after-length", "the reply code and length, then close"},
    {SimFault::Silence, "silence", "read requests but never answer"},
    {SimFault::EarlyClose, "early-close", "close as soon as the request is read"},
    {SimFault::Garbage, "garbage", "well-framed replies whose payload is junk"},
    {SimFault::WrongRoot, "wrong-root", "a settings document whose root is not encoder_202"},
    {SimFault::BadChecksum, "bad-checksum", "discovery reply with a wrong checksum"},
    {SimFault::BadMarker, "bad-marker", "discovery reply without the 4 at offset 6"},
    {SimFault::ShortReply, "short-reply", "discovery reply of 7 bytes"},
    {SimFault::OtherAddress, "other-address", "discovery reply reporting the next address up"},
    {SimFault::SeveralReplies, "several-replies", "discovery answered by own address twice and the next one"},
    {SimFault::Trickle, "trickle", "the reply header at once, then one payload byte every --trickle-ms"},
};

const char kGarbage[] = "\x01\x02junk<<&&>>\xff\xfe not a settings document";

}   // namespace

const std::vector<SimFaultName>& SimFaultNames()
{
    return kFaultNames;
}

bool SimFaultFromName(const std::string& name, SimFault& fault)
{
    for (const SimFaultName& entry : kFaultNames) {
        if (name == entry.name) {
            fault = entry.fault;
            return true;
        }
    }
    return false;
}

SimReply ShapeReply(SimFault fault, int32_t code, std::vector<uint8_t> payload, int bufferSize, int32_t wrongCode)
{
    SimReply reply;
    int32_t length = static_cast<int32_t>(payload.size());
    switch (fault) {
    case SimFault::Silence:
        return reply;
    case SimFault::EarlyClose:
        reply.close = true;
        return reply;
    case SimFault::WrongCode:
        code = wrongCode;
        break;
    case SimFault::ZeroLength:
        length = 0;
        payload.clear();
        break;
    case SimFault::NegativeLength:
        length = -1;
        payload.clear();
        break;
    case SimFault::OversizedLength:
        payload.resize(static_cast<size_t>(bufferSize) + 500, ' ');
        length = static_cast<int32_t>(payload.size());
        break;
    case SimFault::ShortPayload:
        payload.resize(payload.size() / 2);
        break;
    case SimFault::Garbage:
        payload.assign(kGarbage, kGarbage + sizeof kGarbage - 1);
        length = static_cast<int32_t>(payload.size());
        break;
    default:
        break;
    }
    uint8_t header[FrameHeader::kSize];
    FrameHeader{code, length}.Encode(header);
    switch (fault) {
    case SimFault::ShortCode:
        reply.bytes.assign(header, header + 2);
        reply.close = true;
        return reply;
    case SimFault::CloseAfterCode:
        reply.bytes.assign(header, header + 4);
        reply.close = true;
        return reply;
    case SimFault::CloseAfterLength:
        reply.bytes.assign(header, header + FrameHeader::kSize);
        reply.close = true;
        return reply;
    default:
        break;
    }
    reply.bytes.assign(header, header + sizeof header);
    reply.bytes.insert(reply.bytes.end(), payload.begin(), payload.end());
    return reply;
}

std::vector<std::vector<uint8_t>> ShapeSearchReplies(SimFault fault, uint32_t own, std::vector<uint32_t> addresses)
{
    if (addresses.empty()) {
        addresses.push_back(own);
    }
    if (fault == SimFault::OtherAddress) {
        addresses = {own + 1};
    } else if (fault == SimFault::SeveralReplies) {
        addresses = {own, own, own + 1};
    }
    std::vector<std::vector<uint8_t>> replies;
    for (uint32_t address : addresses) {
        uint8_t reply[kSearchReplySize];
        BuildSearchReply(address, reply);
        size_t size = sizeof reply;
        constexpr size_t kChecksumAt = kSearchReplySize - 1;
        if (fault == SimFault::BadChecksum) {
            reply[kChecksumAt] = static_cast<uint8_t>(reply[kChecksumAt] + 1);
        } else if (fault == SimFault::BadMarker) {
            reply[6] = 5;
            reply[kChecksumAt] = Checksum8(reply, kChecksumAt);
        } else if (fault == SimFault::ShortReply) {
            size = 7;
            reply[6] = Checksum8(reply, 6);
        }
        replies.emplace_back(reply, reply + size);
    }
    return replies;
}

#include "SimAnswers.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include <tinyxml.h>

#include "TextConversions.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

// The text of <system_info><NAME> of a settings document, or null.
const char* SystemInfoText(TiXmlDocument& document, const char* name)
{
    TiXmlElement* root = document.RootElement();
    TiXmlElement* system = root != nullptr ? root->FirstChildElement("system_info") : nullptr;
    TiXmlElement* element = system != nullptr ? system->FirstChildElement(name) : nullptr;
    return element != nullptr ? element->GetText() : nullptr;
}

// Drops every line holding <NAME>...</NAME>: the encoder never hands out passwords.
void RemoveElementLines(std::string& text, const std::string& name)
{
    const std::string open = "<" + name + ">";
    for (size_t at = text.find(open); at != std::string::npos; at = text.find(open)) {
        size_t begin = text.rfind('\n', at);
        begin = begin == std::string::npos ? 0 : begin + 1;
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        text.erase(begin, end - begin);
    }
}

std::string Prefix(const SimEncoder::State& encoder, bool fleet)
{
    return fleet ? FormatDotted(encoder.address) + ": " : std::string();
}

void Log(const SimOptions& options, const std::string& line)
{
    if (options.log) {
        options.log(line);
    }
}

// The write reply's payload: the document is kept (without its passwords, the new
// password taken) when its root and password are right. Under the encoder's lock.
std::string JudgeWrite(SimEncoder::State& encoder, std::string text)
{
    encoder.lastWritten = text;
    TiXmlDocument parsed;
    parsed.Parse(text.c_str());
    TiXmlElement* root = parsed.RootElement();
    std::string result;
    if (root == nullptr || std::strcmp(root->Value(), "encoder_202") != 0) {
        // NOLINTNEXTLINE(bugprone-string-constructor): the encoder sends the text's zero byte too
        result = std::string("XML ERR", 8);
    } else {
        const char* given = SystemInfoText(parsed, "password");
        if (given == nullptr || encoder.password != given) {
            // NOLINTNEXTLINE(bugprone-string-constructor): the encoder sends the text's zero byte too
            result = std::string("PASSWORD ERR", 13);
        } else {
            const char* newPassword = SystemInfoText(parsed, "newPassword");
            if (newPassword != nullptr && newPassword[0] != 0) {
                encoder.password = newPassword;
            }
            RemoveElementLines(text, "password");
            RemoveElementLines(text, "newPassword");
            encoder.document = text;
            // NOLINTNEXTLINE(bugprone-string-constructor): the encoder sends the text's zero byte too
            result = std::string("OK", 3);
        }
    }
    if (!encoder.writeReply.empty()) {
        result = encoder.writeReply;
    }
    return result;
}

}   // namespace

SimAnswer AnswerCommand(SimEncoder::Shared& shared, SimEncoder::State& encoder, const std::vector<uint8_t>& request,
                        const FrameHeader& header, const SimOptions& options, bool fleet)
{
    const std::string prefix = Prefix(encoder, fleet);
    std::unique_lock<std::mutex> lock(shared.mutex);
    encoder.requests.push_back(header.code);
    encoder.lastRequest = request;
    shared.arrived.notify_all();
    const SimFault fault = encoder.fault;
    SimAnswer answer;
    answer.due = Clock::now() + std::chrono::milliseconds(encoder.delayMs);
    answer.stepMs = fault == SimFault::Trickle ? std::max(encoder.trickleMs, 1) : 0;
    switch (header.code) {
    case CMD_READ_CONFIG: {
        std::string document = encoder.document;
        lock.unlock();
        if (fault == SimFault::WrongRoot) {
            for (size_t at = document.find("encoder_202"); at != std::string::npos;
                 at = document.find("encoder_202", at)) {
                document.replace(at, 11, "encoder_203");
            }
        }
        Log(options, prefix + "read configuration: " + std::to_string(document.size()) + " bytes");
        answer.reply = ShapeReply(fault, CMD_READ_CONFIG, Bytes(document), kReadBufferSize, CMD_WRITE_CONFIG);
        break;
    }
    case CMD_WRITE_CONFIG: {
        const char* payload = reinterpret_cast<const char*>(request.data() + FrameHeader::kSize);
        const std::string result = JudgeWrite(encoder, std::string(payload, static_cast<size_t>(header.length)));
        lock.unlock();
        Log(options, prefix + "write configuration: " + std::to_string(header.length) + " bytes, answered " +
                         std::string(result.c_str()));
        answer.reply = ShapeReply(fault, CMD_WRITE_CONFIG, Bytes(result), kWriteReplyBufferSize, CMD_READ_CONFIG);
        break;
    }
    case CMD_STATUS: {
        std::vector<uint8_t> status = encoder.status;
        lock.unlock();
        Log(options, prefix + "status: " + std::to_string(status.size()) + " bytes");
        answer.reply = ShapeReply(fault, CMD_STATUS, status, kStatusReplyBufferSize, CMD_READ_CONFIG);
        break;
    }
    case CMD_START_TS:
    case CMD_STOP_TS:
        encoder.tsRunning = header.code == CMD_START_TS;
        lock.unlock();
        Log(options, prefix + (header.code == CMD_START_TS ? "TS -> IP started" : "TS -> IP stopped"));
        answer.reply.close = fault == SimFault::EarlyClose;   // no reply: the tool closes at once
        break;
    default:
        lock.unlock();
        Log(options, prefix + "unknown request " + std::to_string(header.code));
        answer.reply.close = true;
        answer.due = Clock::now();
        break;
    }
    return answer;
}

SimSearchAnswer AnswerSearch(SimEncoder::Shared& shared, SimEncoder::State& encoder, const uint8_t* request, int count,
                             uint32_t fromAddr, const SimOptions& options, bool fleet)
{
    const std::string prefix = Prefix(encoder, fleet);
    std::unique_lock<std::mutex> lock(shared.mutex);
    encoder.lastSearch.assign(request, request + count);
    uint8_t expected[kSearchRequestSize];
    BuildSearchRequest(expected);
    SimSearchAnswer answer;
    if (count != static_cast<int>(kSearchRequestSize) || std::memcmp(request, expected, sizeof expected) != 0) {
        lock.unlock();
        Log(options, prefix + "ignored a datagram of " + std::to_string(count) + " bytes");
        return answer;
    }
    const SimFault fault = encoder.fault;
    const uint32_t own = encoder.reported;
    std::vector<uint32_t> addresses = encoder.searchReplies;
    answer.due = Clock::now() + std::chrono::milliseconds(encoder.delayMs);
    lock.unlock();
    answer.replies = ShapeSearchReplies(fault, own, std::move(addresses));
    Log(options,
        prefix + "search from " + FormatDotted(fromAddr) + ": " + std::to_string(answer.replies.size()) + " replies");
    return answer;
}

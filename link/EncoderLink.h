#pragma once
// The exchanges with one encoder: read, write, start, stop and status over the TCP
// command channel, and discovery over UDP. Each call runs the exchange's machine
// (LinkExchange.h) to completion on the link's event loop (made at its first call, kept for
// the next): it opens its own socket, returns once the exchange is over, and closes the
// socket before it returns. One loop a link, not one an exchange: on Windows every loop
// that sets a timer starts a thread of its own, and ends it when it goes.
//
// Every exchange is bounded: the connect by `connectTimeoutMs`, the fixed wait by its
// time, and all receives after one wait together by `receiveBoundMs` (each receive by
// `receiveTimeoutMs`), so no silent or trickling peer holds an exchange longer. An
// encoder whose reply is complete when the wait ends sees no difference.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "EncoderRecord.h"
#include "LinkProtocol.h"

class CWakeup;
namespace asio {
class io_context;
}
enum class LinkOperation;
struct LinkHooks;
struct LinkOutcome;

// The fixed waits. The encoder needs them to do its work: a reply must be complete in
// the connection when the wait ends. Tests shorten them; the program keeps these.
// New fields go after the first five so that `timing = {30, 30, 30, 100, 300};` holds.
struct LinkTiming {
    int readWaitMs = 20000, writeWaitMs = 15000, statusWaitMs = 4000, receiveTimeoutMs = 500, searchWindowMs = 10000;
    // All the receives that follow one fixed wait end within this, however slowly the
    // encoder trickles its reply: a read ends at the latest 20000 + 2000 ms after its request.
    int receiveBoundMs = 2000;
    // An address that does not answer the connect fails after this.
    int connectTimeoutMs = 20000;
};

enum class WaitMode {
    // Send, wait the full fixed time, then receive: the protocol's own behaviour.
    Fixed,
    // Receive as the reply arrives; the fixed wait becomes the reply's deadline (each
    // receive waits until the end of what would have been the wait, then the usual
    // receive time-out). Results and texts are those of Fixed for the same encoder.
    ReplyComplete,
};

struct LinkOptions {
    uint16_t commandPort = COMMAND_PORT, searchPort = SEARCH_PORT;
    LinkTiming timing;
    // Fixed mode, a link run alone: hears every fixed wait and sits it out; empty: the wait
    // is a timer on the exchange's loop.
    std::function<void(int ms)> sleep;
    WaitMode waitMode = WaitMode::Fixed;
    // When given and signalled, every wait of the exchange ends at once and the exchange
    // fails without reporting anything more. Not owned; must outlive the exchange.
    const CWakeup* cancel = nullptr;
};

// A status reply as the link judged it: the flags and what the flags leave out.
struct StatusReply {
    int flags = -1;           // StatusFlags, -1 when the encoder did not answer
    int8_t temperature = 0;   // byte 2 as a signed 8-bit number; 0 means no reading
};

// Where an exchange's texts go, in order; the layers above decide how to show them.
class LinkReporter {
public:
    virtual ~LinkReporter() = default;
    virtual void Warning(const std::string& text) = 0;   // a failure or refusal the operator is told of
    virtual void Tip(const std::string& text) = 0;       // a success the operator is told of
};

class CEncoderLink {
public:
    explicit CEncoderLink(LinkReporter& reporter, LinkOptions options = {});
    ~CEncoderLink();
    CEncoderLink(const CEncoderLink&) = delete;
    CEncoderLink& operator=(const CEncoderLink&) = delete;

    // Fills the record from the encoder's settings document and sets `loaded`; returns
    // the reader's result, 0 on every failure.
    int ReadConfiguration(EncoderRecord& record);
    // The same exchange; `document`, when given, receives the settings document's bytes
    // exactly as the encoder sent them whenever the whole payload arrived.
    int ReadConfiguration(EncoderRecord& record, std::string* document);
    // Sends the record; 1 when the encoder answered "OK". `sent`, when given, receives the
    // document as it was sent (empty when the passwords stopped it before that).
    int WriteConfiguration(EncoderRecord& record, std::string* sent = nullptr);
    // 1 once the request was sent; the encoder does not answer.
    int StartTsToIp(const EncoderRecord& record);
    int StopTsToIp(const EncoderRecord& record);
    // StatusFlags, or -1 when the encoder did not answer; shows nothing.
    int QueryStatus(const EncoderRecord& record);
    // The same exchange, also giving the temperature byte; returns `reading.flags`.
    int QueryStatus(const EncoderRecord& record, StatusReply& reading);
    // Broadcasts the search request to `address` and calls `addEncoder` with the address
    // each valid reply reports, for the whole listening window.
    void SearchEncoder(uint32_t address, const std::function<void(const std::string& dotted)>& addEncoder);

    const LinkOptions& Options() const { return m_options; }

    // True once the options' cancel wake-up was signalled.
    bool Cancelled() const;

private:
    // Runs one exchange's machine on the link's loop until it is over.
    LinkOutcome Run(LinkOperation operation, const EncoderRecord& record, uint32_t searchAddress, LinkHooks hooks);

    LinkReporter& m_reporter;
    LinkOptions m_options;
    std::unique_ptr<asio::io_context> m_loop;   // one caller at a time
};

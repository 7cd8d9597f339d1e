#pragma once
// The exchanges with one encoder: read, write, start, stop and status over the TCP
// command channel, and discovery over UDP. Each exchange opens its own socket, blocks
// through its fixed wait, and closes the socket before it returns.
//
// Every exchange is bounded: the connect by `connectTimeoutMs`, the fixed wait by its
// time, and all receives after one wait together by `receiveBoundMs` (each receive by
// `receiveTimeoutMs`), so no silent or trickling peer holds an exchange longer. An
// encoder whose reply is complete when the wait ends sees no difference.

#include <cstdint>
#include <functional>
#include <string>

#include "EncoderRecord.h"
#include "LinkProtocol.h"

class CSocket;
class CWakeup;

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
    std::string outFile = "out.xml";
    std::function<void(int ms)> sleep;   // Fixed mode: hears every fixed wait; empty: the link waits itself
    WaitMode waitMode = WaitMode::Fixed;
    // When given and signalled, every wait of the exchange ends at once and the exchange
    // fails without reporting anything more. Not owned; must outlive the exchange.
    const CWakeup* cancel = nullptr;
};

// A status reading with what the flags leave out.
struct StatusReading {
    int flags = -1;           // StatusFlags, -1 when the encoder did not answer
    int8_t temperature = 0;   // byte 2 as a signed 8-bit number; 0 means no reading
};

// Where an exchange's messages and its wait cursor go; the window layer shows them.
class LinkReporter {   // the window layer implements it with message boxes
public:
    virtual ~LinkReporter() = default;
    virtual void Warning(const std::string& text) = 0;   // caption "Warning", exclamation icon
    virtual void Tip(const std::string& text) = 0;       // caption "Tip", no icon
    virtual void BeginWait() = 0;                        // wait cursor on (nests)
    virtual void EndWait() = 0;
};

class CEncoderLink {
public:
    explicit CEncoderLink(LinkReporter& reporter, LinkOptions options = {});

    // Fills the record from the encoder's settings document and sets `loaded`; returns
    // the reader's result, 0 on every failure.
    int ReadConfiguration(EncoderRecord& record);
    // The same exchange; `document`, when given, receives the settings document's bytes
    // exactly as the encoder sent them whenever the whole payload arrived.
    int ReadConfiguration(EncoderRecord& record, std::string* document);
    // Sends the record (keeping a copy in the out file); 1 when the encoder answered "OK".
    int WriteConfiguration(EncoderRecord& record);
    // 1 once the request was sent; the encoder does not answer.
    int StartTsToIp(const EncoderRecord& record);
    int StopTsToIp(const EncoderRecord& record);
    // StatusFlags, or -1 when the encoder did not answer; shows nothing.
    int QueryStatus(const EncoderRecord& record);
    // The same exchange, also giving the temperature byte; returns `reading.flags`.
    int QueryStatus(const EncoderRecord& record, StatusReading& reading);
    // Broadcasts the search request to `address` and calls `addEncoder` with the address
    // each valid reply reports, for the whole listening window.
    void SearchEncoder(uint32_t address, const std::function<void(const std::string& dotted)>& addEncoder);

    const LinkOptions& Options() const { return m_options; }

    // True once the options' cancel wake-up was signalled.
    bool Cancelled() const;

private:
    class Exchange;
    void Warning(const std::string& text);
    void Tip(const std::string& text);
    int ReceiveTimeoutMs() const;
    // A TCP socket with the receive time-out, connected to the encoder; the failure
    // messages only when `report`.
    bool Connect(CSocket& socket, uint32_t address, bool report);
    int SendShortRequest(const EncoderRecord& record, int32_t code);

    LinkReporter& m_reporter;
    LinkOptions m_options;
};

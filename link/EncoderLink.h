#pragma once
// The exchanges with one encoder: read, write, start, stop and status over the TCP
// command channel, and discovery over UDP. Each exchange opens its own socket, blocks
// through its fixed wait, and closes the socket before it returns.

#include <cstdint>
#include <functional>
#include <string>

#include "EncoderRecord.h"
#include "LinkProtocol.h"

class CSocket;

// The fixed waits. The encoder needs them to do its work: a reply must be complete in
// the connection when the wait ends. Tests shorten them; the program keeps these.
struct LinkTiming { int readWaitMs = 20000, writeWaitMs = 15000, statusWaitMs = 4000,
                    receiveTimeoutMs = 500, searchWindowMs = 10000; };

struct LinkOptions {
    uint16_t commandPort = 9999, searchPort = 8888;
    LinkTiming timing;
    std::string outFile = "out.xml";
    std::function<void(int ms)> sleep;   // empty: a plain thread sleep
};

// Where an exchange's messages and its wait cursor go; the window layer shows them.
class LinkReporter {                      // the window layer implements it with message boxes
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
    // Sends the record (keeping a copy in the out file); 1 when the encoder answered "OK".
    int WriteConfiguration(EncoderRecord& record);
    // 1 once the request was sent; the encoder does not answer.
    int StartTsToIp(const EncoderRecord& record);
    int StopTsToIp(const EncoderRecord& record);
    // StatusFlags, or -1 when the encoder did not answer; shows nothing.
    int QueryStatus(const EncoderRecord& record);
    // Broadcasts the search request to `address` and calls `addEncoder` with the address
    // each valid reply reports, for the whole listening window.
    void SearchEncoder(uint32_t address, const std::function<void(const std::string& dotted)>& addEncoder);

    const LinkOptions& Options() const { return m_options; }

private:
    void Sleep(int ms) const;
    int ReceiveTimeoutMs() const;
    // A TCP socket with the receive time-out, connected to the encoder; the failure
    // messages only when `report`.
    bool Connect(CSocket& socket, uint32_t address, bool report);
    int SendShortRequest(const EncoderRecord& record, int32_t code);

    LinkReporter& m_reporter;
    LinkOptions m_options;
};

// Connecting is bounded so that an unreachable address fails in a predictable time.
constexpr int kConnectTimeoutMs = 20000;

#pragma once
// Each exchange with one encoder as a machine on an event loop: status, read, write,
// start, stop, and discovery. Its bytes, waits, results and texts are coded here once;
// CEncoderLink runs one to completion on a loop of its own, and the device layer's
// engine runs thousands at once on one shared loop.
//
// A machine is driven from its loop's thread only: Start() and Cancel() are called there,
// and `done` is called there, exactly once, never from inside Start() or Cancel().

#include <asio/io_context.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "EncoderLink.h"
#include "EncoderRecord.h"

class LinkIo;
class LinkSearch;

enum class LinkOperation { Status, Read, Write, Start, Stop, Search };

struct LinkOutcome {
    // The operation's own int, as CEncoderLink's call returns it.
    int result = 0;
    StatusReply reading;      // Status
    EncoderRecord record{};   // Read: as the encoder filled it; Write: as sent
    std::string document;     // Read: the payload as received, when it came whole; Write: as sent
    bool cancelled = false;   // cut short: nothing more was said, the result means nothing
    // Set when this machine could not do its part (no socket could be made, no local port):
    // the OS's reason and its code. The encoder had no say in it.
    std::string localError;
    int localErrorCode = 0;
};

struct LinkHooks {
    // A write's document, once the passwords are checked and before the connection is made.
    std::function<void(const std::string& document)> sending;
    // A search's reported address, as each valid reply arrives.
    std::function<void(const std::string& dotted)> found;
    // Where a read's settings document is parsed: an executor of another thread, so that
    // the loop goes on with its other exchanges meanwhile (the parse is most of a read's
    // own work). Empty: on the loop, at once.
    std::function<void(std::function<void()> parse)> decode;
};

class LinkExchange : public std::enable_shared_from_this<LinkExchange> {
public:
    using Done = std::function<void(LinkOutcome&)>;

    // `reporter` and `io` must outlive the machine; `record` is copied; for a search,
    // `searchAddress` is the broadcast address (host order).
    static std::shared_ptr<LinkExchange> Make(asio::io_context& io, LinkReporter& reporter, const LinkOptions& options,
                                              LinkOperation operation, const EncoderRecord& record,
                                              uint32_t searchAddress, LinkHooks hooks, Done done);
    LinkExchange(asio::io_context& io, LinkReporter& reporter, const LinkOptions& options, LinkOperation operation,
                 const EncoderRecord& record, uint32_t searchAddress, LinkHooks hooks, Done done);
    ~LinkExchange();
    LinkExchange(const LinkExchange&) = delete;
    LinkExchange& operator=(const LinkExchange&) = delete;

    void Start();
    // What an exchange says and gives when no socket at all can be made for it (not even the
    // loop's own): the same as a machine whose socket could not be made.
    static void ReportNoSocket(LinkOperation operation, const EncoderRecord& record, LinkReporter& reporter,
                               LinkOutcome& outcome);
    // Ends the exchange at once: its connection closed, nothing more said, `done` called
    // (from the loop) with `cancelled` set. Nothing when it is already over.
    void Cancel();

private:
    void Warning(const std::string& text);
    void Tip(const std::string& text);
    void Finish(int result);
    void Connect(bool report, std::function<void(bool)> then);
    void SendHeader(int32_t code, int32_t length, std::function<void()> then);

    void Status();
    void Read();
    void ReceivePayload();
    void Parsed(int result);
    void Write();
    void ReceiveWriteReply();
    void Judge();
    void ShortRequest(int32_t code);
    void Search();

    asio::io_context& m_ioContext;
    LinkReporter& m_reporter;
    LinkOptions m_options;
    LinkOperation m_operation;
    uint32_t m_searchAddress;
    LinkHooks m_hooks;
    Done m_done;
    std::shared_ptr<LinkIo> m_io;
    bool m_finished = false;
    LinkOutcome m_outcome;

    uint8_t m_header[8] = {};
    std::vector<char> m_buffer;   // a write's document
    std::string m_payload;        // a read's payload, the document once it is whole
    int m_length = 0;
    int m_received = 0;
    std::vector<uint8_t> m_reply;   // a write's or a status's reply buffer

    std::shared_ptr<LinkSearch> m_search;   // discovery
};

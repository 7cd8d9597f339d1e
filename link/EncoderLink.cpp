#include "EncoderLink.h"

#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include "LinkExchange.h"
#include "Socket.h"

CEncoderLink::CEncoderLink(LinkReporter& reporter, LinkOptions options)
    : m_reporter(reporter), m_options(std::move(options))
{}

CEncoderLink::~CEncoderLink() = default;

// Runs one exchange's machine on the link's loop until it is over. A cancel from another
// thread reaches the machine through the loop.
LinkOutcome CEncoderLink::Run(LinkOperation operation, const EncoderRecord& record, uint32_t searchAddress,
                              LinkHooks hooks)
{
    LinkOutcome outcome;
    outcome.record = record;
    if (m_options.cancel != nullptr && m_options.cancel->Signalled()) {
        outcome.cancelled = true;   // nothing is sent, nothing is said
        outcome.reading = StatusReply{};
        return outcome;
    }
    // The loop needs descriptors of its own; where there are none, the exchange meets the
    // same end as one whose socket cannot be made.
    std::shared_ptr<LinkExchange> exchange;
    try {
        if (!m_loop) {
            m_loop = std::make_unique<asio::io_context>();
        }
        m_loop->restart();   // the last exchange ran it out of work
        exchange =
            LinkExchange::Make(*m_loop, m_reporter, m_options, operation, record, searchAddress, std::move(hooks),
                               [&outcome](LinkOutcome& finished) { outcome = std::move(finished); });
    } catch (const std::exception& error) {
        exchange.reset();
        outcome.localError = error.what();
        LinkExchange::ReportNoSocket(operation, record, m_reporter, outcome);
        return outcome;
    }
    asio::io_context& io = *m_loop;
    std::weak_ptr<LinkExchange> weak = exchange;
    CWakeup::Subscription subscription = 0;
    if (m_options.cancel != nullptr) {
        subscription = m_options.cancel->Subscribe([&io, weak] {
            asio::post(io, [weak] {
                if (auto running = weak.lock()) {
                    running->Cancel();
                }
            });
        });
    }
    exchange->Start();
    io.run();
    exchange.reset();
    if (m_options.cancel != nullptr) {
        m_options.cancel->Unsubscribe(subscription);
    }
    return outcome;
}

bool CEncoderLink::Cancelled() const
{
    return m_options.cancel != nullptr && m_options.cancel->Signalled();
}

int CEncoderLink::ReadConfiguration(EncoderRecord& record)
{
    return ReadConfiguration(record, nullptr);
}

int CEncoderLink::ReadConfiguration(EncoderRecord& record, std::string* document)
{
    LinkOutcome outcome = Run(LinkOperation::Read, record, 0, {});
    if (outcome.cancelled || outcome.result == 0) {
        // The record stays as it was; the payload is handed on whenever it came whole.
        if (document != nullptr && !outcome.cancelled) {
            *document = outcome.document;
        }
        return 0;
    }
    record = outcome.record;
    if (document != nullptr) {
        *document = outcome.document;
    }
    return outcome.result;
}

int CEncoderLink::WriteConfiguration(EncoderRecord& record, std::string* sent)
{
    std::string document;
    LinkHooks hooks;
    hooks.sending = [&document](const std::string& bytes) { document = bytes; };
    LinkOutcome outcome = Run(LinkOperation::Write, record, 0, std::move(hooks));
    if (!document.empty()) {
        record = outcome.record;   // as the writer completed it for sending
    }
    if (sent != nullptr) {
        *sent = document;
    }
    return outcome.cancelled ? 0 : outcome.result;
}

int CEncoderLink::StartTsToIp(const EncoderRecord& record)
{
    return Run(LinkOperation::Start, record, 0, {}).result;
}

int CEncoderLink::StopTsToIp(const EncoderRecord& record)
{
    return Run(LinkOperation::Stop, record, 0, {}).result;
}

int CEncoderLink::QueryStatus(const EncoderRecord& record)
{
    StatusReply reading;
    return QueryStatus(record, reading);
}

int CEncoderLink::QueryStatus(const EncoderRecord& record, StatusReply& reading)
{
    LinkOutcome outcome = Run(LinkOperation::Status, record, 0, {});
    reading = outcome.cancelled ? StatusReply{} : outcome.reading;
    return reading.flags;
}

void CEncoderLink::SearchEncoder(uint32_t address, const std::function<void(const std::string& dotted)>& addEncoder)
{
    LinkHooks hooks;
    hooks.found = addEncoder;
    Run(LinkOperation::Search, EncoderRecord{}, address, std::move(hooks));
}

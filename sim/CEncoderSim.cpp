#include "CEncoderSim.h"

#include <mutex>
#include <unordered_map>
#include <utility>

#include "AddressRange.h"
#include "SimEncoderState.h"
#include "SimServer.h"
#include "TextConversions.h"

struct CEncoderSim::Impl {
    SimEncoder::Shared shared;
    std::vector<std::unique_ptr<SimEncoder::State>> encoders;   // fixed once constructed
    std::unordered_map<uint32_t, size_t> indexOf;               // address -> index in encoders
    SimServer server;

    explicit Impl(const SimOptions& options) : server(options, shared, encoders) {}
};

CEncoderSim::CEncoderSim(SimOptions options) : m_options(std::move(options)), m_impl(std::make_unique<Impl>(m_options))
{
    AddressRange range = ParseAddressSpan(m_options.bindAddress, kMaxSimEncoders);
    if (!range.Ok()) {
        m_error = "not an address: " + range.error;
    }
    uint32_t reported = m_options.reportAddress.empty() ? 0 : InetAddrHostOrder(m_options.reportAddress.c_str());
    for (uint32_t address : range.addresses) {
        auto state = std::make_unique<SimEncoder::State>();
        state->address = address;
        state->reported = m_options.reportAddress.empty() ? address : reported;
        state->fault = m_options.fault;
        state->delayMs = m_options.delayMs;
        state->trickleMs = m_options.trickleMs;
        state->status = m_options.status;
        state->password = m_options.password;
        m_impl->indexOf.emplace(address, m_impl->encoders.size());
        m_impl->encoders.push_back(std::move(state));
    }
}

CEncoderSim::~CEncoderSim()
{
    Stop();
}

bool CEncoderSim::Start()
{
    if (m_impl->server.Running()) {
        return true;
    }
    if (m_impl->encoders.empty()) {
        return false;   // the address did not parse; Error() says why
    }
    if (!m_impl->server.Bind(m_error)) {
        return false;
    }
    m_commandPort = m_impl->server.CommandPort();
    m_searchPort = m_impl->server.SearchPort();
    {
        std::lock_guard<std::mutex> lock(m_impl->shared.mutex);
        for (auto& encoder : m_impl->encoders) {
            if (encoder->document.empty()) {
                encoder->document = DefaultDocument(encoder->address);
            }
        }
    }
    m_impl->server.Start();
    return true;
}

void CEncoderSim::Stop()
{
    m_impl->server.Stop();
}

uint32_t CEncoderSim::Address() const
{
    return m_impl->encoders.empty() ? 0 : m_impl->encoders.front()->address;
}

size_t CEncoderSim::Count() const
{
    return m_impl->encoders.size();
}

std::vector<uint32_t> CEncoderSim::Addresses() const
{
    std::vector<uint32_t> addresses;
    for (const auto& encoder : m_impl->encoders) {
        addresses.push_back(encoder->address);
    }
    return addresses;
}

SimEncoder CEncoderSim::EncoderAt(size_t index) const
{
    return SimEncoder(&m_impl->shared, index < m_impl->encoders.size() ? m_impl->encoders[index].get() : nullptr);
}

SimEncoder CEncoderSim::EncoderFor(uint32_t hostOrderAddr) const
{
    auto found = m_impl->indexOf.find(hostOrderAddr);
    return SimEncoder(&m_impl->shared,
                      found == m_impl->indexOf.end() ? nullptr : m_impl->encoders[found->second].get());
}

void CEncoderSim::SetFault(SimFault fault)
{
    for (size_t i = 0; i < Count(); ++i) EncoderAt(i).SetFault(fault);
}
void CEncoderSim::SetDelay(int ms)
{
    for (size_t i = 0; i < Count(); ++i) EncoderAt(i).SetDelay(ms);
}
void CEncoderSim::SetTrickle(int ms)
{
    for (size_t i = 0; i < Count(); ++i) EncoderAt(i).SetTrickle(ms);
}
void CEncoderSim::SetStatus(const std::vector<uint8_t>& payload)
{
    for (size_t i = 0; i < Count(); ++i) EncoderAt(i).SetStatus(payload);
}
void CEncoderSim::SetPassword(const std::string& password)
{
    for (size_t i = 0; i < Count(); ++i) EncoderAt(i).SetPassword(password);
}
void CEncoderSim::SetDocument(const std::string& document)
{
    for (size_t i = 0; i < Count(); ++i) EncoderAt(i).SetDocument(document);
}
void CEncoderSim::SetWriteReply(const std::string& payload)
{
    for (size_t i = 0; i < Count(); ++i) EncoderAt(i).SetWriteReply(payload);
}
void CEncoderSim::SetSearchReplies(const std::vector<uint32_t>& addresses)
{
    for (size_t i = 0; i < Count(); ++i) EncoderAt(i).SetSearchReplies(addresses);
}

std::string CEncoderSim::Password() const
{
    return EncoderAt(0).Password();
}
std::string CEncoderSim::Document() const
{
    return EncoderAt(0).Document();
}
std::string CEncoderSim::LastWrittenDocument() const
{
    return EncoderAt(0).LastWrittenDocument();
}
std::vector<int32_t> CEncoderSim::Requests() const
{
    return EncoderAt(0).Requests();
}
std::vector<uint8_t> CEncoderSim::LastRequestBytes() const
{
    return EncoderAt(0).LastRequestBytes();
}
int CEncoderSim::RequestCount(int32_t code) const
{
    return EncoderAt(0).RequestCount(code);
}
std::vector<uint8_t> CEncoderSim::LastSearchRequest() const
{
    return EncoderAt(0).LastSearchRequest();
}
bool CEncoderSim::TsRunning() const
{
    return EncoderAt(0).TsRunning();
}
bool CEncoderSim::WaitForRequests(size_t count, int timeoutMs) const
{
    return EncoderAt(0).WaitForRequests(count, timeoutMs);
}

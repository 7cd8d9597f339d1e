#include "SimEncoder.h"

#include <algorithm>
#include <chrono>

#include "SimEncoderState.h"

uint32_t SimEncoder::Address() const
{
    return m_state != nullptr ? m_state->address : 0;
}

namespace {

// Every per-encoder accessor: nothing for a handle without an encoder, else under the lock.
template <typename Change>
void ChangeLocked(SimEncoder::Shared* shared, SimEncoder::State* state, Change change)
{
    if (state != nullptr) {
        std::lock_guard<std::mutex> lock(shared->mutex);
        change(*state);
    }
}

template <typename Read>
auto ReadLocked(const SimEncoder::Shared* shared, const SimEncoder::State* state, Read read) -> decltype(read(*state))
{
    if (state == nullptr) {
        return {};
    }
    std::lock_guard<std::mutex> lock(shared->mutex);
    return read(*state);
}

}   // namespace

void SimEncoder::SetFault(SimFault fault)
{
    ChangeLocked(m_shared, m_state, [&](State& state) { state.fault = fault; });
}
SimFault SimEncoder::Fault() const
{
    return ReadLocked(m_shared, m_state, [](const State& state) { return state.fault; });
}
void SimEncoder::SetDelay(int ms)
{
    ChangeLocked(m_shared, m_state, [&](State& state) { state.delayMs = std::max(ms, 0); });
}
void SimEncoder::SetTrickle(int ms)
{
    ChangeLocked(m_shared, m_state, [&](State& state) { state.trickleMs = std::max(ms, 0); });
}
void SimEncoder::SetStatus(const std::vector<uint8_t>& payload)
{
    ChangeLocked(m_shared, m_state, [&](State& state) { state.status = payload; });
}
void SimEncoder::SetPassword(const std::string& password)
{
    ChangeLocked(m_shared, m_state, [&](State& state) { state.password = password; });
}
std::string SimEncoder::Password() const
{
    return ReadLocked(m_shared, m_state, [](const State& state) { return state.password; });
}
void SimEncoder::SetDocument(const std::string& document)
{
    ChangeLocked(m_shared, m_state, [&](State& state) { state.document = document; });
}
std::string SimEncoder::Document() const
{
    return ReadLocked(m_shared, m_state, [](const State& state) { return state.document; });
}
void SimEncoder::SetWriteReply(const std::string& payload)
{
    ChangeLocked(m_shared, m_state, [&](State& state) { state.writeReply = payload; });
}
void SimEncoder::SetSearchReplies(const std::vector<uint32_t>& addresses)
{
    ChangeLocked(m_shared, m_state, [&](State& state) { state.searchReplies = addresses; });
}
std::string SimEncoder::LastWrittenDocument() const
{
    return ReadLocked(m_shared, m_state, [](const State& state) { return state.lastWritten; });
}
std::vector<int32_t> SimEncoder::Requests() const
{
    return ReadLocked(m_shared, m_state, [](const State& state) { return state.requests; });
}
std::vector<uint8_t> SimEncoder::LastRequestBytes() const
{
    return ReadLocked(m_shared, m_state, [](const State& state) { return state.lastRequest; });
}
int SimEncoder::RequestCount(int32_t code) const
{
    return ReadLocked(m_shared, m_state, [&](const State& state) {
        return static_cast<int>(std::count(state.requests.begin(), state.requests.end(), code));
    });
}
std::vector<uint8_t> SimEncoder::LastSearchRequest() const
{
    return ReadLocked(m_shared, m_state, [](const State& state) { return state.lastSearch; });
}
bool SimEncoder::TsRunning() const
{
    return ReadLocked(m_shared, m_state, [](const State& state) { return state.tsRunning; });
}

bool SimEncoder::WaitForRequests(size_t count, int timeoutMs) const
{
    if (m_state == nullptr) {
        return false;
    }
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    return m_shared->arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                      [&] { return m_state->requests.size() >= count; });
}

#pragma once
// One encoder of a running stand-in, as a test or the control channel reaches it: its
// faults, delays, status, password and document to set, and what it received to read.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "SimFaults.h"

// A cheap handle, valid while its CEncoderSim lives; a handle for an address the stand-in
// does not serve is not Valid() and does nothing. Every setter may be called from any
// thread while the stand-in runs.
class SimEncoder {
public:
    bool Valid() const { return m_state != nullptr; }
    uint32_t Address() const;   // host order

    void SetFault(SimFault fault);
    SimFault Fault() const;
    void SetDelay(int ms);
    void SetTrickle(int ms);
    void SetStatus(const std::vector<uint8_t>& payload);
    void SetPassword(const std::string& password);
    std::string Password() const;
    void SetDocument(const std::string& document);
    std::string Document() const;
    void SetWriteReply(const std::string& payload);
    void SetSearchReplies(const std::vector<uint32_t>& addresses);

    std::string LastWrittenDocument() const;
    std::vector<int32_t> Requests() const;
    std::vector<uint8_t> LastRequestBytes() const;
    int RequestCount(int32_t code) const;
    std::vector<uint8_t> LastSearchRequest() const;
    bool TsRunning() const;
    bool WaitForRequests(size_t count, int timeoutMs) const;

    struct State;    // what one encoder keeps (SimEncoderState.h)
    struct Shared;   // the lock and signal every encoder of a stand-in shares

private:
    friend class CEncoderSim;
    SimEncoder(Shared* shared, State* state) : m_shared(shared), m_state(state) {}

    Shared* m_shared = nullptr;
    State* m_state = nullptr;
};

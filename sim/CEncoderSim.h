#pragma once
// The stand-in encoder: answers the command channel (TCP) and discovery (UDP) like a
// real encoder, keeps what is written to it, and can be told to misbehave. One stand-in
// can be a whole fleet: given a range of loopback addresses it runs one encoder per
// address, all on the same two ports, each with its own document, password, status,
// faults and written state, served by one thread.
//
// How tests use it in-process:
//
//     SimOptions options;                 // 127.0.0.1, ephemeral ports, password "admin"
//     CEncoderSim sim(options);
//     ASSERT_TRUE(sim.Start()) << sim.Error();
//     LinkOptions link;                   // short waits for tests
//     link.commandPort = sim.CommandPort();
//     link.searchPort = sim.SearchPort();
//     link.timing = {30, 30, 30, 100, 300};
//     EncoderRecord record{};
//     record.ipAddr = sim.Address();      // 127.0.0.1 in host order
//     ... run the exchange ...
//     sim.SetFault(SimFault::Silence);    // next exchanges misbehave
//     sim.SetStatus({1, 0, 38, 1, 1, 1, 1});
//     EXPECT_EQ(sim.Password(), "secret");
//     EXPECT_NE(sim.LastWrittenDocument().find("<progName>News</progName>"), std::string::npos);
//
// A fleet:
//
//     options.bindAddress = "127.0.0.2-101";          // 100 encoders, one command and one search port
//     CEncoderSim fleet(options);
//     ASSERT_TRUE(fleet.Start()) << fleet.Error();
//     fleet.EncoderFor(0x7F000005u).SetFault(SimFault::Trickle);   // one of them trickles
//     EXPECT_EQ(fleet.EncoderAt(0).Password(), "admin");
//
// The encoder answers at once unless given a delay, so a reply is complete when the
// link's fixed wait ends. CEncoderSim's own setters act on every encoder of the fleet and
// its getters read the first; SimEncoder reaches one. Every setter may be called from
// any thread while it runs. The destructor stops the server thread and closes every
// socket.
//
// Its parts: SimFaults.h (the misbehaviours), SimAnswers.h (what an encoder answers),
// SimServer.h (the sockets and the server thread), SimEncoder.h (one encoder's handle),
// SimDocument.cpp (the factory settings document).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "SimEncoder.h"
#include "SimFaults.h"
#include "SimOptions.h"

class CEncoderSim {
public:
    explicit CEncoderSim(SimOptions options = {});
    ~CEncoderSim();
    CEncoderSim(const CEncoderSim&) = delete;
    CEncoderSim& operator=(const CEncoderSim&) = delete;

    // Binds every encoder's two sockets and starts the server thread; false (and Error())
    // on failure. With ephemeral ports the first encoder picks them and the others take
    // the same; when one of those is taken on another address, the whole range is tried
    // again on new ports.
    bool Start();
    void Stop();
    const std::string& Error() const { return m_error; }

    uint32_t Address() const;   // the first encoder's address, host order
    uint16_t CommandPort() const { return m_commandPort; }
    uint16_t SearchPort() const { return m_searchPort; }

    size_t Count() const;                       // encoders served
    std::vector<uint32_t> Addresses() const;    // host order, in the order --bind names them
    SimEncoder EncoderAt(size_t index) const;   // 0 is the first address
    SimEncoder EncoderFor(uint32_t hostOrderAddr) const;

    // On every encoder:
    void SetFault(SimFault fault);
    void SetDelay(int ms);
    void SetTrickle(int ms);
    void SetStatus(const std::vector<uint8_t>& payload);   // the status reply payload as sent
    void SetPassword(const std::string& password);
    // The document a read returns (a realistic two-program encoder until something is written).
    void SetDocument(const std::string& document);
    // Replaces the write reply's payload ("OK\0" or "PASSWORD ERR\0"); empty: the usual ones.
    void SetWriteReply(const std::string& payload);
    // Discovery answers these addresses (host order), one datagram each, instead of its own.
    void SetSearchReplies(const std::vector<uint32_t>& addresses);

    // Of the first encoder:
    std::string Password() const;
    std::string Document() const;
    std::string LastWrittenDocument() const;         // as received, passwords included
    std::vector<int32_t> Requests() const;           // request codes in arrival order
    std::vector<uint8_t> LastRequestBytes() const;   // the last TCP request as it arrived
    int RequestCount(int32_t code) const;
    std::vector<uint8_t> LastSearchRequest() const;
    bool TsRunning() const;
    // Blocks until `count` requests have arrived or `timeoutMs` passed; true when they have.
    bool WaitForRequests(size_t count, int timeoutMs) const;

    // The realistic settings document of a two-program encoder at `hostOrderAddr`.
    static std::string DefaultDocument(uint32_t hostOrderAddr);

private:
    struct Impl;   // the encoders and their server (SimServer)

    SimOptions m_options;
    std::string m_error;
    uint16_t m_commandPort = 0;
    uint16_t m_searchPort = 0;
    std::unique_ptr<Impl> m_impl;
};

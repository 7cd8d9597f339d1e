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

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

enum class SimFault {
    None,
    WrongCode,          // replies carry another code than the request's
    ZeroLength,         // replies announce 0 payload bytes and send none
    NegativeLength,     // replies announce -1 payload bytes
    OversizedLength,    // replies announce (and send) more than the tool's buffer
    ShortPayload,       // replies announce their length, send half, then fall silent
    ShortCode,          // 2 bytes of the reply code, then the connection closes
    CloseAfterCode,     // the reply code, then the connection closes
    CloseAfterLength,   // code and length, then the connection closes
    Silence,            // requests are read but never answered; the connection stays open
    EarlyClose,         // the connection closes as soon as the request is read
    Garbage,            // a well-framed reply whose payload is not a settings document
    WrongRoot,          // a settings document whose root is not encoder_202
    BadChecksum,        // discovery reply with a wrong checksum byte
    BadMarker,          // discovery reply with 5 instead of 4 at offset 6
    ShortReply,         // discovery reply of 7 bytes
    OtherAddress,       // discovery reply reporting the next address up, not our own
    SeveralReplies,     // discovery answered three times: own, own again, the next address
    Trickle,            // the reply's header at once, then its payload one byte per trickle step
};

struct SimFaultName {
    SimFault fault;
    const char* name;   // as given to --fault
    const char* description;
};
const std::vector<SimFaultName>& SimFaultNames();
// The fault of a --fault name; false for an unknown name.
bool SimFaultFromName(const std::string& name, SimFault& fault);

// A fleet's bound: each encoder holds two sockets, so this many stay within common
// open-file limits once raised, and a mistyped range cannot exhaust the machine.
constexpr size_t kMaxSimEncoders = 16384;

struct SimOptions {
    // One address ("127.0.0.1"), a range ("127.0.0.2-101", "127.0.0.2-127.0.0.101", or
    // over the third number "127.0.10.1-127.0.13.250"), or several ranges separated by
    // commas ("127.0.0.2-101,127.0.1.2-51"): one encoder per address, all on the same ports.
    std::string bindAddress = "127.0.0.1";
    uint16_t commandPort = 0;   // 0: an ephemeral port (the executable defaults to 9999)
    uint16_t searchPort = 0;    // 0: an ephemeral port (the executable defaults to 8888)
    std::string password = "admin";
    std::vector<uint8_t> status = {0, 0, 38, 1, 1, 1, 1};   // not busy, 38 degrees, both programs up
    std::string reportAddress;                              // empty: each encoder reports its own address
    SimFault fault = SimFault::None;
    int delayMs = 0;       // every answer (reply, close, discovery reply) this long after its request
    int trickleMs = 400;   // the Trickle fault's pace: one payload byte per this many ms
    std::function<void(const std::string&)> log;   // one line per request, from the server thread; may be empty
};

// One encoder of a running stand-in. A cheap handle, valid while its CEncoderSim lives; a
// handle for an address the stand-in does not serve is not Valid() and does nothing.
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

    struct State;    // what one encoder keeps
    struct Shared;   // the lock and signal every encoder of a stand-in shares

private:
    friend class CEncoderSim;
    SimEncoder(Shared* shared, State* state) : m_shared(shared), m_state(state) {}

    Shared* m_shared = nullptr;
    State* m_state = nullptr;
};

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
    struct Impl;
    void Run();
    bool BindAll();
    void CloseAll();

    SimOptions m_options;
    std::string m_error;
    uint16_t m_commandPort = 0;
    uint16_t m_searchPort = 0;
    std::unique_ptr<Impl> m_impl;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

#pragma once
// The stand-in's sockets and its one server thread: binds every encoder's command
// listener and discovery socket on the same two ports, accepts connections, reads each
// request whole, has SimAnswers judge it, and sends the answer when it is due (at once,
// after the encoder's delay, or a byte at a time). Keeps a bounded number of connections
// per encoder, so that clients that never close cannot exhaust it.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "SimEncoderState.h"
#include "SimOptions.h"
#include "Socket.h"

class SimServer {
public:
    using Encoders = std::vector<std::unique_ptr<SimEncoder::State>>;

    // Serves `encoders` (fixed from here on) as `options` say; all three outlive it.
    SimServer(const SimOptions& options, SimEncoder::Shared& shared, const Encoders& encoders);
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Binds every encoder's two sockets; false (and why in `error`) on failure. With
    // ephemeral ports the first encoder picks them and the others take the same; when one
    // of those is taken on another address, the whole range is tried again on new ports.
    bool Bind(std::string& error);
    uint16_t CommandPort() const { return m_commandPort; }
    uint16_t SearchPort() const { return m_searchPort; }   // 0 without discovery

    void Start();   // the server thread, over the bound sockets
    bool Running() const { return m_thread.joinable(); }
    void Stop();   // ends the thread and closes every socket

private:
    using Clock = std::chrono::steady_clock;

    // One accepted command connection and what it still has to send.
    struct Connection {
        CSocket socket;
        SimEncoder::State* encoder = nullptr;
        std::vector<uint8_t> input;
        bool answered = false;

        std::vector<uint8_t> output;   // the reply, sent from `sent` on when `due`
        size_t sent = 0;
        size_t burst = 0;   // bytes that go at once before the trickle starts
        bool pending = false;
        bool closeAfter = false;   // close once the output is out
        Clock::time_point due;
        int stepMs = 0;   // 0: everything at once; else one byte per step
    };

    struct PendingDatagram {
        SimEncoder::State* encoder = nullptr;
        Clock::time_point due;
        uint32_t toAddr = 0;
        uint16_t toPort = 0;
        std::vector<uint8_t> bytes;
    };

    void Run();
    void CloseAll();
    bool ServeConnection(Connection& connection);   // false: the connection is to close
    bool SendDue(Connection& connection);           // false: the connection is to close
    void ServeDatagram(SimEncoder::State& encoder);
    void MakeRoomFor(const SimEncoder::State* encoder);
    void AcceptAll(SimEncoder::State& encoder, bool ready);
    bool Fleet() const { return m_encoders.size() > 1; }   // log lines name the encoder

    const SimOptions& m_options;
    SimEncoder::Shared& m_shared;
    const Encoders& m_encoders;
    uint16_t m_commandPort = 0;
    uint16_t m_searchPort = 0;
    std::vector<Connection> m_connections;      // the server thread's
    std::vector<PendingDatagram> m_datagrams;   // the server thread's
    std::vector<uint8_t> m_chunk;               // the server thread's
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

#pragma once
// The stand-in's sockets and its one server thread: binds every encoder's command
// listener and discovery socket on the same two ports, accepts connections, reads each
// request whole, has SimAnswers judge it, and sends the answer when it is due (at once,
// after the encoder's delay, or a byte at a time). Keeps a bounded number of connections
// per encoder, so that clients that never close cannot exhaust it.
//
// The thread runs an Asio event loop: every listener, connection and discovery socket
// waits on it, and every answer due later is a timer, so a wake costs only the sockets
// and timers that are ready. A fleet of a thousand encoders with thousands of connections
// in flight costs the machine it shares with the tool little beyond the bytes it moves.

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "SimEncoderState.h"
#include "SimOptions.h"

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
    struct Endpoint;     // one encoder's listener, discovery socket and connections
    struct Connection;   // one accepted command connection and what it still has to send
    using ConnectionPtr = std::shared_ptr<Connection>;

    // One discovery reply waiting for its time.
    struct PendingDatagram {
        Endpoint* endpoint = nullptr;
        uint32_t toAddr = 0;
        uint16_t toPort = 0;
        std::vector<uint8_t> bytes;
    };

    void CloseAll();
    void Shutdown();   // on the loop: closes everything, so that the loop runs dry
    void Accept(Endpoint& endpoint);
    void OnAccepted(Endpoint& endpoint, asio::error_code error, asio::ip::tcp::socket socket);
    void MakeRoomFor(Endpoint& endpoint);
    void AwaitRequest(const ConnectionPtr& connection);
    bool ServeConnection(Connection& connection);   // false: the connection is to close
    void LineUp(const ConnectionPtr& connection);   // the answer's next bytes, now or when due
    void SendNext(const ConnectionPtr& connection);
    void Drop(Connection& connection);
    void ReceiveDatagram(Endpoint& endpoint);
    void ServeDatagram(Endpoint& endpoint, size_t count);
    void SendDueDatagrams();
    bool Fleet() const { return m_encoders.size() > 1; }   // log lines name the encoder

    const SimOptions& m_options;
    SimEncoder::Shared& m_shared;
    const Encoders& m_encoders;
    uint16_t m_commandPort = 0;
    uint16_t m_searchPort = 0;
    asio::io_context m_io;
    // Everything below is the server thread's while it runs.
    std::vector<std::unique_ptr<Endpoint>> m_endpoints;   // one per encoder, in its order
    std::multimap<Clock::time_point, PendingDatagram> m_datagrams;
    asio::steady_timer m_datagramTimer{m_io};   // armed for the first of m_datagrams
    std::vector<uint8_t> m_chunk;               // every connection's receives land here
    bool m_stopping = false;
    std::thread m_thread;
};

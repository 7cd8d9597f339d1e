#pragma once
// One exchange's connection and clock on an event loop: connect, send, the fixed wait and
// the receives that follow it, each a step that calls back when it is done. No step holds
// a thread: waits are timers, receives are readiness events on the loop.
//
// The steps behave exactly as the protocol's blocking exchange: the fixed wait comes after
// the whole request, each receive after it takes what has arrived (waiting at most the
// receive time-out for the first byte), and all receives after one wait end within the
// receive bound. In reply-complete mode the wait becomes a deadline: a receive before it
// gathers until it has its bytes, the peer closed, or the wait would have ended.

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "EncoderLink.h"

class LinkIo : public std::enable_shared_from_this<LinkIo> {
public:
    using Clock = std::chrono::steady_clock;

    // Made through std::make_shared: the loop's completions keep the connection alive.
    LinkIo(asio::io_context& io, const LinkOptions& options);
    LinkIo(const LinkIo&) = delete;
    LinkIo& operator=(const LinkIo&) = delete;

    // Why a connect failed: the socket could not be made here, or the encoder did not take it.
    enum class ConnectResult { Connected, NoSocket, Refused };
    // A TCP connection to the encoder within the connect time-out. NoSocket leaves the OS's
    // reason in LocalError() (and its code in LocalErrorCode()).
    void Connect(uint32_t address, std::function<void(ConnectResult)> then);
    // The whole of `bytes`, in one send as the encoder reads each field; false on error.
    void Send(const void* bytes, size_t count, std::function<void(bool)> then);
    // The fixed wait after a request (see above).
    void Wait(int ms, std::function<void()> then);
    // One receive as the protocol makes it after the fixed wait: up to `count` bytes into
    // `data`; the count, 0 when the peer closed, -1 on time-out or error.
    void Receive(void* data, int count, std::function<void(int)> then);
    // One receive of a 4-byte little-endian field, cleared first; true when all 4 came.
    void ReceiveInt32(std::function<void(bool, int32_t)> then);

    // Closes the connection (the exchange is over; completions still on the loop are dropped).
    void Close();
    // Ends whatever step is under way without calling it back, and closes the connection.
    void Cancel();
    bool Cancelled() const { return m_cancelled; }

    const std::string& LocalError() const { return m_localError; }
    int LocalErrorCode() const { return m_localErrorCode; }

private:
    void ReceiveStep(bool tryFirst = true);
    // How a read of the connection came about, and what no bytes then means: a poll ends
    // the receive; after readiness, or on a first look, the receive waits on.
    enum class Look { Poll, Readiness, First };
    void AfterReadable(bool beforeWaitEnd, Look look);
    void FinishReceive(int result);
    // Waits until the connection can be read or `ms` passed; Ready, TimedOut or Error.
    enum class Readiness { Ready, TimedOut, Error };
    void AwaitReadable(int ms, std::function<void(Readiness)> then);
    int ReceiveTimeoutMs() const;

    asio::io_context& m_io;
    const LinkOptions& m_options;
    asio::ip::tcp::socket m_socket;
    asio::steady_timer m_timer;
    // Each armed step has a number; a completion for an older one is stale and ignored.
    uint64_t m_step = 0;
    bool m_cancelled = false;
    std::string m_localError;
    int m_localErrorCode = 0;

    Clock::time_point m_sentAt = Clock::now();   // the request's last bytes left
    Clock::time_point m_waitEnd = Clock::now();
    Clock::time_point m_deadline = Clock::now();
    Clock::time_point m_receiveFrom = Clock::now();   // a receive's time-out counts from here

    // The receive under way.
    uint8_t* m_bytes = nullptr;
    int m_count = 0;
    int m_got = 0;
    std::function<void(int)> m_received;
    std::function<void(Readiness)> m_ready;
    uint8_t m_field[4] = {};
};

// Milliseconds left until `deadline`, 0 once it passed; rounded up when asked, so that a
// wait never wakes just before the moment and spins on zero waits.
int MsUntil(std::chrono::steady_clock::time_point deadline, bool roundUp);

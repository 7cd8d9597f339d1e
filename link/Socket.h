#pragma once
// The socket layer the exchanges stand on: blocking IPv4 TCP and UDP sockets behind a
// small RAII class. Addresses and ports cross this interface in host byte order; the
// conversion to network order happens here and nowhere else.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// The socket library's start-up (Winsock 2.2 under _WIN32; nothing to do elsewhere). The
// application calls it once before any exchange and reports its failure at start-up.
bool StartSocketLibrary();
void StopSocketLibrary();

constexpr uint32_t kLoopbackAddress = 0x7F000001u;   // 127.0.0.1

// Milliseconds from an arbitrary start, wrapping like the platform's tick counter.
uint32_t TickCountMs();

class CWakeup;

// What a wait that also watches a wake-up ended with.
enum class WaitResult { Ready, TimedOut, Woken, Error };

class CSocket {
public:
    enum class Kind { Tcp, Udp };

    CSocket() = default;
    explicit CSocket(Kind kind);   // check Valid(): creation may fail
    CSocket(CSocket&& other) noexcept;
    CSocket& operator=(CSocket&& other) noexcept;
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;
    ~CSocket() { Close(); }   // every path closes, none reports

    bool Valid() const { return m_fd >= 0; }
    void Close();

    // A receive that sees no data for this long returns -1 (a failed receive).
    bool SetReceiveTimeout(int ms);
    bool SetReuseAddress(bool on);
    bool SetBroadcast(bool on);
    bool SetReceiveBufferSize(int bytes);

    // Connects within `timeoutMs`, or until `wake` is signalled; the socket stays
    // blocking afterwards.
    bool Connect(uint32_t hostOrderAddr, uint16_t port, int timeoutMs, const CWakeup* wake = nullptr);
    bool Bind(uint32_t hostOrderAddr, uint16_t port);
    bool Listen(int backlog);
    CSocket Accept();             // invalid socket on failure
    uint16_t LocalPort() const;   // 0 when unbound or unknown

    // Byte counts as results, -1 on error; a peer that has gone away never raises a signal.
    int Send(const void* data, int count);
    int Receive(void* data, int count);   // one receive; 0 when the peer closed
    int SendTo(const void* data, int count, uint32_t hostOrderAddr, uint16_t port);
    int ReceiveFrom(void* data, int count, uint32_t* fromAddr = nullptr, uint16_t* fromPort = nullptr);

    // Waits until a receive would not block; false on time-out or error.
    bool WaitReadable(int timeoutMs) const;
    // The same, ending early (Woken) when `wake` (may be null) is signalled.
    WaitResult WaitReadable(int timeoutMs, const CWakeup* wake) const;
    // Waits until any of `sockets` can be read; `ready[i]` tells which. The number ready,
    // 0 on time-out, -1 on error.
    static int WaitAnyReadable(const CSocket* const* sockets, size_t count, bool* ready, int timeoutMs);

private:
    friend class CWakeup;
#ifdef _WIN32
    using Handle = intptr_t;
#else
    using Handle = int;
#endif
    Handle m_fd = -1;
};

// Cuts the waits of one exchange short from another thread. It is a UDP socket on the
// loopback address that Signal() sends one datagram to; every wait of the exchange
// watches it together with its own socket, so a cancel needs neither polling nor
// platform-specific pipes. Once signalled it stays signalled.
class CWakeup {
public:
    CWakeup();
    CWakeup(const CWakeup&) = delete;
    CWakeup& operator=(const CWakeup&) = delete;

    bool Valid() const { return m_socket.Valid(); }   // without a socket only the flag works
    void Signal();                                    // any thread, any number of times
    bool Signalled() const { return m_signalled.load(); }
    uint16_t Port() const { return m_port; }   // where its datagram goes, on 127.0.0.1
    // Waits up to `timeoutMs`; true when signalled (at once if it already was).
    bool Wait(int timeoutMs) const;

private:
    friend class CSocket;
    void DropStray() const;     // reads a datagram that did not come from Signal()
    mutable CSocket m_socket;   // Signal() and Wait() may run on different threads
    uint16_t m_port = 0;
    std::atomic<bool> m_signalled{false};
};

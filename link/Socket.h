#pragma once
// The socket layer the exchanges stand on: blocking IPv4 TCP and UDP sockets behind a
// small RAII class. Addresses and ports cross this interface in host byte order; the
// conversion to network order happens here and nowhere else.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The socket library's start-up (Winsock 2.2 under _WIN32; nothing to do elsewhere). The
// application calls it once before any exchange and reports its failure at start-up.
bool StartSocketLibrary();
void StopSocketLibrary();

constexpr uint32_t kLoopbackAddress = 0x7F000001u;   // 127.0.0.1

// Milliseconds from an arbitrary start, wrapping like the platform's tick counter.
uint32_t TickCountMs();

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

    // Connects within `timeoutMs`; the socket stays blocking afterwards.
    bool Connect(uint32_t hostOrderAddr, uint16_t port, int timeoutMs);
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
    // Waits until any of `sockets` can be read; `ready[i]` tells which. The number ready,
    // 0 on time-out, -1 on error.
    static int WaitAnyReadable(const CSocket* const* sockets, size_t count, bool* ready, int timeoutMs);

private:
#ifdef _WIN32
    using Handle = intptr_t;
#else
    using Handle = int;
#endif
    Handle m_fd = -1;
};

// Cuts an exchange short from another thread: CEncoderLink's call watches it while the
// exchange runs and ends the exchange on its loop when it is signalled. Once signalled it
// stays signalled.
class CWakeup {
public:
    CWakeup() = default;
    CWakeup(const CWakeup&) = delete;
    CWakeup& operator=(const CWakeup&) = delete;

    void Signal();   // any thread, any number of times
    bool Signalled() const { return m_signalled.load(); }
    // Waits up to `timeoutMs`; true when signalled (at once if it already was).
    bool Wait(int timeoutMs) const;

    // `onSignal` runs once, on the signalling thread, when Signal() comes (at once, on this
    // thread, when it already came); it must not block. 0 is never a subscription.
    using Subscription = uint64_t;
    Subscription Subscribe(std::function<void()> onSignal) const;
    void Unsubscribe(Subscription subscription) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::atomic<bool> m_signalled{false};
    mutable Subscription m_lastSubscription = 0;
    mutable std::vector<std::pair<Subscription, std::function<void()>>> m_subscribers;
};

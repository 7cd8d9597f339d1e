#include "Socket.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
using SockLen = int;
using NativeSocket = SOCKET;
NativeSocket Native(intptr_t fd)
{
    return static_cast<NativeSocket>(fd);
}
int LastErrorInterrupted()
{
    return WSAGetLastError() == WSAEINTR;
}
#else
using SockLen = socklen_t;
using NativeSocket = int;
NativeSocket Native(int fd)
{
    return fd;
}
int LastErrorInterrupted()
{
    return errno == EINTR;
}
#endif

#if defined(MSG_NOSIGNAL)
constexpr int kSendFlags = MSG_NOSIGNAL;   // a closed peer gives -1, not SIGPIPE
#else
constexpr int kSendFlags = 0;
#endif

sockaddr_in MakeAddress(uint32_t hostOrderAddr, uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(hostOrderAddr);
    return address;
}

bool SetIntOption(intptr_t fd, int level, int name, int value)
{
    return setsockopt(Native(fd), level, name, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

bool SetBlocking(intptr_t fd, bool blocking)
{
#ifdef _WIN32
    u_long nonBlocking = blocking ? 0 : 1;
    return ioctlsocket(Native(fd), FIONBIO, &nonBlocking) == 0;
#else
    int flags = fcntl(Native(fd), F_GETFL, 0);
    if (flags < 0) {
        return false;
    }
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return fcntl(Native(fd), F_SETFL, flags) == 0;
#endif
}

// One poll of one socket; >0 ready, 0 time-out, <0 error.
int PollOne(intptr_t fd, short events, int timeoutMs)
{
#ifdef _WIN32
    WSAPOLLFD entry{};
    entry.fd = Native(fd);
    entry.events = events;
    return WSAPoll(&entry, 1, timeoutMs);
#else
    pollfd entry{};
    entry.fd = Native(fd);
    entry.events = events;
    int result;
    do {
        result = poll(&entry, 1, timeoutMs);
    } while (result < 0 && errno == EINTR);
    return result;
#endif
}

// Waits for a non-blocking connect to finish, successfully or not.
bool WaitConnected(intptr_t fd, int timeoutMs)
{
#ifdef _WIN32
    // WSAPoll does not report a refused connect on older systems; select does.
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(Native(fd), &writable);
    FD_SET(Native(fd), &failed);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(0, nullptr, &writable, &failed, &limit) > 0 && FD_ISSET(Native(fd), &writable);
#else
    pollfd entry = {};
    entry.fd = Native(fd);
    entry.events = POLLOUT;
    int result;
    do {
        result = poll(&entry, 1, timeoutMs);
    } while (result < 0 && errno == EINTR);
    return result > 0 && (entry.revents & (POLLOUT | POLLERR | POLLHUP)) != 0;
#endif
}

}   // namespace

bool StartSocketLibrary()
{
#ifdef _WIN32
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
#else
    return true;
#endif
}

namespace {

// Winsock makes no socket before WSAStartup. The programs start it at their start-up, but
// a layer that only links the sockets (the in-process stand-in, a test, a tool of its own)
// would otherwise find every socket refused; the first socket starts it for the process.
// WSAStartup counts its callers, so this start adds to the program's own.
void EnsureSocketLibrary()
{
#ifdef _WIN32
    static const bool started = StartSocketLibrary();
    (void)started;
#endif
}

}   // namespace

void StopSocketLibrary()
{
#ifdef _WIN32
    WSACleanup();
#endif
}

uint32_t TickCountMs()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

CSocket::CSocket(Kind kind)
{
    EnsureSocketLibrary();
    NativeSocket fd =
        socket(AF_INET, kind == Kind::Tcp ? SOCK_STREAM : SOCK_DGRAM, kind == Kind::Tcp ? IPPROTO_TCP : IPPROTO_UDP);
#ifdef _WIN32
    m_fd = fd == INVALID_SOCKET ? -1 : static_cast<Handle>(fd);
#else
    m_fd = fd;
#endif
#ifdef SO_NOSIGPIPE
    if (m_fd >= 0) {
        SetIntOption(m_fd, SOL_SOCKET, SO_NOSIGPIPE, 1);
    }
#endif
}

CSocket::CSocket(CSocket&& other) noexcept : m_fd(other.m_fd)
{
    other.m_fd = -1;
}

CSocket& CSocket::operator=(CSocket&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

void CSocket::Close()
{
    if (m_fd < 0) {
        return;
    }
#ifdef _WIN32
    closesocket(Native(m_fd));
#else
    close(m_fd);
#endif
    m_fd = -1;
}

bool CSocket::SetReceiveTimeout(int ms)
{
    if (!Valid()) {
        return false;
    }
#ifdef _WIN32
    DWORD value = static_cast<DWORD>(ms);
    return setsockopt(Native(m_fd), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value), sizeof value) == 0;
#else
    timeval value{};
    value.tv_sec = ms / 1000;
    value.tv_usec = (ms % 1000) * 1000;
    return setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value) == 0;
#endif
}

bool CSocket::SetReuseAddress(bool on)
{
    return Valid() && SetIntOption(m_fd, SOL_SOCKET, SO_REUSEADDR, on ? 1 : 0);
}

bool CSocket::SetBroadcast(bool on)
{
    return Valid() && SetIntOption(m_fd, SOL_SOCKET, SO_BROADCAST, on ? 1 : 0);
}

bool CSocket::SetReceiveBufferSize(int bytes)
{
    return Valid() && SetIntOption(m_fd, SOL_SOCKET, SO_RCVBUF, bytes);
}

bool CSocket::Connect(uint32_t hostOrderAddr, uint16_t port, int timeoutMs)
{
    if (!Valid()) {
        return false;
    }
    // A blocking connect may wait minutes on some stacks; a non-blocking one bounded by
    // a poll keeps the caller's wait predictable.
    if (!SetBlocking(m_fd, false)) {
        return false;
    }
    sockaddr_in address = MakeAddress(hostOrderAddr, port);
    int result = connect(Native(m_fd), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    bool connected = result == 0;
    if (!connected) {
#ifdef _WIN32
        bool pending = WSAGetLastError() == WSAEWOULDBLOCK;
#else
        bool pending = errno == EINPROGRESS || errno == EINTR;
#endif
        if (pending && WaitConnected(m_fd, timeoutMs < 0 ? 0 : timeoutMs)) {
            int error = 0;
            SockLen length = sizeof error;
            connected = getsockopt(Native(m_fd), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 &&
                        error == 0;
        }
    }
    return SetBlocking(m_fd, true) && connected;
}

bool CSocket::Bind(uint32_t hostOrderAddr, uint16_t port)
{
    if (!Valid()) {
        return false;
    }
    sockaddr_in address = MakeAddress(hostOrderAddr, port);
    return bind(Native(m_fd), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool CSocket::Listen(int backlog)
{
    return Valid() && listen(Native(m_fd), backlog) == 0;
}

CSocket CSocket::Accept()
{
    CSocket accepted;
    if (!Valid()) {
        return accepted;
    }
    NativeSocket fd = accept(Native(m_fd), nullptr, nullptr);
#ifdef _WIN32
    if (fd != INVALID_SOCKET) {
        accepted.m_fd = static_cast<Handle>(fd);
    }
#else
    accepted.m_fd = fd;
#endif
#ifdef SO_NOSIGPIPE
    if (accepted.Valid()) {
        SetIntOption(accepted.m_fd, SOL_SOCKET, SO_NOSIGPIPE, 1);
    }
#endif
    return accepted;
}

uint16_t CSocket::LocalPort() const
{
    if (!Valid()) {
        return 0;
    }
    sockaddr_in address{};
    SockLen length = sizeof address;
    if (getsockname(Native(m_fd), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

int CSocket::Send(const void* data, int count)
{
    if (!Valid() || count < 0) {
        return -1;
    }
    int result;
    do {
        result = static_cast<int>(send(Native(m_fd), static_cast<const char*>(data), count, kSendFlags));
    } while (result < 0 && LastErrorInterrupted());
    return result;
}

int CSocket::Receive(void* data, int count)
{
    if (!Valid() || count < 0) {
        return -1;
    }
    int result;
    do {
        result = static_cast<int>(recv(Native(m_fd), static_cast<char*>(data), count, 0));
    } while (result < 0 && LastErrorInterrupted());
    return result;
}

int CSocket::SendTo(const void* data, int count, uint32_t hostOrderAddr, uint16_t port)
{
    if (!Valid() || count < 0) {
        return -1;
    }
    sockaddr_in address = MakeAddress(hostOrderAddr, port);
    int result;
    do {
        result = static_cast<int>(sendto(Native(m_fd), static_cast<const char*>(data), count, kSendFlags,
                                         reinterpret_cast<const sockaddr*>(&address), sizeof address));
    } while (result < 0 && LastErrorInterrupted());
    return result;
}

int CSocket::ReceiveFrom(void* data, int count, uint32_t* fromAddr, uint16_t* fromPort)
{
    if (!Valid() || count < 0) {
        return -1;
    }
    sockaddr_in address{};
    SockLen length = sizeof address;
    int result;
    do {
        result = static_cast<int>(
            recvfrom(Native(m_fd), static_cast<char*>(data), count, 0, reinterpret_cast<sockaddr*>(&address), &length));
    } while (result < 0 && LastErrorInterrupted());
    if (result >= 0) {
        if (fromAddr != nullptr) {
            *fromAddr = ntohl(address.sin_addr.s_addr);
        }
        if (fromPort != nullptr) {
            *fromPort = ntohs(address.sin_port);
        }
    }
    return result;
}

bool CSocket::WaitReadable(int timeoutMs) const
{
    return Valid() && PollOne(m_fd, POLLIN, timeoutMs) > 0;
}

CWakeup::Subscription CWakeup::Subscribe(std::function<void()> onSignal) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_signalled.load()) {
        onSignal();
        return 0;
    }
    Subscription id = ++m_lastSubscription;
    m_subscribers.emplace_back(id, std::move(onSignal));
    return id;
}

void CWakeup::Unsubscribe(Subscription subscription) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_subscribers.begin(); it != m_subscribers.end(); ++it) {
        if (it->first == subscription) {
            m_subscribers.erase(it);
            return;
        }
    }
}

void CWakeup::Signal()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_signalled.exchange(true)) {
        return;
    }
    for (auto& subscriber : m_subscribers) {
        subscriber.second();
    }
    m_subscribers.clear();
    m_changed.notify_all();
}

bool CWakeup::Wait(int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                              [this] { return m_signalled.load(); });
}

int CSocket::WaitAnyReadable(const CSocket* const* sockets, size_t count, bool* ready, int timeoutMs)
{
#ifdef _WIN32
    std::vector<WSAPOLLFD> entries(count);
#else
    std::vector<pollfd> entries(count);
#endif
    for (size_t i = 0; i < count; ++i) {
        entries[i] = {};
        entries[i].fd = Native(sockets[i]->m_fd);
        entries[i].events = POLLIN;
        ready[i] = false;
    }
#ifdef _WIN32
    int result = WSAPoll(entries.data(), static_cast<ULONG>(count), timeoutMs);
#else
    int result;
    do {
        result = poll(entries.data(), static_cast<nfds_t>(count), timeoutMs);
    } while (result < 0 && errno == EINTR);
#endif
    if (result > 0) {
        for (size_t i = 0; i < count; ++i) {
            ready[i] = (entries[i].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
        }
    }
    return result;
}

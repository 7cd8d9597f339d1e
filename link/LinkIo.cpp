#include "LinkIo.h"

#include <asio/post.hpp>
#include <asio/write.hpp>

#include <algorithm>
#include <cerrno>

#include "LinkProtocol.h"

int MsUntil(std::chrono::steady_clock::time_point deadline, bool roundUp)
{
    auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) {
        return 0;
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
    if (roundUp && std::chrono::milliseconds(ms) < left) {
        ++ms;
    }
    return static_cast<int>(std::min<long long>(ms, 1 << 30));
}

namespace {

// Failures of this machine, not of the encoder: no descriptor, no buffer, no local port.
bool IsLocalConnectError(const asio::error_code& error)
{
    return error == asio::error::no_descriptors || error == asio::error::no_buffer_space ||
           error == asio::error::no_memory
#ifdef EADDRNOTAVAIL
           || (error.category() == asio::system_category() && error.value() == EADDRNOTAVAIL)
#endif
        ;
}

}   // namespace

LinkIo::LinkIo(asio::io_context& io, const LinkOptions& options)
    : m_io(io), m_options(options), m_socket(io), m_timer(io)
{}

int LinkIo::ReceiveTimeoutMs() const
{
    // A time-out of 0 would mean "wait for ever": never allowed.
    return m_options.timing.receiveTimeoutMs > 0 ? m_options.timing.receiveTimeoutMs : 1;
}

void LinkIo::Connect(uint32_t address, std::function<void(ConnectResult)> then)
{
    auto self = shared_from_this();
    const uint64_t step = ++m_step;
    asio::error_code error;
    m_socket.open(asio::ip::tcp::v4(), error);
    if (error) {
        m_localError = error.message();
        m_localErrorCode = error.value();
        asio::post(m_io, [self, step, then = std::move(then)] {
            if (step == self->m_step) {
                then(ConnectResult::NoSocket);
            }
        });
        return;
    }
    m_socket.non_blocking(true, error);
    auto shared = std::make_shared<std::function<void(ConnectResult)>>(std::move(then));
    m_timer.expires_after(std::chrono::milliseconds(std::max(0, m_options.timing.connectTimeoutMs)));
    m_timer.async_wait([self, step, shared](const asio::error_code&) {
        if (step != self->m_step) {
            return;
        }
        ++self->m_step;
        self->Close();
        (*shared)(ConnectResult::Refused);
    });
    asio::ip::tcp::endpoint endpoint(asio::ip::address_v4(address), m_options.commandPort);
    m_socket.async_connect(endpoint, [self, step, shared](const asio::error_code& result) {
        if (step != self->m_step) {
            return;
        }
        ++self->m_step;
        self->m_timer.cancel();
        if (result) {
            if (IsLocalConnectError(result)) {
                self->m_localError = result.message();
                self->m_localErrorCode = result.value();
            }
            self->Close();
            (*shared)(ConnectResult::Refused);
            return;
        }
        (*shared)(ConnectResult::Connected);
    });
}

void LinkIo::Send(const void* bytes, size_t count, std::function<void(bool)> then)
{
    auto self = shared_from_this();
    const uint64_t step = ++m_step;
    // The bytes go to the connection now, as a blocking send would, so that the wait after
    // the request runs from the moment it left, not from when a busy loop came round to its
    // completion. Only what the connection cannot take at once waits for the loop.
    asio::error_code error;
    size_t sent = m_socket.write_some(asio::buffer(bytes, count), error);
    if (error == asio::error::would_block || error == asio::error::try_again) {
        error.clear();
        sent = 0;
    }
    if (error || sent == count) {
        m_sentAt = Clock::now();
        asio::post(m_io, [self, step, ok = !error, then = std::move(then)] {
            if (step == self->m_step) {
                then(ok);
            }
        });
        return;
    }
    const size_t rest = count - sent;
    asio::async_write(m_socket, asio::buffer(static_cast<const uint8_t*>(bytes) + sent, rest),
                      [self, step, rest, then = std::move(then)](const asio::error_code& error, size_t more) {
                          if (step == self->m_step) {
                              self->m_sentAt = Clock::now();
                              then(!error && more == rest);
                          }
                      });
}

void LinkIo::Wait(int ms, std::function<void()> then)
{
    ms = std::max(0, ms);
    auto self = shared_from_this();
    const uint64_t step = ++m_step;
    auto over = [self, step, then = std::move(then)] {
        if (step != self->m_step) {
            return;
        }
        self->m_deadline =
            self->m_waitEnd + std::chrono::milliseconds(std::max(0, self->m_options.timing.receiveBoundMs));
        self->m_receiveFrom = self->m_waitEnd;
        then();
    };
    // The wait, and every bound after it, counts from when the request left; a loop late to
    // come round never lengthens them.
    const Clock::time_point end = m_sentAt + std::chrono::milliseconds(ms);
    if (m_options.waitMode == WaitMode::ReplyComplete) {
        m_waitEnd = end;
        asio::post(m_io, std::move(over));
    } else if (m_options.sleep) {
        // The hook hears every fixed wait, a zero one included; it is for a link run alone
        // (the engine never gives one), so holding the loop here holds nothing else.
        m_options.sleep(ms);
        m_waitEnd = Clock::now();
        asio::post(m_io, std::move(over));
    } else {
        m_waitEnd = end;
        m_timer.expires_at(end);
        m_timer.async_wait([over = std::move(over)](const asio::error_code&) { over(); });
    }
}

void LinkIo::Receive(void* data, int count, std::function<void(int)> then)
{
    m_bytes = static_cast<uint8_t*>(data);
    m_count = count;
    m_got = 0;
    m_received = std::move(then);
    if (count <= 0) {
        auto self = shared_from_this();
        const uint64_t step = ++m_step;
        asio::post(m_io, [self, step] {
            if (step == self->m_step) {
                self->FinishReceive(0);
            }
        });
        return;
    }
    ReceiveStep();
}

void LinkIo::ReceiveStep(bool tryFirst)
{
    const bool beforeWaitEnd = Clock::now() < m_waitEnd;
    int timeoutMs;
    if (beforeWaitEnd) {
        timeoutMs = MsUntil(m_waitEnd, true);
    } else if (m_got > 0) {
        timeoutMs = 0;   // after the wait a receive takes what is there, in one go
    } else {
        // The time-out runs from the wait's end or the last bytes, as a blocking receive's
        // would, and never past the exchange's receive bound, however slowly bytes arrive.
        timeoutMs = std::min(MsUntil(m_receiveFrom + std::chrono::milliseconds(ReceiveTimeoutMs()), true),
                             MsUntil(m_deadline, false));
    }
    if (timeoutMs == 0) {
        AfterReadable(false, Look::Poll);   // what has arrived, or a time-out
        return;
    }
    if (tryFirst) {
        // After a fixed wait the reply is mostly there already: take it without a round
        // through the loop's readiness events.
        AfterReadable(beforeWaitEnd, Look::First);
        return;
    }
    AwaitReadable(timeoutMs, [this, beforeWaitEnd](Readiness readiness) {
        if (readiness == Readiness::Error) {
            FinishReceive(m_got > 0 ? m_got : -1);
        } else if (readiness == Readiness::TimedOut) {
            if (beforeWaitEnd) {
                ReceiveStep();   // the wait is over now: take what came
            } else {
                // Bytes that came in time are taken even when the loop met the time-out
                // first, as a receive that times out still returns what is there.
                AfterReadable(false, Look::Poll);
            }
        } else {
            AfterReadable(beforeWaitEnd, Look::Readiness);
        }
    });
}

void LinkIo::AfterReadable(bool beforeWaitEnd, Look look)
{
    asio::error_code error;
    size_t n = m_socket.read_some(asio::buffer(m_bytes + m_got, static_cast<size_t>(m_count - m_got)), error);
    if (error == asio::error::would_block || error == asio::error::try_again) {
        if (look == Look::Poll) {
            FinishReceive(m_got > 0 ? m_got : -1);
        } else {
            ReceiveStep(false);   // nothing there yet: wait within the same bounds
        }
        return;
    }
    if (error == asio::error::eof) {
        FinishReceive(m_got > 0 ? m_got : 0);
        return;
    }
    if (error) {
        FinishReceive(m_got > 0 ? m_got : -1);
        return;
    }
    m_got += static_cast<int>(n);
    m_receiveFrom = Clock::now();
    if (m_got == m_count || !beforeWaitEnd) {
        FinishReceive(m_got);
    } else {
        ReceiveStep(false);   // the connection gave all it had
    }
}

void LinkIo::FinishReceive(int result)
{
    std::function<void(int)> then = std::move(m_received);
    m_received = nullptr;
    // Completions always come from the loop, never from inside the call that asked.
    auto self = shared_from_this();
    const uint64_t step = ++m_step;
    asio::post(m_io, [self, step, result, then = std::move(then)] {
        if (step == self->m_step && then) {
            then(result);
        }
    });
}

void LinkIo::ReceiveInt32(std::function<void(bool, int32_t)> then)
{
    std::fill(std::begin(m_field), std::end(m_field), 0);
    Receive(m_field, 4, [this, then = std::move(then)](int count) { then(count == 4, GetInt32LE(m_field)); });
}

void LinkIo::AwaitReadable(int ms, std::function<void(Readiness)> then)
{
    auto self = shared_from_this();
    const uint64_t step = ++m_step;
    m_ready = std::move(then);
    auto finish = [self](Readiness readiness) {
        std::function<void(Readiness)> ready = std::move(self->m_ready);
        self->m_ready = nullptr;
        if (ready) {
            ready(readiness);
        }
    };
    m_timer.expires_after(std::chrono::milliseconds(ms));
    m_timer.async_wait([self, step, finish](const asio::error_code&) {
        if (step != self->m_step) {
            return;
        }
        ++self->m_step;
        asio::error_code ignored;
        self->m_socket.cancel(ignored);
        finish(Readiness::TimedOut);
    });
    m_socket.async_wait(asio::ip::tcp::socket::wait_read, [self, step, finish](const asio::error_code& error) {
        if (step != self->m_step) {
            return;
        }
        ++self->m_step;
        self->m_timer.cancel();
        finish(error ? Readiness::Error : Readiness::Ready);
    });
}

void LinkIo::Close()
{
    asio::error_code ignored;
    m_socket.close(ignored);
    m_timer.cancel();
}

void LinkIo::Cancel()
{
    m_cancelled = true;
    ++m_step;
    Close();
    m_received = nullptr;
    m_ready = nullptr;
}

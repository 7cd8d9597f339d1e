#include "CallQueue.h"

#include <chrono>
#include <utility>

void CallQueue::Post(std::function<void()> call)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back(std::move(call));
    }
    m_posted.notify_one();
}

bool CallQueue::RunOne(int timeoutMs)
{
    std::function<void()> call;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const auto ready = [this] { return !m_calls.empty(); };
        if (timeoutMs < 0) {
            m_posted.wait(lock, ready);
        } else if (!m_posted.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
            return false;
        }
        call = std::move(m_calls.front());
        m_calls.pop_front();
    }
    call();
    return true;
}

std::function<void(std::function<void()>)> CallQueue::Executor()
{
    return [this](std::function<void()> call) { Post(std::move(call)); };
}

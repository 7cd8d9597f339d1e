#pragma once
// An executor for a thread that waits for its work instead of running an event loop (the
// command line): any thread posts calls, the owner runs them in order on its own thread.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class CallQueue {
public:
    // Thread-safe.
    void Post(std::function<void()> call);
    // Runs the next call, waiting at most `timeoutMs` (< 0: for ever) for one; false when
    // none came in time.
    bool RunOne(int timeoutMs = -1);
    // The executor the operations take: posts here.
    std::function<void(std::function<void()>)> Executor();

private:
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_calls;
};

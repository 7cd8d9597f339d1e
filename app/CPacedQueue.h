#pragma once
// Work handed to the window's thread from anywhere (the engine's results), done in the
// order given but never more than a budget of it per turn of the event loop: a thousand
// results arriving together leave the window answering input and painting between slices
// instead of freezing until the last is done.

#include <QObject>
#include <deque>
#include <functional>

class CPacedQueue : public QObject {
public:
    explicit CPacedQueue(int budgetMs, QObject* parent = nullptr);

    // May be called from any thread; `work` runs on this object's thread. Work still
    // queued when the queue goes is dropped, as a queued call to a deleted object is.
    void Post(std::function<void()> work);
    size_t Queued() const { return m_work.size(); }

private:
    void Drain();

    std::deque<std::function<void()>> m_work;   // this object's thread only
    bool m_scheduled = false;
    int m_budgetMs;
};

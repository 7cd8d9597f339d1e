#include "CPacedQueue.h"

#include <QElapsedTimer>
#include <QTimer>

CPacedQueue::CPacedQueue(int budgetMs, QObject* parent) : QObject(parent), m_budgetMs(budgetMs)
{}

void CPacedQueue::Post(std::function<void()> work)
{
    QMetaObject::invokeMethod(
        this,
        [this, work = std::move(work)]() mutable {
            m_work.push_back(std::move(work));
            if (m_scheduled) return;
            m_scheduled = true;
            QTimer::singleShot(0, this, &CPacedQueue::Drain);
        },
        Qt::QueuedConnection);
}

void CPacedQueue::Drain()
{
    m_scheduled = false;
    QElapsedTimer spent;
    spent.start();
    // At least one piece per turn, however long it takes, so that the queue always moves.
    while (!m_work.empty()) {
        std::function<void()> work = std::move(m_work.front());
        m_work.pop_front();
        work();
        if (spent.elapsed() >= m_budgetMs) break;
    }
    if (!m_work.empty() && !m_scheduled) {
        m_scheduled = true;
        QTimer::singleShot(0, this, &CPacedQueue::Drain);
    }
}

#include "base/ThreadGroup.h"

#include <system_error>

ThreadGroup::ThreadGroup(unsigned helpers)
{
    for (unsigned i = 0; i < helpers; ++i) {
        try {
            m_threads.emplace_back(&ThreadGroup::Helper, this);
        } catch (const std::system_error&) {
            break;   // fewer helpers: the caller does more of the work
        }
    }
}

ThreadGroup::~ThreadGroup()
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void ThreadGroup::Drain()
{
    for (unsigned i = m_next++; i < m_parts; i = m_next++)
        (*m_work)(i);
}

void ThreadGroup::Run(unsigned parts, const std::function<void(unsigned)>& work)
{
    if (m_threads.empty() || parts <= 1) {
        for (unsigned i = 0; i < parts; ++i)
            work(i);
        return;
    }
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_work = &work;
        m_parts = parts;
        m_next = 0;
        m_busy = static_cast<unsigned>(m_threads.size());
        ++m_generation;
    }
    m_wake.notify_all();
    Drain();
    std::unique_lock<std::mutex> hold(m_lock);
    m_done.wait(hold, [this] { return m_busy == 0; });
    m_work = nullptr;
}

void ThreadGroup::Helper()
{
    uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_wake.wait(hold, [&] { return m_stop || m_generation != seen; });
            if (m_stop)
                return;
            seen = m_generation;
        }
        Drain();
        std::lock_guard<std::mutex> hold(m_lock);
        if (--m_busy == 0)
            m_done.notify_one();
    }
}

// ThreadGroup: a few threads kept for work that is split into parts again and again (the stripes
// of each scan chunk, the pieces of each read). Starting a thread costs far more than a part of
// such work under some systems (Wine clears a megabyte of stack for each), so the threads wait
// between runs instead of ending.
//
//     ThreadGroup group(3);                        // three helpers; the caller is the fourth
//     group.Run(parts, [&](unsigned i) { ... });   // returns when every part has run
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class ThreadGroup {
public:
    // helpers: threads besides the caller's (none when they cannot be started).
    explicit ThreadGroup(unsigned helpers);
    ~ThreadGroup();
    ThreadGroup(const ThreadGroup&) = delete;
    ThreadGroup& operator=(const ThreadGroup&) = delete;

    unsigned Helpers() const { return static_cast<unsigned>(m_threads.size()); }
    // Runs work(0) .. work(parts - 1), each once, on the helpers and the calling thread; returns
    // when all have finished. Runs are not nested and come from one thread at a time.
    void Run(unsigned parts, const std::function<void(unsigned)>& work);

private:
    void Helper();
    void Drain();

    std::vector<std::thread> m_threads;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    uint64_t m_generation = 0;
    unsigned m_busy = 0;
    bool m_stop = false;
    const std::function<void(unsigned)>* m_work = nullptr;
    unsigned m_parts = 0;
    std::atomic<unsigned> m_next{0};
};

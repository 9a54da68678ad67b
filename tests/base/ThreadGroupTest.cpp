#include "base/ThreadGroup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

TEST(ThreadGroupTest, EveryPartRunsOnceInEveryRun)
{
    for (unsigned helpers : {0u, 1u, 3u}) {
        ThreadGroup group(helpers);
        EXPECT_EQ(helpers, group.Helpers());
        // Many runs in a row: a helper that missed or repeated a run would show in the counts.
        for (unsigned parts : {0u, 1u, 2u, 4u, 9u, 64u}) {
            for (int run = 0; run < 50; ++run) {
                std::vector<std::atomic<int>> counts(parts);
                group.Run(parts, [&](unsigned i) { ++counts[i]; });
                for (unsigned i = 0; i < parts; ++i)
                    ASSERT_EQ(1, counts[i].load()) << helpers << " helpers, part " << i << " of " << parts;
            }
        }
    }
}

TEST(ThreadGroupTest, PartsRunOnSeveralThreadsAtOnce)
{
    ThreadGroup group(3);
    // Four parts that each wait until all four have started: they can only end when they run side by side.
    std::atomic<int> started{0};
    std::mutex lock;
    std::set<std::thread::id> threads;
    group.Run(4, [&](unsigned) {
        {
            std::lock_guard<std::mutex> hold(lock);
            threads.insert(std::this_thread::get_id());
        }
        ++started;
        while (started.load() < 4)
            std::this_thread::yield();
    });
    EXPECT_EQ(4u, threads.size());
}

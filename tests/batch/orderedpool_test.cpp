// The ordered pool: work done by several threads comes back in the order it was handed in.
#include "batch/orderedpool.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <thread>

using namespace std::chrono_literals;

namespace {

struct Job {
    int number = 0;
    int result = 0;
    unsigned worker = 0;
};

} // namespace

TEST(OrderedPool, ItemsComeBackInTheirOrderWhateverOrderTheWorkEnds)
{
    // Early items take longest, so the workers finish them last; markers
    // (items without work) keep their places among them.
    TOrderedPool<Job> pool(4, 16, [](Job& job, unsigned worker) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2 * (16 - job.number % 16)));
        job.result = job.number * job.number;
        job.worker = worker;
    });
    std::vector<Job> taken;
    const auto take = [&] {
        if (Job* job = pool.Front(50ms)) {
            taken.push_back(*job);
            pool.Pop();
        }
    };
    for (int i = 0; i < 48; ++i) {
        while (pool.Full())
            take();
        pool.Push({.number = i, .result = -1}, i % 5 != 0);
    }
    while (!pool.Empty())
        take();

    ASSERT_EQ(taken.size(), 48u);
    std::set<unsigned> workers;
    for (int i = 0; i < 48; ++i) {
        EXPECT_EQ(taken[i].number, i);
        EXPECT_EQ(taken[i].result, i % 5 != 0 ? i * i : -1) << i;
        if (i % 5 != 0)
            workers.insert(taken[i].worker);
    }
    EXPECT_GT(workers.size(), 1u); // the work was shared
    EXPECT_LE(*workers.rbegin(), 3u);
}

TEST(OrderedPool, TheOwnerWaitsNoLongerThanItAsks)
{
    TOrderedPool<Job> pool(2, 4, [](Job& job, unsigned) {
        std::this_thread::sleep_for(400ms);
        job.result = 1;
    });
    EXPECT_EQ(pool.Front(0ms), nullptr); // nothing there yet
    pool.Push({.number = 1}, true);
    int timeouts = 0;
    const auto started = std::chrono::steady_clock::now();
    while (!pool.Front(50ms))
        ++timeouts;
    EXPECT_GE(std::chrono::steady_clock::now() - started, 350ms);
    // An event loop waiting this way turns several times while the item is read.
    EXPECT_GE(timeouts, 3);
    EXPECT_EQ(pool.Front(0ms)->result, 1);
}

TEST(OrderedPool, AWorkersFailureReachesTheOwnerAtOnce)
{
    TOrderedPool<Job> pool(2, 8, [](Job& job, unsigned) {
        if (job.number == 2)
            throw std::runtime_error("item 2 failed");
        std::this_thread::sleep_for(job.number == 0 ? 900ms : 0ms);
    });
    for (int i = 0; i < 3; ++i)
        pool.Push({.number = i}, true);
    // Item 0 is still being worked on; the failure of item 2 is told all the same.
    const auto started = std::chrono::steady_clock::now();
    try {
        while (!pool.Front(50ms)) {
        }
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "item 2 failed");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 600ms);
}

TEST(OrderedPool, ClosingDropsWhatNoWorkerStarted)
{
    std::atomic<int> started{0};
    {
        TOrderedPool<Job> pool(1, 100, [&](Job&, unsigned) {
            ++started;
            std::this_thread::sleep_for(50ms);
        });
        for (int i = 0; i < 100; ++i)
            pool.Push({.number = i}, true);
        std::this_thread::sleep_for(20ms);
    } // waits for the item being worked on, not for the 99 queued
    EXPECT_LE(started.load(), 2);
}

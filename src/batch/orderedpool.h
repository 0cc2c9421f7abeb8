#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

/// Items worked on by a few threads and taken back in the order they were
/// handed in, whatever order the work finishes in.
///
/// One thread, the owner, pushes items at the back and takes them from the
/// front; worker threads fill them in between. At most `window` items are held
/// at once, so memory stays flat however much work there is. The owner never
/// blocks for longer than it asks (Front takes a timeout), so it can keep an
/// event loop turning while it waits.
template <class T> class TOrderedPool {
public:
    /// Runs on worker number `worker` (0-based) for each item pushed with work.
    /// An exception it throws is kept, and Front rethrows it on the owner's thread.
    using TWork = std::function<void(T& item, unsigned worker)>;

    /// Starts the workers. Throws std::system_error when a thread cannot be
    /// started; the ones already started are stopped first.
    TOrderedPool(unsigned workers, std::size_t window, TWork work) : m_window(window), m_work(std::move(work))
    {
        try {
            for (unsigned i = 0; i < workers; ++i)
                m_threads.emplace_back([this, i] { workerLoop(i); });
        } catch (...) {
            close();
            throw;
        }
    }

    /// Drops the items no worker has started, and waits for those being worked on.
    ~TOrderedPool() { close(); }

    TOrderedPool(const TOrderedPool&) = delete;
    TOrderedPool& operator=(const TOrderedPool&) = delete;

    bool Empty() const
    {
        const std::lock_guard lock(m_mutex);
        return m_slots.empty();
    }

    /// True when the window holds as many items as it may: take one first.
    bool Full() const
    {
        const std::lock_guard lock(m_mutex);
        return m_slots.size() >= m_window;
    }

    /// Adds an item at the back; without work it is ready at once (a marker
    /// that keeps its place among the others).
    void Push(T item, bool needsWork)
    {
        {
            const std::lock_guard lock(m_mutex);
            Slot& slot = m_slots.emplace_back(std::move(item), !needsWork);
            if (needsWork)
                m_queue.push_back(&slot);
            advanceReady();
        }
        if (needsWork)
            m_workReady.notify_one();
    }

    /// Waits at most timeout until the `count` oldest items (all, when fewer
    /// are held) are done, and returns how many of the oldest are done.
    /// Waiting for several at once wakes the owner once for all of them.
    /// Rethrows the first exception a worker met, at once, whichever item it
    /// came from.
    std::size_t WaitReady(std::size_t count, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        const std::size_t wanted = std::min(count, m_slots.size()); // only the owner adds or removes
        if (timeout.count() > 0 && !m_error && m_ready < wanted) {
            m_wanted = wanted;
            m_frontReady.wait_for(lock, timeout, [&] { return m_error || m_ready >= wanted; });
            m_wanted = kNobodyWaits;
        }
        if (m_error)
            std::rethrow_exception(m_error);
        return m_ready;
    }

    /// The oldest item once its work is done, or nullptr when it is not done
    /// within timeout (or there is none). Rethrows as WaitReady does.
    T* Front(std::chrono::milliseconds timeout)
    {
        const bool ready = WaitReady(1, timeout) > 0;
        const std::lock_guard lock(m_mutex);
        return ready ? &m_slots.front().item : nullptr;
    }

    /// Removes the oldest item, which Front returned, and gives it back.
    T Pop()
    {
        const std::lock_guard lock(m_mutex);
        T item = std::move(m_slots.front().item);
        m_slots.pop_front();
        --m_ready;
        return item;
    }

private:
    struct Slot {
        Slot(T i, bool d) : item(std::move(i)), done(d) {}
        T item;
        bool done;
    };

    static constexpr std::size_t kNobodyWaits = static_cast<std::size_t>(-1);

    /// Counts the done items at the front; the mutex is held.
    void advanceReady()
    {
        while (m_ready < m_slots.size() && m_slots[m_ready].done)
            ++m_ready;
    }

    void workerLoop(unsigned index)
    {
        for (;;) {
            Slot* slot = nullptr;
            {
                std::unique_lock lock(m_mutex);
                m_workReady.wait(lock, [this] { return m_closing || !m_queue.empty(); });
                if (m_closing)
                    return;
                slot = m_queue.front();
                m_queue.pop_front();
            }
            std::exception_ptr error;
            try {
                m_work(slot->item, index);
            } catch (...) {
                error = std::current_exception();
            }
            bool wake = false;
            {
                const std::lock_guard lock(m_mutex);
                slot->done = true;
                if (error && !m_error)
                    m_error = error;
                advanceReady();
                // A wake costs the owner a trip through the scheduler: only
                // when what it waits for is there.
                wake = error || m_ready >= m_wanted;
            }
            if (wake)
                m_frontReady.notify_one();
        }
    }

    void close()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_closing = true;
            m_queue.clear();
        }
        m_workReady.notify_all();
        for (std::thread& t : m_threads)
            if (t.joinable())
                t.join();
        m_threads.clear();
    }

    const std::size_t m_window;
    const TWork m_work;
    mutable std::mutex m_mutex;
    std::condition_variable m_workReady;
    std::condition_variable m_frontReady;
    std::deque<Slot> m_slots;  ///< owner's order; elements never move, workers hold pointers
    std::deque<Slot*> m_queue; ///< slots no worker has taken yet
    std::exception_ptr m_error;
    std::size_t m_ready = 0;             ///< done items at the front
    std::size_t m_wanted = kNobodyWaits; ///< what the owner waits for
    bool m_closing = false;
    std::vector<std::thread> m_threads;
};

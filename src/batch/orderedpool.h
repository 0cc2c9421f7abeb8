#pragma once

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
        }
        if (needsWork)
            m_workReady.notify_one();
    }

    /// The oldest item once its work is done, or nullptr when it is not done
    /// within timeout (or there is none). Rethrows the first exception a worker
    /// met, at once, whichever item it came from.
    T* Front(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        if (timeout.count() > 0)
            m_frontReady.wait_for(lock, timeout, [this] { return m_error || frontDone(); });
        if (m_error)
            std::rethrow_exception(m_error);
        return frontDone() ? &m_slots.front().item : nullptr;
    }

    /// Removes the oldest item, which Front returned.
    void Pop()
    {
        const std::lock_guard lock(m_mutex);
        m_slots.pop_front();
    }

private:
    struct Slot {
        Slot(T i, bool d) : item(std::move(i)), done(d) {}
        T item;
        bool done;
    };

    bool frontDone() const { return !m_slots.empty() && m_slots.front().done; }

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
                // The owner waits only for the front: a wake for any other
                // item would cost it a trip through the scheduler for nothing.
                wake = error || slot == &m_slots.front();
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
    bool m_closing = false;
    std::vector<std::thread> m_threads;
};

#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

struct TBatchOptions;

/// Counts, on a thread of its own, the files a batch run's walk will meet
/// (every *.tif the walk lists, as ListDirectory lists them), so that the run
/// can show how far it has come long before its own walk has ended: the run
/// reads while it walks, and its walk stays only a little ahead of its reading.
/// Folders that cannot be listed count nothing; the run tells them.
class TTreeCount {
public:
    /// Starts counting the walk of options. A run over a list of paths has no
    /// walk: its count stays unknown, as does the count of a starting
    /// directory that cannot be listed.
    explicit TTreeCount(const TBatchOptions& options);
    /// Stops the count and waits for its thread, which ends within the listing
    /// of one folder.
    ~TTreeCount();
    TTreeCount(const TTreeCount&) = delete;
    TTreeCount& operator=(const TTreeCount&) = delete;

    /// The number of files once the count has ended, else -1.
    std::int64_t Total() const { return m_total.load(std::memory_order_acquire); }

private:
    std::int64_t countBelow(const std::string& directory);

    std::atomic<bool> m_cancelled{false};
    std::atomic<std::int64_t> m_total{-1};
    std::thread m_thread;
};

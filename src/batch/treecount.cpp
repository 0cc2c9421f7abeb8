#include "batch/treecount.h"

#include "batch/batchrun.h"
#include "batch/dirlisting.h"

TTreeCount::TTreeCount(const TBatchOptions& options)
{
    if (options.ListedFiles)
        return;
    if (!options.IncludeRoot && !options.IncludeSubDirectories) {
        m_total = 0; // the run reads nothing
        return;
    }
    m_thread = std::thread(
        [this, start = options.StartDir, root = options.IncludeRoot, below = options.IncludeSubDirectories] {
            std::int64_t files = 0;
            try {
                const TDirectoryListing listing = ListDirectory(start);
                if (root)
                    files += static_cast<std::int64_t>(listing.TiffFiles.size());
                for (const std::string& name : listing.Subdirectories) {
                    if (!below || m_cancelled.load(std::memory_order_relaxed))
                        break;
                    files += countBelow(JoinPath(start, name));
                }
            } catch (const EDirectoryError&) {
                return; // the run itself fails on a starting directory it cannot list
            }
            if (!m_cancelled.load(std::memory_order_relaxed))
                m_total.store(files, std::memory_order_release);
        });
}

TTreeCount::~TTreeCount()
{
    m_cancelled = true;
    if (m_thread.joinable())
        m_thread.join();
}

std::int64_t TTreeCount::countBelow(const std::string& directory)
{
    TDirectoryListing listing;
    try {
        listing = ListDirectory(directory);
    } catch (const EDirectoryError&) {
        return 0;
    }
    auto files = static_cast<std::int64_t>(listing.TiffFiles.size());
    for (const std::string& name : listing.Subdirectories) {
        if (m_cancelled.load(std::memory_order_relaxed))
            break;
        files += countBelow(JoinPath(directory, name));
    }
    return files;
}

#pragma once

#include "batch/tagitem.h"

#include <atomic>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TFileBytes;
struct TListedFile;
class TTagSearchList;
class TTiffFile;
struct TReaderMessage;
template <class T> class TOrderedPool;
struct TBatchItem;

// The batch run: from a starting directory (and every directory below it), or
// from a list of paths, it reads each TIFF file with a TTiffFile of its own
// and writes one line of quoted, separated values per page.
//
// The run is one long call on the caller's thread, and every host call comes
// from that thread. The window keeps itself responsive by running its event
// loop inside TBatchHost::ProcessMessages(), which the run calls at the start
// of each directory level, before and after each subdirectory and after each
// file, and at least every 50 ms while it waits for workers; Stop heard there
// only sets StopRequested, which the run looks at before each file and at
// each level.
//
// With more than one job, worker threads read the files ahead of the caller:
// each takes a file's values for every entry of the list (checked or not),
// and the caller builds the lines from them in the walk's order, with the
// separator and the check marks as they stand when the line is built. So the
// lines, and every message about a file, come out exactly as one job writes
// them. At most a few files per worker are held at once.

namespace batchtext {
inline constexpr std::string_view NoStartingDirectory = "Starting directory does not exist";
inline constexpr std::string_view NoTagEntries = "At least one tag has to be selected";
inline constexpr std::string_view StatusIdle = "Retrieve tiff information to scv format";
inline constexpr std::string_view StatusReading = "reading... ";
inline constexpr std::string_view StatusFinished = "Finished...";
/// The status line of a run that Stop ended, after `files` files read as TIFF.
std::string StatusStopped(std::int64_t files);
} // namespace batchtext

// The lines of a run's log: the window's log pane and `velquin --batch
// --verbose` tell each file that could not be read or was damaged with these,
// so both say the same.

/// "PATH: SENTENCE (TEXT)", or "PATH: SENTENCE" for a message without a Text.
std::string readerMessageLine(const std::string& path, const TReaderMessage& message);
/// "not read PATH: REASON"
std::string notReadLine(const std::string& path, const std::string& reason);
/// "not TIFF PATH: REASON"
std::string notTiffLine(const std::string& path, const std::string& reason);

/// A file as the file system knows it, whatever path leads to it.
struct TFileIdentity {
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    bool operator==(const TFileIdentity&) const = default;
};

/// The identity of the file at path (links followed); false when there is none.
bool fileIdentityOf(const std::string& path, TFileIdentity& identity);

/// Gives the next path of a list into path; false at its end. May throw
/// EVelquinError, which ends the run as a starting directory that cannot be
/// listed does.
using TPathSource = std::function<bool(std::string& path)>;

/// The Batch tab's export options; the check boxes cannot change during a run.
struct TBatchOptions {
    std::string StartDir;       ///< used exactly as typed
    bool AddDescription = true; ///< header line
    bool IncludeRoot = true;    ///< files directly in StartDir
    bool IncludeSubDirectories = true;
    bool TrimValue = true; ///< codes 0 to 32 off both ends of every value
    bool AllPages = true;  ///< a line per page with a Page column; else page 1 only
    /// Files the run never reads, such as its own output lying in the tree.
    std::vector<TFileIdentity> Exclude;
    /// Files read at once: 1 reads each in turn on the caller's thread; more
    /// read ahead on as many worker threads, with the same output.
    int Jobs = 1;
    /// When set, the files to read, in the list's order, instead of the walk:
    /// any path, taken as given (relative to the working directory), its last
    /// component as the file name. StartDir and the two Include options are
    /// then not used. Called on the run's thread.
    TPathSource ListedFiles;
};

/// The processors this process may run on (its affinity, as a cluster's
/// scheduler sets it), at least 1: the default number of jobs.
int DefaultJobs();

/// What a run made of the files it met. Every *.tif file of the visited
/// folders, but for the excluded ones, ends in exactly one of Files, NotTiff
/// and NotRead; Damaged is a part of Files.
struct TBatchCounts {
    std::int64_t Files = 0;   ///< read as TIFF, the file counter
    std::int64_t Pages = 0;   ///< the page counter (the file counter without all pages)
    std::int64_t NotTiff = 0; ///< the header is not TIFF, or too short for one
    /// Files and folders that could not be read: permission denied, vanished,
    /// path too long, not a regular file any more.
    std::int64_t NotRead = 0;
    std::int64_t Damaged = 0; ///< read, but the reader reported damage; their pages are written
};

/// What a run asks of the window or the command line; all calls come from the run's thread.
class TBatchHost {
public:
    virtual ~TBatchHost() = default;

    /// The separator as it stands now (any text, also empty).
    virtual std::string Separator() = 0;
    virtual void ClearResults() = 0;
    /// One header or data line: a whole record without its line end (see results.h).
    virtual void AppendResultLine(const std::string& line) = 0;
    virtual void ShowCounters(std::int64_t files, std::int64_t pages) = 0;
    /// The batch status line.
    virtual void ShowStatus(const std::string& text) = 0;
    /// The full path of the file just read.
    virtual void ShowFile(const std::string& path) = 0;
    /// A refusal to run, shown modally with one OK button.
    virtual void ShowRefusal(const std::string& text) = 0;
    /// The reader's report of a damaged directory inside path; the pages read so far are written.
    /// Messages without a Text are for the structure views only.
    virtual void ShowReaderMessage(const std::string& path, const TReaderMessage& message) = 0;
    /// Where the window's event loop runs.
    virtual void ProcessMessages() {}
    /// A *.tif file whose header is not TIFF; it gives no line and is not counted as a file.
    virtual void NotTiff(const std::string& /*path*/, const std::string& /*reason*/) {}
    /// A file or folder that could not be read, with the system's reason
    /// ("Permission denied", "No such file or directory"). A folder's tree is left out.
    virtual void NotRead(const std::string& /*path*/, const std::string& /*reason*/) {}
    /// How far the run has come: files done (written, or told as not TIFF or
    /// not read) of the files found so far; walkComplete once the walk or
    /// the list has ended and found is final. After each file, and while the
    /// run waits for workers.
    virtual void ShowProgress(std::int64_t /*done*/, std::int64_t /*found*/, bool /*walkComplete*/) {}
};

enum class TBatchOutcome { Finished, Stopped, Refused };

class TBatchRun {
public:
    /// list and host must outlive the run; the list may change between lines.
    TBatchRun(const TTagSearchList& list, TBatchHost& host);
    ~TBatchRun();
    TBatchRun(const TBatchRun&) = delete;
    TBatchRun& operator=(const TBatchRun&) = delete;

    /// Runs the batch to its end. Refusals go to the host and return Refused.
    /// Throws EVelquinError when the starting directory cannot be listed or
    /// the list of files cannot be read; the lines of the files before have
    /// been written and the end-of-run steps have run by then. A file that
    /// cannot be read is told to the host and counted, and the run goes on.
    TBatchOutcome Run(const TBatchOptions& options);

    /// Stop: the file being read is finished, no further file is read or
    /// written (files that workers read ahead are dropped unseen).
    void RequestStop() { StopRequested = true; }
    bool StopRequested = false;

    std::int64_t FileCount() const { return m_counts.Files; }
    std::int64_t PageCount() const { return m_counts.Pages; }
    /// The counts so far; a run starts them at 0.
    const TBatchCounts& Counts() const { return m_counts; }

private:
    using TBatchChunk = std::vector<TBatchItem>;
    using TPool = TOrderedPool<TBatchChunk>;

    void finishRun();
    void WriteHeaderLine();
    void ProcessDirectory(const std::string& directory, const std::vector<TListedFile>& files);
    void WalkSubdirectories(const std::string& directory, const std::vector<std::string>& subdirectories);
    void processList();
    bool isExcluded(const std::string& path, std::uint64_t inode) const;

    // The caller's side: items are posted in the walk's order and delivered in it.
    void post(TBatchItem&& item);
    void flushChunk();
    void deliverReady(std::size_t count, std::chrono::milliseconds wait);
    void drain();
    void deliver(TBatchItem& item);
    void deliverFile(TBatchItem& item);
    void notRead(const std::string& path, const std::string& reason);
    void appendDataLine(const TBatchItem& item, int pageIndex);
    void AppendResultLine(const std::string& line);

    // The reading side, on a worker or, with one job, on the caller: it uses
    // only the item, its own file reader and what stays fixed during a run.
    void readItem(TBatchItem& item, unsigned worker) const;
    void openBatchFile(TBatchItem& item, TTiffFile& BatchFile, TFileBytes& bytes) const;
    void takeValues(TBatchItem& item, const TTiffFile& BatchFile, const TFileBytes& bytes) const;
    void addCell(TBatchItem& item, const TTagItem& tagItem, std::string_view text) const;

    const TTagSearchList& m_list;
    TBatchHost& m_host;
    TBatchOptions m_options;
    /// Per entry of the list, the tag number it matches, or -1; the entries
    /// themselves cannot change during a run, only their check marks.
    std::vector<TTagItem> m_entryItems;        ///< what each entry of the list finds
    std::bitset<0x10000> m_wanted;             ///< tag numbers some entry finds in a page's own directory
    std::vector<TTagItem> m_kindItems;         ///< the items below the pages, once each
    mutable std::vector<TFileBytes> m_readers; ///< one per worker
    std::unique_ptr<TPool> m_pool;             ///< with more than one job
    TBatchChunk m_chunk;                       ///< items posted, not yet handed to the workers
    std::size_t m_chunkItems = 0;              ///< the first ones of m_chunk (a spare one may hold more)
    std::size_t m_chunkFiles = 0;
    std::vector<TBatchChunk> m_spare; ///< chunks delivered, kept for their room
    std::size_t m_chunkSize = 1;
    std::size_t m_window = 0;             ///< chunks read ahead at most
    std::atomic<bool> m_cancelled{false}; ///< tells workers the run has ended
    std::string m_line;
    TBatchCounts m_counts;
    std::int64_t m_done = 0;
    std::int64_t m_found = 0;
    bool m_walkComplete = false;
};

#include "batch/batchrun.h"

#include "batch/dirlisting.h"
#include "batch/filebytes.h"
#include "batch/orderedpool.h"
#include "batch/results.h"
#include "batch/searchlist.h"
#include "tiff/errors.h"
#include "tiff/tiff.h"
#include "tiff/valuesource.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>
#include <sched.h>
#include <sys/stat.h>
#include <thread>

namespace {

/// Files up to this size are read whole in one or two calls; a larger one
/// (an image with its strips) is left to the reader, which reads only the
/// parts the directories point at.
constexpr std::uint64_t kWholeFileLimit = 1024 * 1024;

/// Workers take files in chunks: every hand-over between threads may cost a
/// trip through the scheduler, which on a busy machine takes longer than
/// reading a small file. Chunks start with one file, so the first lines come
/// at once, and double up to this size.
constexpr std::size_t kMaxChunk = 32;

/// Chunks in flight per worker: enough to keep every worker busy while the
/// caller writes, few enough that memory does not grow with the tree.
constexpr std::size_t kWindowPerJob = 4;

/// The longest the caller waits for a worker before it lets the event loop run.
constexpr std::chrono::milliseconds kMaxWait{50};

/// The system's reason inside the reader's "Cannot open file "P". REASON".
std::string openFailureReason(const std::string& message, const std::string& path)
{
    const std::string prefix = "Cannot open file \"" + path + "\". ";
    return message.starts_with(prefix) ? message.substr(prefix.size()) : message;
}

constexpr std::string_view kNotRegular = "Not a regular file";

/// Why no regular file could be opened at path, asked after the fact so that
/// a file read without trouble costs no extra call.
std::string missingFileReason(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return SystemErrorText(errno);
    if (!S_ISREG(st.st_mode))
        return std::string(kNotRegular);
    return SystemErrorText(ENOENT); // gone while it was read, and back since
}

/// A listed path's last component: what a folder would list it as.
std::string lastComponent(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string batchtext::StatusStopped(std::int64_t files)
{
    return "Stopped after " + std::to_string(files) + (files == 1 ? " file" : " files");
}

std::string readerMessageLine(const std::string& path, const TReaderMessage& message)
{
    // A message has its sentence; the classic text alone is kept for one that has not.
    std::string line = path + ": " + (message.Sentence.empty() ? message.Text : message.Sentence);
    if (!message.Text.empty() && !message.Sentence.empty())
        line += " (" + message.Text + ")";
    return line;
}

std::string notReadLine(const std::string& path, const std::string& reason)
{
    return "not read " + path + ": " + reason;
}

std::string notTiffLine(const std::string& path, const std::string& reason)
{
    return "not TIFF " + path + ": " + reason;
}

/// One step of a run in the walk's order: a file to read, or a message that
/// keeps its place among the files' lines. A worker fills in a file's
/// outcome; the caller turns it into host calls.
struct TBatchItem {
    enum class TKind { File, Status, FolderNotRead };
    enum class TOutcome { Read, NotTiff, NotRead, Excluded };
    /// A page's values: Cells[PageCells[p] .. PageCells[p + 1]).
    struct TCell {
        TTagItem Item;
        std::size_t Begin; ///< the quoted field in Fields
        std::size_t Size;
    };

    TKind Kind = TKind::File;
    bool Listed = false; ///< from a list of paths: it may name anything
    std::string Path;    ///< a status item's text
    std::string Name;
    TOutcome Outcome = TOutcome::NotRead;
    std::string Reason; ///< why it is not TIFF or was not read
    std::vector<TReaderMessage> ReaderMessages;
    int PageCount = 0;
    std::string Fields; ///< every value cell, quoted, back to back
    std::vector<TCell> Cells;
    std::vector<std::size_t> PageCells;

    static TBatchItem file(std::string path, std::string name, bool listed)
    {
        TBatchItem item;
        item.Path = std::move(path);
        item.Name = std::move(name);
        item.Listed = listed;
        return item;
    }
    /// Takes what item says of its file, keeping the room of the strings
    /// the reading fills.
    void reuse(TBatchItem&& item)
    {
        Kind = item.Kind;
        Listed = item.Listed;
        Path = std::move(item.Path);
        Name = std::move(item.Name);
        Outcome = item.Outcome;
        Reason = std::move(item.Reason);
        ReaderMessages.clear();
        PageCount = 0;
        Fields.clear();
        Cells.clear();
        PageCells.clear();
        // A huge file's values are not kept for the next.
        if (Fields.capacity() > kKeptRoom)
            std::string().swap(Fields);
        if (Cells.capacity() * sizeof(TCell) > kKeptRoom)
            std::vector<TCell>().swap(Cells);
        if (PageCells.capacity() * sizeof(std::size_t) > kKeptRoom)
            std::vector<std::size_t>().swap(PageCells);
    }
    static constexpr std::size_t kKeptRoom = 16 * 1024;

    static TBatchItem message(TKind kind, std::string path, std::string reason = {})
    {
        TBatchItem item;
        item.Kind = kind;
        item.Path = std::move(path);
        item.Reason = std::move(reason);
        return item;
    }
};

int DefaultJobs()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

bool fileIdentityOf(const std::string& path, TFileIdentity& identity)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return true;
}

TBatchRun::TBatchRun(const TTagSearchList& list, TBatchHost& host) : m_list(list), m_host(host) {}

TBatchRun::~TBatchRun() = default;

TBatchOutcome TBatchRun::Run(const TBatchOptions& options)
{
    StopRequested = false;
    m_options = options;
    m_host.ClearResults();
    m_counts = {};
    m_done = m_found = 0;
    m_walkComplete = false;
    m_host.ShowCounters(0, 0);

    std::string_view refusal;
    if (!m_options.ListedFiles && !IsExistingDirectory(m_options.StartDir))
        refusal = batchtext::NoStartingDirectory;
    else if (m_list.IsEmpty())
        refusal = batchtext::NoTagEntries;
    if (!refusal.empty()) {
        m_host.ShowRefusal(std::string(refusal));
        finishRun();
        return TBatchOutcome::Refused;
    }

    m_entryItems.clear();
    m_kindItems.clear();
    m_wanted.reset();
    for (const TTagSearchEntry& entry : m_list.Entries()) {
        const TTagItem item = TagItemOf(entry.Text);
        m_entryItems.push_back(item);
        if (item.Number < 0)
            continue;
        if (!item.Kind)
            m_wanted.set(static_cast<std::size_t>(item.Number));
        else if (std::find(m_kindItems.begin(), m_kindItems.end(), item) == m_kindItems.end())
            m_kindItems.push_back(item);
    }

    try {
        const unsigned jobs = static_cast<unsigned>(std::clamp(m_options.Jobs, 1, 1024));
        m_readers.resize(jobs);
        m_chunk.clear();
        m_chunkItems = 0;
        m_chunkFiles = 0;
        m_chunkSize = 1;
        m_cancelled = false;
        m_window = kWindowPerJob * jobs;
        if (jobs > 1)
            m_pool = std::make_unique<TPool>(jobs, m_window, [this](TBatchChunk& chunk, unsigned worker) {
                for (TBatchItem& item : chunk) {
                    if (m_cancelled.load(std::memory_order_relaxed))
                        return; // the run is over: its end waits for no more than the file being read
                    if (item.Kind == TBatchItem::TKind::File)
                        readItem(item, worker);
                }
            });
        if (m_options.AddDescription)
            WriteHeaderLine();
        if (m_options.ListedFiles) {
            processList();
        } else if (m_options.IncludeRoot || m_options.IncludeSubDirectories) {
            // The starting directory is listed once for both steps; a failure
            // here ends the run and reaches the caller.
            const TDirectoryListing root = ListDirectory(m_options.StartDir);
            if (m_options.IncludeRoot)
                ProcessDirectory(m_options.StartDir, root.TiffFiles);
            if (m_options.IncludeSubDirectories)
                WalkSubdirectories(m_options.StartDir, root.Subdirectories);
        }
        m_walkComplete = !StopRequested;
        drain();
    } catch (...) {
        finishRun();
        throw;
    }
    finishRun();
    return StopRequested ? TBatchOutcome::Stopped : TBatchOutcome::Finished;
}

void TBatchRun::finishRun()
{
    // Workers still reading finish their file; what they read is dropped.
    m_cancelled = true;
    m_pool.reset();
    m_chunk.clear();
    m_spare.clear();
    m_readers.clear();
    m_host.ShowStatus(StopRequested ? batchtext::StatusStopped(m_counts.Files)
                                    : std::string(batchtext::StatusFinished));
}

void TBatchRun::WriteHeaderLine()
{
    const std::string separator = m_host.Separator();
    m_line.clear();
    AppendQuoted(m_line, "Path");
    m_line += separator;
    AppendQuoted(m_line, "Filename");
    if (m_options.AllPages) {
        m_line += separator;
        AppendQuoted(m_line, "Page");
    }
    for (const TTagSearchEntry& entry : m_list.Entries()) {
        if (!entry.Checked)
            continue;
        m_line += separator;
        AppendQuoted(m_line, EntryTagName(entry.Text));
    }
    AppendResultLine(m_line);
}

void TBatchRun::ProcessDirectory(const std::string& directory, const std::vector<TListedFile>& files)
{
    post(TBatchItem::message(TBatchItem::TKind::Status, std::string(batchtext::StatusReading) + directory));
    m_found += static_cast<std::int64_t>(files.size());
    for (const TListedFile& file : files) {
        if (StopRequested)
            return;
        std::string path = JoinPath(directory, file.Name);
        if (isExcluded(path, file.Inode))
            ++m_done;
        else
            post(TBatchItem::file(std::move(path), file.Name, false));
        m_host.ProcessMessages();
    }
}

void TBatchRun::processList()
{
    std::string path;
    for (;;) {
        if (StopRequested)
            return;
        bool more = false;
        try {
            more = m_options.ListedFiles(path);
        } catch (...) {
            drain(); // the files listed before the failure are written, as one job writes them
            throw;
        }
        if (!more)
            return;
        ++m_found;
        post(TBatchItem::file(path, lastComponent(path), true));
        m_host.ProcessMessages();
    }
}

bool TBatchRun::isExcluded(const std::string& path, std::uint64_t inode) const
{
    // The listing's inode rules out nearly every file without a stat.
    const auto sameInode = [inode](const TFileIdentity& id) { return id.Inode == inode; };
    if (std::none_of(m_options.Exclude.begin(), m_options.Exclude.end(), sameInode))
        return false;
    TFileIdentity identity;
    return fileIdentityOf(path, identity) &&
           std::find(m_options.Exclude.begin(), m_options.Exclude.end(), identity) != m_options.Exclude.end();
}

void TBatchRun::WalkSubdirectories(const std::string& directory, const std::vector<std::string>& subdirectories)
{
    if (StopRequested)
        return;
    m_host.ProcessMessages();
    for (const std::string& name : subdirectories) {
        if (StopRequested)
            return; // unwind without listing anything more
        m_host.ProcessMessages();
        const std::string path = JoinPath(directory, name);
        TDirectoryListing listing;
        try {
            listing = ListDirectory(path);
        } catch (const EDirectoryError& e) {
            // Only this subdirectory's tree is left out; its siblings are still read.
            post(TBatchItem::message(TBatchItem::TKind::FolderNotRead, path, e.Reason));
            m_host.ProcessMessages();
            continue;
        }
        if (!listing.TiffFiles.empty())
            ProcessDirectory(path, listing.TiffFiles);
        std::vector<TListedFile>().swap(listing.TiffFiles); // not held while the tree below is walked
        WalkSubdirectories(path, listing.Subdirectories);
        m_host.ProcessMessages();
    }
}

// ---------------------------------------------------------------- the caller's side

void TBatchRun::post(TBatchItem&& item)
{
    if (!m_pool) {
        if (item.Kind == TBatchItem::TKind::File)
            readItem(item, 0);
        deliver(item);
        return;
    }
    const bool isFile = item.Kind == TBatchItem::TKind::File;
    if (m_chunk.empty() && !m_spare.empty()) {
        m_chunk = std::move(m_spare.back());
        m_spare.pop_back();
    }
    if (m_chunkItems < m_chunk.size())
        m_chunk[m_chunkItems].reuse(std::move(item));
    else
        m_chunk.push_back(std::move(item));
    ++m_chunkItems;
    if (isFile && ++m_chunkFiles >= m_chunkSize)
        flushChunk();
}

void TBatchRun::flushChunk()
{
    if (m_chunkItems == 0)
        return;
    m_chunk.resize(m_chunkItems);
    while (m_pool->Full()) {
        if (StopRequested)
            return;
        deliverReady(m_window / 2, kMaxWait);
    }
    m_pool->Push(std::move(m_chunk), m_chunkFiles > 0);
    m_chunk = {};
    m_chunkItems = 0;
    m_chunkFiles = 0;
    m_chunkSize = std::min(2 * m_chunkSize, kMaxChunk);
    // Whatever is ready goes out now, so lines follow the reading closely.
    deliverReady(1, std::chrono::milliseconds(0));
}

void TBatchRun::deliverReady(std::size_t count, std::chrono::milliseconds wait)
{
    // Waiting for several chunks at once wakes this thread once for all of
    // them, and leaves the workers the processors in between.
    std::size_t ready = m_pool->WaitReady(count, wait);
    if (ready == 0 && wait.count() > 0) {
        m_host.ShowProgress(m_done, m_found, m_walkComplete);
        m_host.ProcessMessages();
    }
    for (; ready > 0; --ready) {
        for (TBatchItem& item : *m_pool->Front(std::chrono::milliseconds(0))) {
            if (StopRequested)
                return; // nothing more is written after Stop
            deliver(item);
        }
        // The chunk's strings go back to the workers with their room: memory
        // a worker made and this thread freed would cost both an arena lock.
        TBatchChunk chunk = m_pool->Pop();
        if (m_spare.size() < m_window)
            m_spare.push_back(std::move(chunk));
    }
}

void TBatchRun::drain()
{
    if (!m_pool)
        return;
    flushChunk();
    while (!StopRequested && !m_pool->Empty())
        deliverReady(m_window / 2, kMaxWait);
}

void TBatchRun::deliver(TBatchItem& item)
{
    switch (item.Kind) {
    case TBatchItem::TKind::Status:
        m_host.ShowStatus(item.Path);
        return;
    case TBatchItem::TKind::FolderNotRead:
        notRead(item.Path, item.Reason);
        return;
    case TBatchItem::TKind::File:
        deliverFile(item);
        return;
    }
}

void TBatchRun::deliverFile(TBatchItem& item)
{
    for (const TReaderMessage& message : item.ReaderMessages)
        m_host.ShowReaderMessage(item.Path, message);
    ++m_done;
    switch (item.Outcome) {
    case TBatchItem::TOutcome::Excluded:
        break;
    case TBatchItem::TOutcome::NotTiff:
        ++m_counts.NotTiff;
        m_host.NotTiff(item.Path, item.Reason);
        break;
    case TBatchItem::TOutcome::NotRead:
        notRead(item.Path, item.Reason);
        break;
    case TBatchItem::TOutcome::Read: {
        m_host.ShowFile(item.Path);
        ++m_counts.Files;
        if (!item.ReaderMessages.empty())
            ++m_counts.Damaged;
        m_counts.Pages = m_options.AllPages ? m_counts.Pages + item.PageCount : m_counts.Files;
        m_host.ShowCounters(m_counts.Files, m_counts.Pages);
        const int pages = static_cast<int>(item.PageCells.empty() ? 0 : item.PageCells.size() - 1);
        for (int i = 0; i < pages; ++i)
            appendDataLine(item, i);
        m_host.ShowProgress(m_done, m_found, m_walkComplete);
        m_host.ProcessMessages();
        return;
    }
    }
    m_host.ShowProgress(m_done, m_found, m_walkComplete);
}

void TBatchRun::notRead(const std::string& path, const std::string& reason)
{
    ++m_counts.NotRead;
    m_host.NotRead(path, reason);
}

void TBatchRun::appendDataLine(const TBatchItem& item, int pageIndex)
{
    const std::string separator = m_host.Separator();
    m_line.clear();
    AppendQuoted(m_line, item.Path);
    m_line += separator;
    AppendQuoted(m_line, item.Name);
    if (m_options.AllPages) {
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, pageIndex + 1).ptr;
        m_line += separator;
        AppendQuoted(m_line, std::string_view(digits, static_cast<std::size_t>(end - digits)));
    }
    const auto first = item.Cells.begin() + static_cast<std::ptrdiff_t>(item.PageCells[pageIndex]);
    const auto last = item.Cells.begin() + static_cast<std::ptrdiff_t>(item.PageCells[pageIndex + 1]);
    const std::vector<TTagSearchEntry>& entries = m_list.Entries();
    for (std::size_t e = 0; e < entries.size(); ++e) {
        if (!entries[e].Checked)
            continue;
        const TTagItem wanted = e < m_entryItems.size() ? m_entryItems[e] : TTagItem{};
        bool matched = false;
        for (auto cell = first; wanted.Number >= 0 && cell != last; ++cell) {
            if (!(cell->Item == wanted))
                continue;
            m_line += separator;
            m_line.append(item.Fields, cell->Begin, cell->Size);
            matched = true;
        }
        if (!matched) {
            m_line += separator;
            m_line += "\"\"";
        }
    }
    AppendResultLine(m_line);
}

void TBatchRun::AppendResultLine(const std::string& line)
{
    m_host.AppendResultLine(line);
}

// ---------------------------------------------------------------- the reading side

void TBatchRun::readItem(TBatchItem& item, unsigned worker) const
{
    try {
        if (item.Listed) {
            // A listed path may name anything: a FIFO must never be opened,
            // nor a device. The walk knows its files from their folder.
            struct stat st {};
            if (item.Path.find('\0') != std::string::npos) { // no file has such a name
                item.Reason = SystemErrorText(EINVAL);
                return;
            }
            if (::stat(item.Path.c_str(), &st) != 0) {
                item.Reason = SystemErrorText(errno);
                return;
            }
            if (!S_ISREG(st.st_mode)) {
                item.Reason = kNotRegular;
                return;
            }
            const TFileIdentity identity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
            if (std::find(m_options.Exclude.begin(), m_options.Exclude.end(), identity) != m_options.Exclude.end()) {
                item.Outcome = TBatchItem::TOutcome::Excluded;
                return;
            }
        }
        // Classic runs read the pages alone; the tree only when an item asks for it.
        TTiffFile BatchFile([&item](const TReaderMessage& message) { item.ReaderMessages.push_back(message); },
                            m_kindItems.empty() ? TReadScope::Pages : TReadScope::Everything);
        openBatchFile(item, BatchFile, m_readers[worker]);
        if (item.Outcome == TBatchItem::TOutcome::Read)
            takeValues(item, BatchFile, m_readers[worker]);
    } catch (const std::exception& e) {
        item.Outcome = TBatchItem::TOutcome::NotRead;
        item.Reason = e.what();
        item.PageCells.clear();
    }
}

void TBatchRun::openBatchFile(TBatchItem& item, TTiffFile& BatchFile, TFileBytes& bytes) const
{
    item.Outcome = TBatchItem::TOutcome::NotRead;
    try {
        switch (bytes.Read(item.Path, kWholeFileLimit)) {
        case TFileBytes::TResult::Failed:
            item.Reason = bytes.Reason();
            return;
        case TFileBytes::TResult::Read:
            BatchFile.OpenBuffer(item.Path, bytes.Bytes());
            break;
        case TFileBytes::TResult::TooLarge:
            BatchFile.Open(item.Path);
            // Open reads nothing where it finds no regular file: vanished,
            // or replaced by something else since it was listed.
            if (BatchFile.FileName != item.Path) {
                item.Reason = missingFileReason(item.Path);
                return;
            }
            break;
        }
    } catch (const EInvalidTiff& e) {
        item.Outcome = TBatchItem::TOutcome::NotTiff;
        item.Reason = e.what();
        return;
    } catch (const EReadError& e) {
        // The header itself is cut short: a file too small to be TIFF.
        item.Outcome = TBatchItem::TOutcome::NotTiff;
        item.Reason = e.what();
        return;
    } catch (const EFOpenError& e) {
        item.Reason = openFailureReason(e.what(), item.Path);
        return;
    }
    item.Outcome = TBatchItem::TOutcome::Read;
}

void TBatchRun::takeValues(TBatchItem& item, const TTiffFile& BatchFile, const TFileBytes& bytes) const
{
    // Values below the pages are read again at the positions the read found:
    // from the bytes read, or from the file when it was too large for them,
    // which must then still be the file that was read.
    std::optional<TValueSource> values;
    if (!m_kindItems.empty()) {
        if (BatchFile.Stamp == TFileStamp{}) {
            values.emplace(bytes.Bytes());
        } else {
            values.emplace(item.Path);
            if (!(values->Stamp() == BatchFile.Stamp)) {
                item.Outcome = TBatchItem::TOutcome::NotRead;
                item.Reason = "the file changed while it was read";
                return;
            }
        }
    }
    item.PageCount = BatchFile.PageCount();
    const int pages = m_options.AllPages ? item.PageCount : std::min(item.PageCount, 1);
    item.PageCells.reserve(static_cast<std::size_t>(pages) + 1);
    for (int i = 0; i < pages; ++i) {
        item.PageCells.push_back(item.Cells.size());
        for (const TTag& tag : BatchFile.Pages.GetPage(i)->Tags) {
            if (!tag.IsRead() || !m_wanted.test(tag.Number()))
                continue;
            addCell(item, {std::nullopt, tag.Number()}, tag.ValueText);
        }
        for (const TTagItem& kindItem : m_kindItems)
            ForEachKindValue(BatchFile, i, kindItem, *values,
                             [&](std::string_view text) { addCell(item, kindItem, text); });
    }
    item.PageCells.push_back(item.Cells.size());
}

void TBatchRun::addCell(TBatchItem& item, const TTagItem& tagItem, std::string_view text) const
{
    const std::size_t begin = item.Fields.size();
    appendValueField(item.Fields, m_options.TrimValue ? TrimBlanksAndControls(text) : text);
    item.Cells.push_back({tagItem, begin, item.Fields.size() - begin});
}

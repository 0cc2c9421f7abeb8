// velquin --check: what is wrong with files, one line per finding or one JSON
// object per file, and an exit status for scripts.
#include "app/cli.h"
#include "app/clicommand.h"
#include "batch/dirlisting.h"
#include "check/checker.h"
#include "tiff/errors.h"
#include "tiff/tiff.h"
#include "tiff/valuesource.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <ostream>
#include <sched.h>
#include <system_error>
#include <thread>

const std::string_view CheckUsage =
    "       velquin --check PATH... [--json | --quiet] [--jobs N]\n"
    "                                      check files, and every *.tif below a folder\n";

namespace {

// Exit statuses: the worst of all files decides.
constexpr int kClean = 0;      // no file has an error
constexpr int kHasErrors = 1;  // some file has an error
constexpr int kUnreadable = 2; // some file could not be read or is not TIFF

enum class TFormat { Lines, Json, Quiet };

/// What checking one file gives: its lines or JSON object, its line for
/// standard error, and its exit status.
struct TFileResult {
    std::string Out;
    std::string Err;
    int Status = kClean;
};

void appendNumber(std::string& out, std::uint64_t value)
{
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

/// The system's reason inside "Cannot open file "P". REASON".
std::string openFailureReason(const std::string& message, const std::string& path)
{
    const std::string prefix = "Cannot open file \"" + path + "\". ";
    return message.starts_with(prefix) ? message.substr(prefix.size()) : message;
}

void appendJson(std::string& out, const nlohmann::ordered_json& object)
{
    // A name that is not UTF-8 cannot be a JSON string: its stray bytes
    // become U+FFFD there (the TAB lines keep them).
    out += object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    out += '\n';
}

/// A file or folder that could not be read ("not read") or is not TIFF ("not TIFF").
TFileResult unreadable(std::string_view what, const std::string& path, const std::string& reason, TFormat format)
{
    TFileResult result;
    result.Status = kUnreadable;
    if (format == TFormat::Quiet)
        return result;
    result.Err = "velquin: " + std::string(what) + ' ' + path + ": " + reason + '\n';
    if (format == TFormat::Json) {
        nlohmann::ordered_json object;
        object["file"] = path;
        object["status"] = what == "not TIFF" ? "not-tiff" : "not-read";
        object["reason"] = reason;
        appendJson(result.Out, object);
    }
    return result;
}

/// PATH, directory, severity, identifier, offset and sentence, joined by TABs.
void appendLines(std::string& out, const std::string& path, const TCheckReport& report)
{
    const auto line = [&](std::string_view dir, const TProblemKindInfo& kind, const TByteRange& range,
                          const std::string& sentence) {
        AppendEscapedCell(out, path);
        out += '\t';
        out += dir.empty() ? "-" : dir;
        out += '\t';
        out += severityName(kind.Severity);
        out += '\t';
        out += kind.Identifier;
        out += '\t';
        if (range.End > range.Start)
            appendNumber(out, range.Start);
        else
            out += '-';
        out += '\t';
        AppendEscapedCell(out, sentence);
        out += '\n';
    };
    for (const TProblem& p : report.Problems)
        line(p.DirectoryId, problemKindInfo(p.Kind), p.Range, p.Sentence);
    for (const TProblemKindInfo& kind : problemKindTable())
        if (const std::uint64_t more = report.unlisted(kind.Kind))
            line({}, kind, {}, std::to_string(more) + " more like this are not listed");
}

void appendObject(std::string& out, const std::string& path, const TTiffFile& file, const TCheckReport& report)
{
    nlohmann::ordered_json object;
    object["file"] = path;
    object["status"] = "checked";
    object["size"] = file.Stamp.Size;
    object["byteOrder"] = file.IsBigEndian() ? "MM" : "II";
    object["bigTiff"] = file.IsBigTiff();
    object["errors"] = report.count(TSeverity::Error);
    object["warnings"] = report.count(TSeverity::Warning);
    object["notes"] = report.count(TSeverity::Note);
    nlohmann::ordered_json problems = nlohmann::ordered_json::array();
    for (const TProblem& p : report.Problems) {
        const TProblemKindInfo& kind = problemKindInfo(p.Kind);
        nlohmann::ordered_json item;
        item["directory"] = p.Directory >= 0 ? nlohmann::ordered_json(p.DirectoryId) : nullptr;
        item["entry"] = p.Entry >= 0 ? nlohmann::ordered_json(p.Entry) : nullptr;
        item["severity"] = severityName(kind.Severity);
        item["identifier"] = kind.Identifier;
        const bool placed = p.Range.End > p.Range.Start;
        item["offset"] = placed ? nlohmann::ordered_json(p.Range.Start) : nullptr;
        item["length"] = placed ? nlohmann::ordered_json(p.Range.End - p.Range.Start) : nullptr;
        item["sentence"] = p.Sentence;
        problems.push_back(std::move(item));
    }
    object["problems"] = std::move(problems);
    nlohmann::ordered_json unlisted = nlohmann::ordered_json::object();
    for (const TProblemKindInfo& kind : problemKindTable())
        if (const std::uint64_t more = report.unlisted(kind.Kind))
            unlisted[std::string(kind.Identifier)] = more;
    object["unlisted"] = std::move(unlisted);
    appendJson(out, object);
}

/// Reads and checks one file; never throws. Runs on any thread.
TFileResult checkOneFile(const std::string& path, TFormat format)
{
    try {
        TValueSource source(path);
        TTiffFile file({}, TReadScope::Structure); // what the reader meets, the checker reports
        file.OpenSource(path, source);
        const TCheckReport report = checkFile(file, source);
        TFileResult result;
        result.Status = report.count(TSeverity::Error) > 0 ? kHasErrors : kClean;
        if (format == TFormat::Json)
            appendObject(result.Out, path, file, report);
        else if (format == TFormat::Lines)
            appendLines(result.Out, path, report);
        return result;
    } catch (const EFOpenError& e) {
        return unreadable("not read", path, openFailureReason(e.what(), path), format);
    } catch (const EInvalidTiff& e) {
        return unreadable("not TIFF", path, e.what(), format);
    } catch (const EReadError& e) { // the header itself is cut short
        return unreadable("not TIFF", path, e.what(), format);
    } catch (const std::bad_alloc&) {
        return unreadable("not read", path, EOutOfMemory(path).what(), format);
    } catch (const std::exception& e) {
        return unreadable("not read", path, e.what(), format);
    }
}

/// The processors this process may run on: its CPU affinity, as a Slurm task sees it.
int defaultJobs()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

/// One run over the paths of the command line. The walk hands files to jobs
/// worker threads in chunks, through a window of a few chunks per worker, and
/// writes the results in the walk's order as they come in: the output is the
/// same bytes whatever the number of jobs, a worker held up by the system
/// holds up no other, and threads meet once a chunk rather than once a file.
class TCheckRun {
public:
    TCheckRun(std::ostream& out, std::ostream& err, TFormat format, int jobs)
        : m_output(out), m_err(err), m_format(format)
    {
        if (jobs > 1)
            m_chunks.resize(4 * static_cast<std::size_t>(jobs));
        for (int t = 0; t < jobs && jobs > 1; ++t) {
            try {
                m_workers.emplace_back([this] { work(); });
            } catch (const std::system_error&) { // no more threads: those running do the work
                break;
            }
        }
        if (m_workers.empty())
            m_chunks.clear(); // every file checked on this thread, as it comes
    }
    ~TCheckRun()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_closing = true;
        }
        m_wake.notify_all();
        m_workers.clear(); // joins them
    }
    TCheckRun(const TCheckRun&) = delete;
    TCheckRun& operator=(const TCheckRun&) = delete;

    /// A file is checked whatever its name; a folder, every *.tif and *.tiff below it.
    void checkPath(const std::string& path)
    {
        if (IsExistingDirectory(path))
            checkFolder(path);
        else
            add(path, std::nullopt);
    }

    /// Waits for the files handed out and writes them; false once the output cannot be written.
    bool finish()
    {
        if (!m_chunks.empty()) {
            publish();
            std::unique_lock lock(m_mutex);
            writeReady(lock, m_published);
        }
        return m_output.Flush();
    }
    std::string failureText() const { return m_output.FailureText("standard output"); }
    int status() const { return m_status; }

private:
    struct TItem {
        std::string Path;
        std::optional<TFileResult> Result; ///< set when checked, or by the walk for a folder it could not read
    };
    struct TChunk {
        std::vector<TItem> Items;
        bool Checked = false;
    };

    void checkFolder(const std::string& root)
    {
        // The batch walk's order: a folder's own files, then each subfolder's
        // whole tree. A stack, since trees may be deeper than the call stack.
        std::vector<std::string> pending{root};
        while (!pending.empty() && !m_output.Failed()) {
            const std::string folder = std::move(pending.back());
            pending.pop_back();
            TDirectoryListing listing;
            try {
                listing = ListDirectory(folder);
            } catch (const EDirectoryError& e) {
                add(folder, unreadable("not read", folder, e.Reason, m_format));
                continue;
            }
            for (const TListedFile& file : listing.TiffFiles)
                add(JoinPath(folder, file.Name), std::nullopt);
            for (auto it = listing.Subdirectories.rbegin(); it != listing.Subdirectories.rend(); ++it)
                pending.push_back(JoinPath(folder, *it));
        }
    }

    void add(std::string path, std::optional<TFileResult> result)
    {
        if (m_chunks.empty()) {
            write(result ? *result : checkOneFile(path, m_format));
            return;
        }
        m_filling.push_back({std::move(path), std::move(result)});
        if (m_filling.size() == kChunkFiles)
            publish();
    }

    /// Hands the chunk being filled to the workers, once its place in the window is free.
    void publish()
    {
        if (m_filling.empty())
            return;
        std::unique_lock lock(m_mutex);
        if (m_published >= m_chunks.size()) // the chunk that held the place must be written first
            writeReady(lock, m_published + 1 - m_chunks.size());
        TChunk& chunk = m_chunks[m_published % m_chunks.size()];
        chunk.Items.swap(m_filling);
        chunk.Checked = false;
        ++m_published;
        lock.unlock();
        m_wake.notify_one();
        m_filling.clear();
    }

    /// Writes the chunks in order up to number until (excluded), waiting for those not checked yet.
    void writeReady(std::unique_lock<std::mutex>& lock, std::size_t until)
    {
        while (m_written < until) {
            TChunk& chunk = m_chunks[m_written % m_chunks.size()];
            m_done.wait(lock, [&] { return chunk.Checked; });
            lock.unlock(); // the workers never touch a checked chunk
            for (const TItem& item : chunk.Items)
                write(*item.Result);
            lock.lock();
            ++m_written;
        }
    }

    void work()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_closing || m_taken < m_published; });
            if (m_taken == m_published)
                return; // closing, and nothing left
            TChunk& chunk = m_chunks[m_taken++ % m_chunks.size()];
            lock.unlock();
            for (TItem& item : chunk.Items)
                if (!item.Result)
                    item.Result = checkOneFile(item.Path, m_format);
            lock.lock();
            chunk.Checked = true;
            m_done.notify_all();
        }
    }

    void write(const TFileResult& result)
    {
        m_status = std::max(m_status, result.Status);
        if (!result.Err.empty())
            m_err << result.Err; // one write a line: standard error is not buffered
        if (!m_output.Failed())
            m_output.Write(result.Out);
    }

    static constexpr std::size_t kChunkFiles = 32;
    TOutput m_output;
    std::ostream& m_err;
    TFormat m_format;
    int m_status = kClean;
    std::vector<TItem> m_filling; ///< the walk's next chunk
    // A window of chunks: chunk number n lies at n % size. The walk publishes
    // them, workers take and check them, the walk writes them; a place is
    // reused only once its chunk is written.
    std::vector<TChunk> m_chunks;
    std::size_t m_published = 0;
    std::size_t m_taken = 0;
    std::size_t m_written = 0;
    bool m_closing = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;      ///< a chunk to check, or the end
    std::condition_variable m_done;      ///< a chunk checked
    std::vector<std::jthread> m_workers; ///< last: joined before the rest goes
};

} // namespace

int RunCheckCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    std::vector<std::string> paths;
    bool json = false;
    bool quiet = false;
    int jobs = defaultJobs();
    CLI::App app;
    app.add_option("--check", paths)->required();
    auto* jsonFlag = app.add_flag("--json", json);
    app.add_flag("--quiet", quiet)->excludes(jsonFlag);
    app.add_option("--jobs", jobs)->check(CLI::Range(1, 1024));
    if (!ParseCommand(app, args, err))
        return ExitUsage;

    TCheckRun run(out, err, quiet ? TFormat::Quiet : json ? TFormat::Json : TFormat::Lines, jobs);
    for (const std::string& path : paths)
        run.checkPath(path);
    if (!run.finish()) {
        err << "velquin: " << run.failureText() << '\n';
        return 1;
    }
    return run.status();
}

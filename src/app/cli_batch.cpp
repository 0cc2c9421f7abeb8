// velquin --batch: the Batch tab's export on the command line.
#include "app/cli.h"
#include "app/clicommand.h"
#include "batch/atomicfile.h"
#include "batch/batchrun.h"
#include "batch/filebytes.h"
#include "batch/pathlist.h"
#include "batch/results.h"
#include "batch/searchlist.h"
#include "batch/tagitem.h"
#include "tagnames/directorytags.h"
#include "tagnames/utagdescription.h"
#include "tiff/errors.h"
#include "tiff/tiff.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <optional>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

const std::string_view BatchUsage =
    "       velquin --batch DIR [--tags [KIND:]N[=TITLE],...] [--separator S] [--no-header]\n"
    "                     [--first-page-only] [--no-root] [--no-subdirectories]\n"
    "                     [--no-trim] [--output FILE] [--verbose] [--jobs N]\n"
    "                                      export tags of every *.tif below DIR\n"
    "       velquin --batch --files-from FILE [--null] [options]\n"
    "                                      the same for the files FILE lists (- for standard input)\n";

namespace {

/// "256" or "256=Width": the entry a user would add in the Batch tab, with the
/// default entry's title, or else the dictionary's name, when none is given.
/// "exif:36867" or "gps:2=Latitude": a tag of the directories of that kind
/// below each page, titled by the kind's table when no title is given.
/// Returns why the item is refused, or an empty text.
std::string addTagItem(TTagSearchList& list, std::string_view item)
{
    const std::size_t eq = item.find('=');
    const std::string_view key = item.substr(0, eq);
    const std::size_t colon = key.find(':');
    const std::string_view number = colon == std::string_view::npos ? key : key.substr(colon + 1);
    std::optional<TDirectoryKind> kind;
    if (colon != std::string_view::npos && !(kind = DirectoryKindNamed(key.substr(0, colon))))
        return "--tags: \"" + std::string(key.substr(0, colon)) +
               "\" is not a directory kind (exif, gps, interop, subifd)";
    if (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos)
        return "--tags takes NUMBER, NUMBER=TITLE, KIND:NUMBER or KIND:NUMBER=TITLE items separated by commas";
    std::string title;
    if (eq != std::string_view::npos) {
        title = item.substr(eq + 1);
    } else if (kind) {
        long long value = 0;
        const auto r = std::from_chars(number.data(), number.data() + number.size(), value);
        title = r.ec == std::errc() && value <= 0xFFFF
                    ? TrimBlanksAndControls(directoryTagName(*kind, static_cast<std::uint16_t>(value)))
                    : TrimBlanksAndControls(GetTagDescription(-1));
    } else {
        const auto def = std::find_if(DefaultTagEntries.begin(), DefaultTagEntries.end(),
                                      [&](std::string_view entry) { return EntryTagNumber(entry) == number; });
        if (def != DefaultTagEntries.end()) {
            title = EntryTagName(*def);
        } else {
            long long value = 0;
            const auto r = std::from_chars(number.data(), number.data() + number.size(), value);
            const auto known = r.ec == std::errc() && value <= 0xFFFF ? static_cast<std::int32_t>(value) : -1;
            title = TrimBlanksAndControls(GetTagDescription(known));
        }
    }
    // The list holds an entry once; a second column of the same title would
    // otherwise be dropped without a word.
    if (list.Add(key, title) < 0)
        return "--tags names \"" + std::string(item) + "\" twice";
    return {};
}

/// The list of --tags: comma-separated items. Returns why they are refused, or an empty text.
std::string parseTagItems(const std::string& items, TTagSearchList& list)
{
    list.Clear();
    for (std::size_t start = 0; !items.empty() && start <= items.size();) {
        std::size_t end = items.find(',', start);
        if (end == std::string::npos)
            end = items.size();
        std::string problem = addTagItem(list, std::string_view(items).substr(start, end - start));
        if (!problem.empty())
            return problem;
        start = end + 1;
    }
    return {};
}

// The temporary file of --output, removed when an interrupt ends the program;
// a fixed buffer, since the handler may only make async-signal-safe calls.
char g_temporaryPath[4096 + 64];

extern "C" void removeTemporaryAndDie(int signal)
{
    if (g_temporaryPath[0] != '\0')
        ::unlink(g_temporaryPath);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

/// Keeps the --output file's temporary path for the interrupt handler while it lives.
class TInterruptCleanup {
public:
    explicit TInterruptCleanup(const std::string& path)
    {
        if (path.empty() || path.size() >= sizeof g_temporaryPath)
            return;
        std::memcpy(g_temporaryPath, path.c_str(), path.size() + 1);
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            m_previous[i] = ::signal(kSignals[i], removeTemporaryAndDie);
        m_active = true;
    }
    ~TInterruptCleanup()
    {
        if (!m_active)
            return;
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            ::signal(kSignals[i], m_previous[i]);
        g_temporaryPath[0] = '\0';
    }
    TInterruptCleanup(const TInterruptCleanup&) = delete;
    TInterruptCleanup& operator=(const TInterruptCleanup&) = delete;

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    void (*m_previous[std::size(kSignals)])(int) = {};
    bool m_active = false;
};

/// The command line's side of a run: lines go out as the bytes Save writes,
/// a progress line goes to a terminal, files not read to --verbose.
class TCliBatchHost : public TBatchHost {
public:
    TCliBatchHost(std::string separator, std::ostream& out, std::ostream& err, bool verbose, bool progress)
        : m_separator(std::move(separator)), m_out(out), m_err(err), m_verbose(verbose), m_progress(progress)
    {
    }

    std::string Separator() override { return m_separator; }
    void ClearResults() override { m_buffer.clear(); }
    void AppendResultLine(const std::string& line) override
    {
        AppendSavedLine(m_buffer, line);
        // Output that cannot be written ends the run at once, rather than
        // after reading the rest of an archive for nothing.
        if (m_buffer.size() >= kFlushSize && !Flush())
            throw EVelquinError(FailureText());
    }
    void ShowCounters(std::int64_t files, std::int64_t pages) override
    {
        m_files = files;
        m_pages = pages;
    }
    void ShowStatus(const std::string&) override {}
    void ShowFile(const std::string& path) override
    {
        if (m_progress)
            m_lastPath = path;
    }
    void ShowRefusal(const std::string& text) override { m_err << "velquin: " << text << '\n'; }
    void ShowReaderMessage(const std::string& path, const TReaderMessage& message) override
    {
        // Without --verbose the classic text alone, as scripts have long read
        // it; --verbose tells every message as the window's log does.
        if (!m_verbose && message.Text.empty())
            return;
        ClearProgress();
        m_err << "velquin: " << (m_verbose ? readerMessageLine(path, message) : path + ": " + message.Text) << '\n';
    }
    void ProcessMessages() override
    {
        if (!m_progress)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastProgress < std::chrono::milliseconds(100))
            return;
        m_lastProgress = now;
        std::string text = std::to_string(m_files) + " files, " + std::to_string(m_pages) + " pages";
        if (m_walkComplete && m_found > 0)
            text += " (" + std::to_string(m_done * 100 / m_found) + "%)";
        text += "  " + m_lastPath;
        if (text.size() > 79)
            text = text.substr(0, 76) + "...";
        m_err << '\r' << text << "\x1b[K" << std::flush;
        m_progressShown = true;
    }
    void ShowProgress(std::int64_t done, std::int64_t found, bool walkComplete) override
    {
        m_done = done;
        m_found = found;
        m_walkComplete = walkComplete;
    }
    void NotTiff(const std::string& path, const std::string& reason) override
    {
        if (m_verbose)
            tell(notTiffLine(path, reason));
    }
    void NotRead(const std::string& path, const std::string& reason) override
    {
        if (m_verbose)
            tell(notReadLine(path, reason));
    }

    /// Lines go to this file instead of out; it replaces the target only by Commit.
    void SetOutput(TAtomicFile* file) { m_file = file; }

    /// Writes what is buffered; false once the output cannot be written.
    bool Flush()
    {
        const bool ok = m_file ? m_file->Write(m_buffer) : m_stdout.Write(m_buffer) && m_stdout.Flush();
        m_buffer.clear();
        return ok;
    }

    /// Why the output could not be written.
    std::string FailureText() const { return m_file ? m_file->FailureText() : m_stdout.FailureText("standard output"); }

    void ClearProgress()
    {
        if (m_progressShown)
            m_err << "\r\x1b[K" << std::flush;
        m_progressShown = false;
    }

private:
    void tell(const std::string& line)
    {
        ClearProgress();
        m_err << "velquin: " << line << '\n';
    }

    static constexpr std::size_t kFlushSize = 64 * 1024;
    std::string m_separator;
    std::ostream& m_out;
    std::ostream& m_err;
    TOutput m_stdout{m_out};
    bool m_verbose;
    bool m_progress;
    bool m_progressShown = false;
    TAtomicFile* m_file = nullptr;
    std::string m_buffer;
    std::string m_lastPath;
    std::int64_t m_files = 0;
    std::int64_t m_pages = 0;
    std::int64_t m_done = 0;
    std::int64_t m_found = 0;
    bool m_walkComplete = false;
    std::chrono::steady_clock::time_point m_lastProgress{};
};

/// The list of --files-from, open while it lives: "-" is standard input.
class TListSource {
public:
    /// Throws EVelquinError "Cannot read "FILE". REASON" when FILE cannot be opened.
    TListSource(const std::string& file, char separator)
        : m_fd(file == "-" ? STDIN_FILENO : ::open(file.c_str(), O_RDONLY | O_CLOEXEC)),
          m_list(m_fd, file == "-" ? "standard input" : file, separator)
    {
        if (m_fd < 0)
            throw EVelquinError("Cannot read \"" + file + "\". " + SystemErrorText(errno));
    }
    ~TListSource()
    {
        if (m_fd > STDIN_FILENO)
            ::close(m_fd);
    }
    TListSource(const TListSource&) = delete;
    TListSource& operator=(const TListSource&) = delete;

    TPathSource Source()
    {
        return [this](std::string& path) { return m_list.Next(path); };
    }

private:
    int m_fd;
    TPathList m_list;
};

} // namespace

int RunBatchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    TBatchOptions options;
    TTagSearchList list; // without --tags: the defaults, none checked
    std::string tags;
    std::string separator = ",";
    std::string outputPath;
    std::string filesFrom;
    bool noHeader = false, firstPageOnly = false, noRoot = false, noSubdirectories = false, noTrim = false;
    bool verbose = false, nullSeparated = false;
    int jobs = DefaultJobs();
    CLI::App app;
    app.add_option("--batch", options.StartDir)->expected(0, 1);
    auto* tagsOption = app.add_option("--tags", tags);
    app.add_option("--separator", separator);
    auto* outputOption = app.add_option("--output", outputPath);
    app.add_flag("--no-header", noHeader);
    app.add_flag("--first-page-only", firstPageOnly);
    auto* noRootOption = app.add_flag("--no-root", noRoot);
    auto* noSubdirectoriesOption = app.add_flag("--no-subdirectories", noSubdirectories);
    app.add_flag("--no-trim", noTrim);
    app.add_flag("--verbose", verbose);
    app.add_option("--jobs", jobs)->check(CLI::Range(1, 1024));
    auto* filesFromOption = app.add_option("--files-from", filesFrom)->excludes(noRootOption, noSubdirectoriesOption);
    app.add_flag("--null", nullSeparated)->needs(filesFromOption);
    if (!ParseCommand(app, args, err))
        return ExitUsage;
    const bool walk = !options.StartDir.empty();
    if (walk == (filesFromOption->count() > 0)) {
        err << "velquin: "
            << (walk ? "--batch takes a directory or --files-from FILE, not both"
                     : "--batch needs a directory or --files-from FILE")
            << '\n'
            << UsageText();
        return ExitUsage;
    }
    if (tagsOption->count() > 0) {
        if (const std::string problem = parseTagItems(tags, list); !problem.empty()) {
            err << "velquin: " << problem << '\n';
            return ExitUsage;
        }
    }
    options.AddDescription = !noHeader;
    options.AllPages = !firstPageOnly;
    options.IncludeRoot = !noRoot;
    options.IncludeSubDirectories = !noSubdirectories;
    options.TrimValue = !noTrim;
    options.Jobs = jobs;

    std::unique_ptr<TListSource> pathList;
    if (!walk) {
        try {
            pathList = std::make_unique<TListSource>(filesFrom, nullSeparated ? '\0' : '\n');
        } catch (const EVelquinError& e) {
            err << "velquin: " << WithFullStop(e.what()) << '\n';
            return 1;
        }
        options.ListedFiles = pathList->Source();
    }

    // The output is made before the run, so that a file that cannot be
    // written costs no run, and the run can leave it out of its input.
    std::unique_ptr<TAtomicFile> file;
    if (outputOption->count() > 0) {
        try {
            file = std::make_unique<TAtomicFile>(outputPath);
        } catch (const EVelquinError& e) {
            err << "velquin: " << WithFullStop(e.what()) << '\n';
            return 1;
        }
        options.Exclude = file->Identities();
    } else if (&out == &std::cout) {
        // "velquin --batch DIR > DIR/x.tif": the run must not read what it writes.
        struct stat st {};
        if (::fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode))
            options.Exclude.push_back({static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)});
    }
    const TInterruptCleanup cleanup(file ? file->TemporaryPath() : std::string());

    const bool progress = &err == &std::cerr && ::isatty(STDERR_FILENO);
    TCliBatchHost host(separator, out, err, verbose, progress);
    host.SetOutput(file.get());
    TBatchRun run(list, host);
    TBatchOutcome outcome;
    try {
        outcome = run.Run(options);
    } catch (const EVelquinError& e) {
        if (!file)
            host.Flush(); // standard output: the lines so far, as they came
        host.ClearProgress();
        err << "velquin: " << WithFullStop(e.what()) << '\n';
        return 1;
    }
    host.ClearProgress();
    if (outcome == TBatchOutcome::Refused)
        return 1; // an --output file is left as it was
    if (!host.Flush() || (file && !file->Commit())) {
        err << "velquin: " << host.FailureText() << '\n';
        return 1;
    }
    if (verbose) {
        const TBatchCounts& c = run.Counts();
        err << "velquin: " << c.Files << " files, " << c.Pages << " pages, " << c.NotTiff << " not TIFF, " << c.NotRead
            << " not read, " << c.Damaged << " damaged\n";
    }
    return 0;
}

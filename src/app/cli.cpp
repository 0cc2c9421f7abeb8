#include "app/cli.h"

#include "batch/batchrun.h"
#include "batch/dirlisting.h"
#include "batch/results.h"
#include "batch/searchlist.h"
#include "tagnames/utagdescription.h"
#include "tiff/errors.h"
#include "tiff/listing.h"
#include "tiff/tiff.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <new>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kUsage =
    "Usage: velquin [FILE]                 open FILE in the viewer window\n"
    "       velquin --dump FILE [--page N | --all-pages] [--hex]\n"
    "                                      print the tag listing of a page\n"
    "       velquin --batch DIR [--tags N[=TITLE],...] [--separator S] [--no-header]\n"
    "                     [--first-page-only] [--no-root] [--no-subdirectories]\n"
    "                     [--no-trim] [--output FILE] [--verbose]\n"
    "                                      export tags of every *.tif below DIR\n"
    "       velquin --help | --version\n";

void appendHexEscape(std::string& out, unsigned code)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += "\\x";
    out.push_back(kDigits[(code >> 4) & 0xF]);
    out.push_back(kDigits[code & 0xF]);
}

void printRows(const std::vector<TListingRow>& rows, std::ostream& out)
{
    std::string buffer;
    buffer.reserve(1 << 16);
    for (const TListingRow& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i)
                buffer.push_back('\t');
            AppendEscapedCell(buffer, row[i]);
        }
        buffer.push_back('\n');
        if (buffer.size() > (1 << 16) - 1024) {
            out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            buffer.clear();
        }
    }
    out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
}

bool parsePageNumber(const std::string& text, int& page)
{
    const auto r = std::from_chars(text.data(), text.data() + text.size(), page);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

int runDump(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    std::string path;
    int page = 1;
    bool allPages = false;
    bool hex = false;
    bool pageGiven = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--hex") {
            hex = true;
        } else if (a == "--all-pages") {
            allPages = true;
        } else if (a == "--page" && i + 1 < args.size()) {
            if (!parsePageNumber(args[++i], page)) {
                err << "velquin: --page takes a whole number\n";
                return 2;
            }
            pageGiven = true;
        } else if (path.empty() && (a.empty() || a[0] != '-' || a == "-")) {
            path = a;
        } else {
            err << "velquin: unexpected argument '" << a << "'\n" << kUsage;
            return 2;
        }
    }
    if (path.empty() || (allPages && pageGiven)) {
        err << kUsage;
        return 2;
    }
    struct stat st {};
    const bool found = ::stat(path.c_str(), &st) == 0;
    if (!found || !S_ISREG(st.st_mode)) {
        const std::string reason = !found                 ? std::strerror(errno)
                                   : S_ISDIR(st.st_mode) ? "Is a directory"
                                                         : "Not a regular file";
        err << WithFullStop("Cannot open file \"" + path + "\". " + reason) << '\n';
        return 1;
    }

    try { // memory that runs out while the listing is built is reported like the reader's
        TTiffFile file(
            [&err](const TReaderMessage& message) {
                if (!message.Text.empty())
                    err << message.Text << '\n';
            },
            TReadScope::Pages);
        try {
            file.Open(path);
        } catch (const EVelquinError& e) {
            err << WithFullStop(e.what()) << '\n';
            return 1;
        }

        int status = 0;
        const int first = allPages ? 1 : page;
        // A file without pages still lists its header rows and reports page 1 missing.
        const int last = allPages ? std::max(1, file.PageCount()) : page;
        for (int p = first; p <= last; ++p) {
            const TListing listing = BuildListing(file, p, hex);
            printRows(listing.Rows, out);
            if (listing.Failed) {
                out.flush();
                err << "Input file wrong\n";
                status = 1;
            }
        }
        return status;
    } catch (const std::bad_alloc&) {
        out.flush();
        err << WithFullStop(EOutOfMemory(path).what()) << '\n';
        return 1;
    }
}

// ---------------------------------------------------------------- --batch

/// "256" or "256=Width": the entry a user would add in the Batch tab, with the
/// default entry's title, or else the dictionary's name, when none is given.
bool addTagItem(TTagSearchList& list, std::string_view item)
{
    const std::size_t eq = item.find('=');
    const std::string_view number = item.substr(0, eq);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    std::string title;
    if (eq != std::string_view::npos) {
        title = item.substr(eq + 1);
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
    list.Add(number, title);
    return true;
}

/// The command line's side of a run: lines go out as the bytes Save writes,
/// a progress line goes to a terminal, skipped files to --verbose.
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
        if (m_buffer.size() >= kFlushSize && !Flush())
            m_failed = true;
    }
    void ShowCounters(std::int64_t files, std::int64_t pages) override
    {
        m_files = files;
        m_pages = pages;
    }
    void ShowStatus(const std::string&) override {}
    bool Failed() const { return m_failed; }
    void ShowFile(const std::string& path) override
    {
        if (m_progress)
            m_lastPath = path;
    }
    void ShowRefusal(const std::string& text) override { m_err << "velquin: " << text << '\n'; }
    void ShowReaderMessage(const std::string& path, const TReaderMessage& message) override
    {
        if (message.Text.empty())
            return;
        ClearProgress();
        m_err << "velquin: " << path << ": " << message.Text << '\n';
    }
    void ProcessMessages() override
    {
        if (!m_progress)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastProgress < std::chrono::milliseconds(100))
            return;
        m_lastProgress = now;
        std::string text = std::to_string(m_files) + " files, " + std::to_string(m_pages) + " pages  " + m_lastPath;
        if (text.size() > 79)
            text = text.substr(0, 76) + "...";
        m_err << '\r' << text << "\x1b[K" << std::flush;
        m_progressShown = true;
    }
    void Skipped(const std::string& path, const std::string& reason) override
    {
        if (!m_verbose)
            return;
        ClearProgress();
        m_err << "velquin: skipped " << path << ": " << reason << '\n';
    }

    /// Lines go to this file instead of out. It is created by the first write,
    /// so a refused run leaves an existing file alone.
    void SetOutputPath(std::string path) { m_outputPath = std::move(path); }

    /// Writes what is buffered; false when the output cannot be created or written.
    bool Flush(bool create = false)
    {
        if (m_outputPath.empty()) {
            m_out.write(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
            m_buffer.clear();
            return static_cast<bool>(m_out.flush());
        }
        if (!m_file.is_open() && (create || !m_buffer.empty())) {
            m_file.open(m_outputPath, std::ios::binary | std::ios::trunc);
            if (!m_file)
                return false;
        }
        m_file.write(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
        m_buffer.clear();
        return static_cast<bool>(m_file.flush());
    }

    void ClearProgress()
    {
        if (m_progressShown)
            m_err << "\r\x1b[K" << std::flush;
        m_progressShown = false;
    }

private:
    static constexpr std::size_t kFlushSize = 64 * 1024;
    std::string m_separator;
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_verbose;
    bool m_progress;
    bool m_progressShown = false;
    bool m_failed = false;
    std::string m_outputPath;
    std::ofstream m_file;
    std::string m_buffer;
    std::string m_lastPath;
    std::int64_t m_files = 0;
    std::int64_t m_pages = 0;
    std::chrono::steady_clock::time_point m_lastProgress{};
};

int runBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    TBatchOptions options;
    TTagSearchList list; // without --tags: the defaults, none checked
    std::string separator = ",";
    std::string outputPath;
    bool haveDir = false;
    bool haveOutput = false;
    bool verbose = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--tags" && hasValue) {
            list.Clear();
            const std::string& items = args[++i];
            for (std::size_t start = 0; !items.empty() && start <= items.size();) {
                std::size_t end = items.find(',', start);
                if (end == std::string::npos)
                    end = items.size();
                if (!addTagItem(list, std::string_view(items).substr(start, end - start))) {
                    err << "velquin: --tags takes NUMBER or NUMBER=TITLE items separated by commas\n";
                    return 2;
                }
                start = end + 1;
            }
        } else if (a == "--separator" && hasValue) {
            separator = args[++i];
        } else if (a == "--output" && hasValue) {
            outputPath = args[++i];
            haveOutput = true;
        } else if (a == "--no-header") {
            options.AddDescription = false;
        } else if (a == "--first-page-only") {
            options.AllPages = false;
        } else if (a == "--no-root") {
            options.IncludeRoot = false;
        } else if (a == "--no-subdirectories") {
            options.IncludeSubDirectories = false;
        } else if (a == "--no-trim") {
            options.TrimValue = false;
        } else if (a == "--verbose") {
            verbose = true;
        } else if (!haveDir && (a.empty() || a[0] != '-' || a == "-")) {
            options.StartDir = a;
            haveDir = true;
        } else {
            err << "velquin: unexpected argument '" << a << "'\n" << kUsage;
            return 2;
        }
    }
    if (!haveDir) {
        err << kUsage;
        return 2;
    }

    const bool progress = &err == &std::cerr && ::isatty(STDERR_FILENO);
    TCliBatchHost host(separator, out, err, verbose, progress);
    if (haveOutput)
        host.SetOutputPath(outputPath);
    TBatchRun run(list, host);
    TBatchOutcome outcome;
    try {
        outcome = run.Run(options);
    } catch (const EVelquinError& e) {
        host.Flush();
        host.ClearProgress();
        err << "velquin: " << WithFullStop(e.what()) << '\n';
        return 1;
    }
    host.ClearProgress();
    if (!host.Flush(outcome != TBatchOutcome::Refused) || host.Failed()) {
        const std::string target = haveOutput ? "\"" + outputPath + "\"" : std::string("standard output");
        err << "velquin: " << WithFullStop("Cannot write " + target + ". " + std::strerror(errno)) << '\n';
        return 1;
    }
    if (verbose)
        err << "velquin: " << run.FileCount() << " files, " << run.PageCount() << " pages\n";
    return outcome == TBatchOutcome::Refused ? 1 : 0;
}

} // namespace

void AppendEscapedCell(std::string& out, std::string_view utf8)
{
    // Bytes that may need an escape: C0 controls, DEL, the backslash, and the
    // lead byte of U+0080..U+009F. Everything else is copied in runs.
    static constexpr auto kSpecial = [] {
        std::array<bool, 256> t{};
        for (int c = 0; c < 0x20; ++c)
            t[static_cast<std::size_t>(c)] = true;
        t[0x7F] = t['\\'] = t[0xC2] = true;
        return t;
    }();
    const char* p = utf8.data();
    const char* const end = p + utf8.size();
    while (p < end) {
        const char* run = p;
        while (p < end && !kSpecial[static_cast<unsigned char>(*p)])
            ++p;
        out.append(run, static_cast<std::size_t>(p - run));
        if (p == end)
            break;
        const auto c = static_cast<unsigned char>(*p++);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == 0xC2) {
            if (p < end && static_cast<unsigned char>(*p) <= 0x9F)
                appendHexEscape(out, static_cast<unsigned char>(*p++)); // U+0080..U+009F
            else
                out.push_back(static_cast<char>(c));
        } else {
            appendHexEscape(out, c);
        }
    }
}

std::string EscapeCell(std::string_view utf8)
{
    std::string out;
    AppendEscapedCell(out, utf8);
    return out;
}

bool IsCommandLineMode(const std::vector<std::string>& args)
{
    return !args.empty() && (args[0] == "--dump" || args[0] == "--batch" || args[0] == "--help" ||
                             args[0] == "-h" || args[0] == "--version");
}

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        out << kUsage;
        return 0;
    }
    if (args[0] == "--version") {
        out << "velquin " << VelquinVersion << '\n';
        return 0;
    }
    try {
        if (args[0] == "--dump")
            return runDump(args, out, err);
        if (args[0] == "--batch")
            return runBatch(args, out, err);
    } catch (const std::bad_alloc&) {
        err << "velquin: not enough memory\n";
        return 1;
    }
    err << kUsage;
    return 2;
}

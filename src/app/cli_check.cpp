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
#include <memory>
#include <ostream>

const std::string_view CheckUsage =
    "       velquin --check PATH... [--json | --quiet]\n"
    "                                      check files, and every *.tif below a folder\n";

namespace {

// Exit statuses: the worst of all files decides.
constexpr int kClean = 0;      // no file has an error
constexpr int kHasErrors = 1;  // some file has an error
constexpr int kUnreadable = 2; // some file could not be read or is not TIFF

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

/// One run over the paths of the command line.
class TCheckRun {
public:
    TCheckRun(std::ostream& out, std::ostream& err, bool json, bool quiet)
        : m_output(out), m_err(err), m_json(json), m_quiet(quiet)
    {
    }

    /// A file is checked whatever its name; a folder, every *.tif and *.tiff below it.
    void checkPath(const std::string& path)
    {
        if (IsExistingDirectory(path))
            checkFolder(path);
        else
            checkOneFile(path);
    }

    /// Writes what is buffered; false once the output cannot be written.
    bool flush() { return m_output.Write(m_buffer) && m_output.Flush(); }
    std::string failureText() const { return m_output.FailureText("standard output"); }
    int status() const { return m_status; }

private:
    void checkFolder(const std::string& root)
    {
        // The batch walk's order: a folder's own files, then each subfolder's
        // whole tree. A stack, since trees may be deeper than the call stack.
        std::vector<std::string> pending{root};
        while (!pending.empty()) {
            const std::string folder = std::move(pending.back());
            pending.pop_back();
            TDirectoryListing listing;
            try {
                listing = ListDirectory(folder);
            } catch (const EDirectoryError& e) {
                unreadable("not read", folder, e.Reason);
                continue;
            }
            for (const std::string& name : listing.TiffFiles) {
                if (m_output.Failed())
                    return; // nothing more can be told
                checkOneFile(JoinPath(folder, name));
            }
            for (auto it = listing.Subdirectories.rbegin(); it != listing.Subdirectories.rend(); ++it)
                pending.push_back(JoinPath(folder, *it));
        }
    }

    void checkOneFile(const std::string& path)
    {
        std::unique_ptr<TValueSource> source;
        TTiffFile file; // what the reader meets, the checker reports
        try {
            source = std::make_unique<TValueSource>(path);
            file.OpenSource(path, *source);
        } catch (const EFOpenError& e) {
            unreadable("not read", path, openFailureReason(e.what(), path));
            return;
        } catch (const EInvalidTiff& e) {
            unreadable("not TIFF", path, e.what());
            return;
        } catch (const EReadError& e) { // the header itself is cut short
            unreadable("not TIFF", path, e.what());
            return;
        } catch (const EOutOfMemory& e) {
            unreadable("not read", path, e.what());
            return;
        }
        const TCheckReport report = checkFile(file, *source);
        if (report.count(TSeverity::Error) > 0)
            m_status = std::max(m_status, kHasErrors);
        if (m_quiet)
            return;
        if (m_json)
            writeJson(path, file, report);
        else
            writeLines(path, report);
        if (m_buffer.size() >= kFlushSize) {
            m_output.Write(m_buffer);
            m_buffer.clear();
        }
    }

    void unreadable(std::string_view what, const std::string& path, const std::string& reason)
    {
        m_status = kUnreadable;
        if (m_quiet)
            return;
        // One write a line: standard error is not buffered.
        m_err << "velquin: " + std::string(what) + ' ' + path + ": " + reason + '\n';
        if (m_json) {
            nlohmann::ordered_json object;
            object["file"] = path;
            object["status"] = what == "not TIFF" ? "not-tiff" : "not-read";
            object["reason"] = reason;
            appendJson(object);
        }
    }

    /// PATH, directory, severity, identifier, offset and sentence, joined by TABs.
    void writeLines(const std::string& path, const TCheckReport& report)
    {
        const auto line = [&](std::string_view dir, const TProblemKindInfo& kind, const TByteRange& range,
                              const std::string& sentence) {
            AppendEscapedCell(m_buffer, path);
            m_buffer += '\t';
            m_buffer += dir.empty() ? "-" : dir;
            m_buffer += '\t';
            m_buffer += severityName(kind.Severity);
            m_buffer += '\t';
            m_buffer += kind.Identifier;
            m_buffer += '\t';
            if (range.End > range.Start)
                appendNumber(m_buffer, range.Start);
            else
                m_buffer += '-';
            m_buffer += '\t';
            AppendEscapedCell(m_buffer, sentence);
            m_buffer += '\n';
        };
        for (const TProblem& p : report.Problems)
            line(p.DirectoryId, problemKindInfo(p.Kind), p.Range, p.Sentence);
        for (const TProblemKindInfo& kind : problemKindTable())
            if (const std::uint64_t more = report.unlisted(kind.Kind))
                line({}, kind, {}, std::to_string(more) + " more like this are not listed");
    }

    void writeJson(const std::string& path, const TTiffFile& file, const TCheckReport& report)
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
        appendJson(object);
    }

    void appendJson(const nlohmann::ordered_json& object)
    {
        // A name that is not UTF-8 cannot be a JSON string: its stray bytes
        // become U+FFFD there (the TAB lines keep them).
        m_buffer += object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
        m_buffer += '\n';
    }

    static constexpr std::size_t kFlushSize = 64 * 1024;
    TOutput m_output;
    std::ostream& m_err;
    bool m_json;
    bool m_quiet;
    std::string m_buffer;
    int m_status = kClean;
};

} // namespace

int RunCheckCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    std::vector<std::string> paths;
    bool json = false;
    bool quiet = false;
    CLI::App app;
    app.add_option("--check", paths)->required();
    auto* jsonFlag = app.add_flag("--json", json);
    app.add_flag("--quiet", quiet)->excludes(jsonFlag);
    if (!ParseCommand(app, args, err))
        return ExitUsage;

    TCheckRun run(out, err, json, quiet);
    for (const std::string& path : paths)
        run.checkPath(path);
    if (!run.flush()) {
        err << "velquin: " << run.failureText() << '\n';
        return 1;
    }
    return run.status();
}

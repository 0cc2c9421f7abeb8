// velquin --dump: the tag listing of a page, as the window shows it; any
// directory of the tree in the same rows, with every value on request; or
// the whole structure as JSON.
#include "app/cli.h"
#include "app/clicommand.h"
#include "export/jsonexport.h"
#include "export/valuepages.h"
#include "tagnames/enumerations.h"
#include "tiff/detail.h"
#include "tiff/directoryrows.h"
#include "tiff/errors.h"
#include "tiff/listing.h"
#include "tiff/tiff.h"
#include "tiff/valuesource.h"

#include <CLI/CLI.hpp>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <new>
#include <optional>
#include <ostream>
#include <sys/stat.h>

const std::string_view DumpUsage =
    "       velquin --dump FILE [--page N | --all-pages | --directory ID] [--hex] [--values]\n"
    "                                      print the tag listing of a page or directory\n"
    "       velquin --dump FILE --json     print the whole structure as JSON\n";

namespace {

/// Rows, and the lines of --values after them, as TAB-joined escaped cells,
/// written in large chunks.
class TRowPrinter {
public:
    explicit TRowPrinter(TOutput& out) : m_out(out), m_buffer(kChunk + 1024) {}

    /// A row of cells: strings of a built listing, or the views a streamed one hands over.
    template <class Cells> void row(const Cells& cells)
    {
        // Room for the row escaped at most, each cell with its TAB or end of line.
        std::size_t room = 0;
        for (const auto& cell : cells)
            room += 4 * cell.size() + 1;
        if (m_buffer.size() - m_used < room + 1)
            m_buffer.resize(m_used + room + 1);
        char* p = m_buffer.data() + m_used;
        bool first = true;
        for (const auto& cell : cells) {
            if (!first)
                *p++ = '\t';
            first = false;
            p = WriteEscapedCell(p, cell);
        }
        *p++ = '\n';
        m_used = static_cast<std::size_t>(p - m_buffer.data());
        if (m_used >= kChunk)
            flush();
    }
    /// "+ TAB first TAB second [TAB third]": a line of --values. Rows begin
    /// with a number or an empty cell, so "+" tells these lines apart.
    void valueLine(std::string_view first, std::string_view second, const std::optional<std::string>& third = {})
    {
        if (third)
            row(std::array<std::string_view, 4>{"+", first, second, *third});
        else
            row(std::array<std::string_view, 3>{"+", first, second});
    }
    bool flush()
    {
        const bool ok = m_out.Write({m_buffer.data(), m_used});
        m_used = 0;
        return ok;
    }
    bool failed() const { return m_out.Failed(); }

private:
    static constexpr std::size_t kChunk = 1 << 16;
    TOutput& m_out;
    std::vector<char> m_buffer;
    std::size_t m_used = 0;
};

/// Prints every value of an entry as value lines: its index, its text and,
/// for an enumerated tag, the value's name. Texts (Ascii) are split at their
/// NULs, a line for each. A last line "+ TAB ... TAB reason" says why values
/// are missing.
void printValues(TRowPrinter& out, TValueReader& reader, const TEntry& entry, TDirectoryKind kind)
{
    std::uint64_t index = 0;
    const auto indexText = [&] { return std::to_string(index++); };
    TValueEnd end;
    if (entry.Type == 2) {
        TAsciiSplitter strings;
        const auto done = [&](std::string&& text) {
            out.valueLine(indexText(), text, enumerationName(kind, entry.Tag, std::string_view(text)));
        };
        end = reader.forEachPage(
            entry, [&](const TValueDecoder&, std::uint64_t, std::span<const std::uint8_t> b) { strings.add(b, done); });
        strings.finish(done);
    } else {
        end = reader.forEachPage(entry, [&](const TValueDecoder& items, std::uint64_t, auto) {
            for (std::size_t i = 0; i < items.size() && !out.failed(); ++i) {
                const TValueItem item = items.item(i);
                const std::optional<std::int64_t> number = integerValue(item);
                out.valueLine(indexText(), itemText(item),
                              number ? enumerationName(kind, entry.Tag, *number) : std::nullopt);
            }
        });
    }
    switch (end) {
    case TValueEnd::Whole:
        break;
    case TValueEnd::EndOfFile:
        out.valueLine("...", "the value runs past the end of the file: " + std::to_string(reader.itemsInFile(entry)) +
                                 " of its " + std::to_string(entry.Count) + " items lie in it");
        break;
    case TValueEnd::Budget:
        out.valueLine("...", "the rest is left out: the file's entries share their bytes, and whole they would "
                             "take more than twice the file's size");
        break;
    case TValueEnd::Unknown:
        out.valueLine("...", TEntry::TypeSize(entry.Type) == 0
                                 ? "the values cannot be decoded: the type has no known size"
                                 : "the values cannot be decoded: the entry ends before their position");
        break;
    }
}

/// Prints the rows that forEachRow hands to its argument, one at a time, and
/// returns whether the listing failed; with values, the values of each entry
/// of directory follow its row. A listing that failed is told on err; returns 1 then.
template <class ForEachRow>
int printListing(const ForEachRow& forEachRow, const TDirectory* directory, TValueReader* values, TOutput& output,
                 std::ostream& err)
{
    TRowPrinter out(output);
    const bool withValues = values && directory;
    std::size_t i = 0;
    const bool failed = forEachRow([&](const auto& row) {
        out.row(row);
        // Full rows only: the row of an unread entry stops after its Tag nr.
        if (withValues && i >= FirstTagRow && i - FirstTagRow < directory->Entries.size() && row.size() == 8)
            printValues(out, *values, directory->Entries[i - FirstTagRow], directory->Kind);
        ++i;
    });
    out.flush();
    if (!failed)
        return 0;
    if (!output.Failed()) {
        output.Flush(); // the rows before the message, as a terminal shows them
        err << "Input file wrong\n";
    }
    return 1;
}

/// The rows of a listing built whole, for printListing.
auto builtRows(const TListing& listing)
{
    return [&listing](const auto& row) {
        for (const TListingRow& cells : listing.Rows)
            row(cells);
        return listing.Failed;
    };
}

/// A page number from 1 up; anything else (0, negative, not a number, too large) is refused.
bool parsePageNumber(const std::string& text, int& page)
{
    const auto r = std::from_chars(text.data(), text.data() + text.size(), page);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && page >= 1;
}

/// Empty when path names a regular file, else the reason it cannot be read.
std::string unreadableReason(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::strerror(errno);
    if (S_ISDIR(st.st_mode))
        return "Is a directory";
    if (!S_ISREG(st.st_mode))
        return "Not a regular file";
    return {};
}

/// "1, 1/exif, 2": the ids a --directory may name, the first few of them.
std::string directoryIds(const TTiffFile& file)
{
    constexpr std::size_t kShown = 20;
    std::string ids;
    for (std::size_t i = 0; i < file.Directories.size() && i < kShown; ++i)
        ids += (i ? ", " : "") + file.Directories[i].Id;
    if (file.Directories.size() > kShown)
        ids += ", ...";
    return ids.empty() ? "none" : ids;
}

/// The result of a command whose output may have failed.
int finish(TOutput& output, int status, std::ostream& err)
{
    if (!output.Flush()) {
        err << "velquin: " << output.FailureText("standard output") << '\n';
        return 1;
    }
    return status;
}

} // namespace

int RunDumpCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    std::string path;
    std::string pageText;
    std::string directoryId;
    bool allPages = false;
    bool hex = false;
    bool json = false;
    bool values = false;
    CLI::App app;
    app.add_option("--dump", path)->required();
    auto* pageOption = app.add_option("--page", pageText);
    auto* allOption = app.add_flag("--all-pages", allPages)->excludes(pageOption);
    auto* directoryOption = app.add_option("--directory", directoryId)->excludes(pageOption, allOption);
    auto* hexOption = app.add_flag("--hex", hex);
    auto* valuesOption = app.add_flag("--values", values);
    app.add_flag("--json", json)->excludes(pageOption, allOption, directoryOption, hexOption, valuesOption);
    if (!ParseCommand(app, args, err))
        return ExitUsage;

    int page = 1;
    if (pageOption->count() > 0) {
        if (!parsePageNumber(pageText, page)) {
            err << "velquin: --page takes a page number from 1 to the number of pages, not '" << pageText << "'\n";
            return ExitUsage;
        }
    }
    if (const std::string reason = unreadableReason(path); !reason.empty()) {
        err << WithFullStop("Cannot open file \"" + path + "\". " + reason) << '\n';
        return 1;
    }

    // The plain listing needs the pages alone, and reads fastest that way.
    const bool tree = json || values || directoryOption->count() > 0;
    std::vector<TReaderMessage> messages;
    TTiffFile file(
        [&](const TReaderMessage& message) {
            if (!message.Text.empty())
                err << message.Text << '\n';
            if (json)
                messages.push_back(message);
        },
        tree ? TReadScope::Everything : TReadScope::Pages);
    TOutput output(out);
    try {
        file.Open(path);
        if (pageOption->count() > 0 && page > file.PageCount()) {
            err << "velquin: --page " << page << " is past the last page: " << path << " has " << file.PageCount()
                << (file.PageCount() == 1 ? " page\n" : " pages\n");
            return ExitUsage;
        }
        std::optional<TValueSource> source;
        if (tree)
            source.emplace(path);
        if (json) {
            // Damage does not fail the command: the document describes it.
            WriteJson(file, messages, *source, [&](std::string_view chunk) { return output.Write(chunk); });
            return finish(output, 0, err);
        }
        if (source && !(source->Stamp() == file.Stamp))
            throw EVelquinError("the file changed while it was read: " + path);
        std::optional<TValueReader> reader;
        if (values)
            reader.emplace(file, *source);

        TValueReader* const valueReader = reader ? &*reader : nullptr;
        if (directoryOption->count() > 0) {
            const std::optional<std::size_t> index = FindDirectory(file, directoryId);
            if (!index) {
                err << "velquin: --directory " << directoryId << ": " << path << " has no such directory (it has "
                    << directoryIds(file) << ")\n";
                return ExitUsage;
            }
            const TListing listing = BuildDirectoryListing(file, *index, *source, hex);
            const int status = printListing(builtRows(listing), &file.Directories[*index], valueReader, output, err);
            return finish(output, status, err);
        }
        int status = 0;
        const int first = allPages ? 1 : page;
        // A file without pages still lists its header rows and reports page 1 missing.
        const int last = allPages ? std::max(1, file.PageCount()) : page;
        for (int p = first; p <= last && !output.Failed(); ++p) {
            // A page's rows are written as they are made: a page of 65,535
            // entries lists without a string per cell.
            const auto rows = [&](const auto& row) { return ForEachListingRow(file, p, hex, row); };
            const std::optional<std::size_t> index = tree ? pageDirectory(file, p) : std::nullopt;
            status |= printListing(rows, index ? &file.Directories[*index] : nullptr, valueReader, output, err);
        }
        return finish(output, status, err);
    } catch (const EVelquinError& e) {
        output.Flush();
        err << WithFullStop(e.what()) << '\n';
        return 1;
    } catch (const std::bad_alloc&) {
        // Memory that runs out while the listing is built is reported like the reader's.
        output.Flush();
        err << WithFullStop(EOutOfMemory(path).what()) << '\n';
        return 1;
    }
}

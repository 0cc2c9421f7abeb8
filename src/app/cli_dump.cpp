// velquin --dump: the tag listing of a page, as the window shows it.
#include "app/cli.h"
#include "app/clicommand.h"
#include "tiff/errors.h"
#include "tiff/listing.h"
#include "tiff/tiff.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <new>
#include <ostream>
#include <sys/stat.h>

const std::string_view DumpUsage = "       velquin --dump FILE [--page N | --all-pages] [--hex]\n"
                                   "                                      print the tag listing of a page\n";

namespace {

/// Writes the listing of a page as TAB-joined escaped cells, in large chunks,
/// row by row as it is built; returns whether the listing failed.
bool printListing(const TTiffFile& file, int page, bool hex, TOutput& out)
{
    constexpr std::size_t kChunk = 1 << 16;
    std::vector<char> buffer(kChunk);
    std::size_t used = 0;
    const auto flush = [&] {
        out.Write({buffer.data(), used}); // after a failure it writes nothing more
        used = 0;
    };
    const bool failed = ForEachListingRow(file, page, hex, [&](TListingCells row) {
        // Room for the row escaped at most, each cell with its TAB or end of line.
        std::size_t room = 0;
        for (const std::string_view cell : row)
            room += 4 * cell.size() + 1;
        if (buffer.size() - used < room + 1) {
            flush();
            if (buffer.size() < room + 1)
                buffer.resize(room + 1);
        }
        char* p = buffer.data() + used;
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i)
                *p++ = '\t';
            p = WriteEscapedCell(p, row[i]);
        }
        *p++ = '\n';
        used = static_cast<std::size_t>(p - buffer.data());
    });
    flush();
    return failed;
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

} // namespace

int RunDumpCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    std::string path;
    std::string pageText;
    bool allPages = false;
    bool hex = false;
    CLI::App app;
    app.add_option("--dump", path)->required();
    auto* pageOption = app.add_option("--page", pageText);
    app.add_flag("--all-pages", allPages)->excludes(pageOption);
    app.add_flag("--hex", hex);
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
    if (pageOption->count() > 0 && page > file.PageCount()) {
        err << "velquin: --page " << page << " is past the last page: " << path << " has " << file.PageCount()
            << (file.PageCount() == 1 ? " page\n" : " pages\n");
        return ExitUsage;
    }

    TOutput output(out);
    int status = 0;
    const int first = allPages ? 1 : page;
    // A file without pages still lists its header rows and reports page 1 missing.
    const int last = allPages ? std::max(1, file.PageCount()) : page;
    try { // memory that runs out while the listing is built is reported like the reader's
        for (int p = first; p <= last && !output.Failed(); ++p) {
            if (printListing(file, p, hex, output)) {
                output.Flush();
                err << "Input file wrong\n";
                status = 1;
            }
        }
    } catch (const std::bad_alloc&) {
        output.Flush();
        err << WithFullStop(EOutOfMemory(path).what()) << '\n';
        return 1;
    }
    if (!output.Flush()) {
        err << "velquin: " << output.FailureText("standard output") << '\n';
        return 1;
    }
    return status;
}

#include "app/cli.h"

#include "tiff/errors.h"
#include "tiff/listing.h"
#include "tiff/tiff.h"

#include <charconv>
#include <ostream>
#include <sys/stat.h>

namespace {

constexpr const char* kUsage =
    "Usage: velquin [FILE]                 open FILE in the viewer window\n"
    "       velquin --dump FILE [--page N | --all-pages] [--hex]\n"
    "                                      print the tag listing of a page\n"
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
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        err << WithFullStop("Cannot open file \"" + path + "\". No such file") << '\n';
        return 1;
    }

    TTiffFile file([&err](const std::string& message) { err << message << '\n'; });
    try {
        file.Open(path);
    } catch (const EVelquinError& e) {
        err << WithFullStop(e.what()) << '\n';
        return 1;
    }

    int status = 0;
    const int first = allPages ? 1 : page;
    const int last = allPages ? file.PageCount() : page;
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
}

} // namespace

void AppendEscapedCell(std::string& out, std::string_view utf8)
{
    std::size_t plain = 0; // start of the run copied as it is
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const bool c1 = c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) <= 0x9F;
        if (c >= 0x20 && c != 0x7F && c != '\\' && !c1)
            continue;
        out.append(utf8.substr(plain, i - plain));
        if (c == '\\')
            out += "\\\\";
        else if (c1)
            appendHexEscape(out, static_cast<unsigned char>(utf8[++i])); // U+0080..U+009F
        else
            appendHexEscape(out, c);
        plain = i + 1;
    }
    out.append(utf8.substr(plain));
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
    if (args[0] == "--dump")
        return runDump(args, out, err);
    err << kUsage;
    return 2;
}

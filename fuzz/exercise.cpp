#include "exercise.h"

#include "tiff/errors.h"
#include "tiff/listing.h"
#include "tiff/tiff.h"

#include <charconv>
#include <memory>
#include <sys/mman.h>
#include <unistd.h>

namespace {

using Problems = std::vector<std::string>;

void expect(Problems& out, bool ok, std::string what)
{
    if (!ok)
        out.push_back(std::move(what));
}

/// A file object opened on bytes, with what it reported.
struct Opened {
    std::vector<std::string> messages;
    std::unique_ptr<TTiffFile> file;
    std::string error; ///< the header error's text, empty when the header passed

    Opened() : file(std::make_unique<TTiffFile>([this](const std::string& m) { messages.push_back(m); })) {}
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;

    // Only the header may raise, and only with the errors Open documents.
    template <class OpenFn> void open(OpenFn&& fn)
    {
        try {
            fn(*file);
        } catch (const EReadError& e) {
            error = e.what();
        } catch (const EInvalidTiff& e) {
            error = e.what();
        }
    }
};

bool validUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

bool isDigits(std::string_view s)
{
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

bool headerIsTiff(std::span<const std::uint8_t> b)
{
    return b.size() >= 8 && ((b[0] == 'I' && b[1] == 'I' && b[2] == 42 && b[3] == 0) ||
                             (b[0] == 'M' && b[1] == 'M' && b[2] == 0 && b[3] == 42));
}

// The same bytes as a file, so the file road (its read windows and their reuse)
// is checked against the buffer road. A memory file keeps the disk out of it.
std::string scratchFile(std::span<const std::uint8_t> bytes)
{
    static const int fd = ::memfd_create("velquin-fuzz", MFD_CLOEXEC);
    if (fd < 0 || ::ftruncate(fd, 0) != 0)
        return {};
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t r = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (r <= 0)
            return {};
        done += static_cast<std::size_t>(r);
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

void compareRoads(Problems& out, const Opened& mem, const Opened& disk)
{
    const TTiffFile& a = *mem.file;
    const TTiffFile& b = *disk.file;
    expect(out, mem.error == disk.error, "header error differs between buffer and file: '" + mem.error + "' / '" +
                                             disk.error + "'");
    expect(out, mem.messages == disk.messages, "reader messages differ between buffer and file");
    expect(out, a.ByteOrder == b.ByteOrder, "byte order differs between buffer and file");
    if (a.PageCount() != b.PageCount()) {
        out.push_back("page count differs between buffer and file: " + std::to_string(a.PageCount()) + " / " +
                      std::to_string(b.PageCount()));
        return;
    }
    for (int p = 0; p < a.PageCount(); ++p) {
        const TTags& ta = a.Pages.GetPage(p)->Tags;
        const TTags& tb = b.Pages.GetPage(p)->Tags;
        if (ta.Count() != tb.Count()) {
            out.push_back("entry count of page " + std::to_string(p + 1) + " differs between buffer and file");
            continue;
        }
        for (int i = 0; i < ta.Count(); ++i) {
            const TTag& x = *ta.GetTag(i);
            const TTag& y = *tb.GetTag(i);
            const bool same = x.IsRead() == y.IsRead() && x.Number() == y.Number() && x.FieldType == y.FieldType &&
                              x.Count == y.Count && x.ValueText == y.ValueText && x.EntryPos == y.EntryPos &&
                              x.ValuePos == y.ValuePos;
            if (!same)
                out.push_back("entry " + std::to_string(i + 1) + " of page " + std::to_string(p + 1) +
                              " differs between buffer and file");
        }
    }
}

// A position or count cell: decimal and hexadecimal must name one 32-bit value,
// the hexadecimal form upper case without leading zeros.
bool numberCellsAgree(const std::string& dec, const std::string& hex)
{
    std::int32_t d = 0;
    std::uint32_t h = 0;
    const auto rd = std::from_chars(dec.data(), dec.data() + dec.size(), d);
    const auto rh = std::from_chars(hex.data(), hex.data() + hex.size(), h, 16);
    const bool parsed = rd.ec == std::errc() && rd.ptr == dec.data() + dec.size() && rh.ec == std::errc() &&
                        rh.ptr == hex.data() + hex.size();
    const bool shape = !hex.empty() && hex.find_first_not_of("0123456789ABCDEF") == std::string::npos &&
                       (hex == "0" || hex[0] != '0');
    return parsed && shape && static_cast<std::uint32_t>(d) == h;
}

// Texts of failures are built only when something fails: a listing has tens of
// thousands of cells, and the fuzzer's time limit is one second.
std::string cellName(int page, std::size_t row, std::size_t column)
{
    return "page " + std::to_string(page) + " row " + std::to_string(row) + " column " + std::to_string(column);
}

void checkListing(Problems& out, const TTiffFile& file, int pageNumber)
{
    const TListing dec = BuildListing(file, pageNumber, false);
    const TListing hex = BuildListing(file, pageNumber, true);
    const TTiffPage* page = file.Pages.GetPage(pageNumber - 1);
    const auto fail = [&](const std::string& what) { out.push_back("page " + std::to_string(pageNumber) + ": " + what); };
    if (!page) {
        if (!dec.Failed || dec.Rows.size() != static_cast<std::size_t>(FirstTagRow))
            fail("a missing page was listed");
        return;
    }
    bool unread = false;
    for (const TTag& tag : page->Tags)
        unread = unread || !tag.IsRead();
    if (dec.Failed != unread)
        fail("listing failure does not match an unread entry");
    if (hex.Failed != dec.Failed)
        fail("decimal and hexadecimal listings end differently");
    if (dec.Rows.size() != hex.Rows.size()) {
        fail("decimal and hexadecimal listings differ in length");
        return;
    }
    for (std::size_t r = 0; r < dec.Rows.size(); ++r) {
        const TListingRow& d = dec.Rows[r];
        const TListingRow& h = hex.Rows[r];
        if (d.size() != h.size() || d.size() > 8) {
            fail("row " + std::to_string(r) + ": cell counts differ or exceed the eight columns");
            continue;
        }
        for (std::size_t c = 0; c < d.size(); ++c) {
            const bool numeric = r >= static_cast<std::size_t>(FirstTagRow) && d.size() == 8 &&
                                 (c == 1 || c == 6 || c == 7);
            if (numeric) {
                if (!numberCellsAgree(d[c], h[c]))
                    out.push_back(cellName(pageNumber, r, c) + ": decimal '" + d[c] + "' and hexadecimal '" + h[c] +
                                  "' disagree");
            } else if (d[c] != h[c]) {
                out.push_back(cellName(pageNumber, r, c) + " depends on the display mode");
            } else if (!validUtf8(d[c])) {
                out.push_back(cellName(pageNumber, r, c) + " is not UTF-8");
            }
        }
    }
}

void checkStatusTexts(Problems& out, const TTiffFile& file)
{
    expect(out, validUtf8(FileNamePanelText(file.FileName)), "file name panel is not UTF-8");
    for (int p = 0; p < file.PageCount(); ++p) {
        const TTiffPage& page = *file.Pages.GetPage(p);
        if (!PagesPanelText(p + 1, file.PageCount()).starts_with("Page "))
            out.push_back("pages panel text");
        try {
            if (!FileInfoPanelText(page, ",").starts_with("Width: "))
                out.push_back("size panel text");
        } catch (const EConvertError&) { // a size entry that is not a whole number
        } catch (const EMathError&) {    // a resolution of 0
        }
        for (const TTag& tag : page.Tags) {
            if (tag.IsRead())
                continue;
            bool refused = false;
            try {
                (void)tag.TagName();
            } catch (const EConvertError&) {
                refused = true;
            }
            if (!refused)
                out.push_back("an unread entry has a name");
        }
    }
}

} // namespace

std::vector<std::string> ExerciseReader(std::span<const std::uint8_t> bytes)
{
    Problems out;
    Opened mem;
    mem.open([&](TTiffFile& f) { f.OpenBuffer("fuzz input.tif", bytes); });
    const TTiffFile& file = *mem.file;

    expect(out, mem.error.empty() == headerIsTiff(bytes),
           "header verdict is wrong: '" + mem.error + "' for " + std::to_string(bytes.size()) + " bytes");
    if (!mem.error.empty())
        expect(out, file.PageCount() == 0, "a refused header left pages");
    // At most one "streamsize" and one position message per directory, so a
    // damaged file cannot bury the user in message boxes.
    expect(out, mem.messages.size() <= 2 * static_cast<std::size_t>(file.PageCount()),
           std::to_string(mem.messages.size()) + " messages for " + std::to_string(file.PageCount()) + " pages");
    for (const std::string& m : mem.messages)
        if (m != "streamsize" && !isDigits(m))
            out.push_back("unexpected reader message '" + m + "'");

    if (const std::string path = scratchFile(bytes); !path.empty()) {
        Opened disk;
        disk.open([&](TTiffFile& f) { f.Open(path); });
        compareRoads(out, mem, disk);
    }

    for (int p = 0; p <= file.PageCount() + 1; ++p) // one missing page on each side
        checkListing(out, file, p);
    checkStatusTexts(out, file);
    return out;
}

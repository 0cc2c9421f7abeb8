#include "exercise.h"

#include "batch/batchrun.h"
#include "batch/results.h"
#include "batch/searchlist.h"
#include "check/checker.h"
#include "tiff/errors.h"
#include "tiff/listing.h"
#include "tiff/tiff.h"
#include "tiff/valuesource.h"

#include <charconv>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <set>
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
    std::vector<TReaderMessage> messages;
    std::unique_ptr<TTiffFile> file;
    std::string error; ///< the header error's text, empty when the header passed

    Opened() : file(std::make_unique<TTiffFile>([this](const TReaderMessage& m) { messages.push_back(m); })) {}
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
    const bool ii = b.size() >= 4 && b[0] == 'I' && b[1] == 'I';
    const bool mm = b.size() >= 4 && b[0] == 'M' && b[1] == 'M';
    const auto word = [&](std::size_t i) { return ii ? b[i] | b[i + 1] << 8 : b[i] << 8 | b[i + 1]; };
    if (!ii && !mm)
        return false;
    if (word(2) == 42)
        return b.size() >= 8;
    // BigTIFF: offsets of 8 bytes, a reserved 0, then the first offset.
    return word(2) == 43 && b.size() >= 16 && word(4) == 8 && word(6) == 0;
}

// One directory per process, on tmpfs where there is one, holding the input
// as its only TIFF file: Open's file road (its read windows and their reuse)
// and the batch run read it there.
class ScratchDirectory {
public:
    static constexpr std::string_view FileName = "fuzz input.tif";

    ScratchDirectory()
    {
        for (const char* base : {"/dev/shm", "/tmp"}) {
            std::string dir = std::string(base) + "/velquin-fuzz-XXXXXX";
            if (::mkdtemp(dir.data())) {
                m_dir = dir;
                m_file = dir + "/" + std::string(FileName);
                return;
            }
        }
    }
    ~ScratchDirectory()
    {
        if (!m_dir.empty()) {
            ::unlink(m_file.c_str());
            ::rmdir(m_dir.c_str());
        }
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::string& Directory() const { return m_dir; }
    const std::string& File() const { return m_file; }

    bool Write(std::span<const std::uint8_t> bytes) const
    {
        if (m_dir.empty())
            return false;
        const int fd = ::open(m_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t r = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (r <= 0)
                break;
            done += static_cast<std::size_t>(r);
        }
        return ::close(fd) == 0 && done == bytes.size();
    }

private:
    std::string m_dir;
    std::string m_file;
};

const ScratchDirectory& scratch()
{
    static const ScratchDirectory dir;
    return dir;
}

void compareRoads(Problems& out, const Opened& mem, const Opened& disk)
{
    const TTiffFile& a = *mem.file;
    const TTiffFile& b = *disk.file;
    expect(out, mem.error == disk.error, "header error differs between buffer and file: '" + mem.error + "' / '" +
                                             disk.error + "'");
    expect(out, mem.messages == disk.messages, "reader messages differ between buffer and file");
    expect(out, a.ByteOrder == b.ByteOrder, "byte order differs between buffer and file");
    bool sameTree =
        a.Directories.size() == b.Directories.size() && a.DirectoryRanges.size() == b.DirectoryRanges.size();
    for (std::size_t i = 0; sameTree && i < a.Directories.size(); ++i) {
        const TDirectory& x = a.Directories[i];
        const TDirectory& y = b.Directories[i];
        sameTree =
            x.Id == y.Id && x.Offset == y.Offset && x.StoredCount == y.StoredCount && x.Next == y.Next &&
            x.Complete == y.Complete && x.Entries.size() == y.Entries.size() &&
            std::equal(x.Entries.begin(), x.Entries.end(), y.Entries.begin(), [](const TEntry& l, const TEntry& r) {
                return l.Position == r.Position && l.Count == r.Count && l.ValueOffset == r.ValueOffset &&
                       l.Tag == r.Tag && l.Type == r.Type && l.Stored == r.Stored && l.Inline == r.Inline;
            });
    }
    expect(out, sameTree, "directory trees differ between buffer and file");
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

// A position or count cell: decimal and hexadecimal must name one 32-bit value
// (64-bit and unsigned in a BigTIFF file), the hexadecimal form upper case
// without leading zeros.
template <class Decimal, class Hex> bool numberCellsAgree(const std::string& dec, const std::string& hex)
{
    Decimal d = 0;
    Hex h = 0;
    const auto rd = std::from_chars(dec.data(), dec.data() + dec.size(), d);
    const auto rh = std::from_chars(hex.data(), hex.data() + hex.size(), h, 16);
    const bool parsed = rd.ec == std::errc() && rd.ptr == dec.data() + dec.size() && rh.ec == std::errc() &&
                        rh.ptr == hex.data() + hex.size();
    const bool shape = !hex.empty() && hex.find_first_not_of("0123456789ABCDEF") == std::string::npos &&
                       (hex == "0" || hex[0] != '0');
    return parsed && shape && static_cast<Hex>(d) == h;
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
            // A tag row has eight cells; the row of an unread entry stops after Tag nr.
            const bool tagRow = r >= static_cast<std::size_t>(FirstTagRow) && (d.size() == 8 || d.size() == 3);
            const bool numeric = tagRow && (c == 1 || c == 6 || c == 7);
            if (numeric) {
                const bool agree = file.IsBigTiff() ? numberCellsAgree<std::uint64_t, std::uint64_t>(d[c], h[c])
                                                    : numberCellsAgree<std::int32_t, std::uint32_t>(d[c], h[c]);
                if (!agree)
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

/// Collects what a batch run shows.
class CollectingHost : public TBatchHost {
public:
    std::string Separator() override { return ","; }
    void ClearResults() override { Lines.clear(); }
    void AppendResultLine(const std::string& line) override { Lines.push_back(line); }
    void ShowCounters(std::int64_t, std::int64_t) override {}
    void ShowStatus(const std::string&) override {}
    void ShowFile(const std::string&) override {}
    void ShowRefusal(const std::string& text) override { Refusals.push_back(text); }
    void ShowReaderMessage(const std::string&, const TReaderMessage& m) override { Messages.push_back(m); }

    std::vector<std::string> Lines;
    std::vector<std::string> Refusals;
    std::vector<TReaderMessage> Messages;
};

// What Save writes of a line: every break inside a value as CR LF, and CR LF at its end.
bool savesAsCrLfLines(const std::string& line)
{
    std::string saved;
    AppendSavedLine(saved, line);
    if (!saved.ends_with("\r\n"))
        return false;
    for (std::size_t i = 0; i < saved.size(); ++i) {
        if (saved[i] == '\r' && (i + 1 == saved.size() || saved[i + 1] != '\n'))
            return false;
        if (saved[i] == '\n' && (i == 0 || saved[i - 1] != '\r'))
            return false;
    }
    return true;
}

// The batch run over a directory holding the input, with the default options
// and every default entry of the search list checked. Its lines must be what
// the rule gives for the pages read from memory: path, name, page, then per
// entry the trimmed value of every tag whose number text equals the entry's
// digits, or an empty field.
void checkBatch(Problems& out, const Opened& mem)
{
    TTagSearchList list;
    for (int i = 0; i < list.Count(); ++i)
        list.SetChecked(i, true);
    CollectingHost host;
    TBatchRun run(list, host);
    TBatchOptions options;
    options.StartDir = scratch().Directory();
    try {
        if (run.Run(options) != TBatchOutcome::Finished)
            out.push_back("batch run did not finish");
    } catch (const EVelquinError& e) {
        out.push_back(std::string("batch run failed: ") + e.what());
        return;
    }
    if (!host.Refusals.empty())
        out.push_back("batch run refused: " + host.Refusals.front());
    // The batch reads the pages alone: their messages, none from below a page.
    std::vector<TReaderMessage> ofPages;
    for (const TReaderMessage& m : mem.messages)
        if (m.DirectoryId.find('/') == std::string::npos)
            ofPages.push_back(m);
    if (host.Messages != ofPages)
        out.push_back("batch run relayed other reader messages than the reader gave");

    const TTiffFile& file = *mem.file;
    const std::size_t pages = mem.error.empty() ? static_cast<std::size_t>(file.PageCount()) : 0;
    if (host.Lines.size() != 1 + pages) {
        out.push_back("batch run wrote " + std::to_string(host.Lines.size()) + " lines for " + std::to_string(pages) +
                      " pages");
        return;
    }
    if (run.FileCount() != (mem.error.empty() ? 1 : 0) || run.PageCount() != static_cast<std::int64_t>(pages))
        out.push_back("batch counters are wrong");

    std::string expected;
    AppendQuoted(expected, "Path");
    expected += ",";
    AppendQuoted(expected, "Filename");
    expected += ",";
    AppendQuoted(expected, "Page");
    for (const TTagSearchEntry& entry : list.Entries()) {
        expected += ",";
        AppendQuoted(expected, EntryTagName(entry.Text));
    }
    if (host.Lines[0] != expected)
        out.push_back("batch header line is '" + host.Lines[0] + "'");

    std::vector<std::string> numbers; // the number text of each entry, made once per page
    for (std::size_t p = 0; p < pages; ++p) {
        const TTiffPage& page = *file.Pages.GetPage(static_cast<int>(p));
        numbers.clear();
        for (const TTag& tag : page.Tags)
            numbers.push_back(tag.TagNr());
        expected.clear();
        AppendQuoted(expected, scratch().File());
        expected += ",";
        AppendQuoted(expected, ScratchDirectory::FileName);
        expected += ",";
        AppendQuoted(expected, std::to_string(p + 1));
        for (const TTagSearchEntry& entry : list.Entries()) {
            const std::string digits = EntryTagNumber(entry.Text);
            bool matched = false;
            int i = 0;
            for (const TTag& tag : page.Tags) {
                if (numbers[static_cast<std::size_t>(i++)] == digits) {
                    expected += ",";
                    appendValueField(expected, TrimBlanksAndControls(tag.ValueText));
                    matched = true;
                }
            }
            if (!matched)
                expected += ",\"\"";
        }
        const std::string& line = host.Lines[1 + p];
        if (line != expected)
            out.push_back("batch line of page " + std::to_string(p + 1) + " differs from the rule");
        if (!validUtf8(line) || line.find('\0') != std::string::npos)
            out.push_back("batch line of page " + std::to_string(p + 1) + " is not fit for the pane");
        if (!savesAsCrLfLines(line))
            out.push_back("batch line of page " + std::to_string(p + 1) + " is not saved as CR LF lines");
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

void checkMessages(Problems& out, const Opened& mem)
{
    const TTiffFile& file = *mem.file;
    // At most one "streamsize" and one position message per page, so that a
    // damaged file cannot bury the user in message boxes; the structure views'
    // messages at most one per directory and per entry.
    std::size_t shown = 0;
    std::size_t entries = 0;
    for (const TDirectory& d : file.Directories)
        entries += d.Entries.size();
    for (const TReaderMessage& m : mem.messages) {
        if (!m.Text.empty())
            ++shown;
        if (!m.Text.empty() && m.Text != "streamsize" && !isDigits(m.Text))
            out.push_back("unexpected reader message '" + m.Text + "'");
        if (m.Sentence.empty() || !validUtf8(m.Sentence))
            out.push_back("a reader message without a sentence: '" + m.Text + "'");
    }
    expect(out, shown <= 2 * static_cast<std::size_t>(file.PageCount()),
           std::to_string(shown) + " messages for " + std::to_string(file.PageCount()) + " pages");
    expect(out, mem.messages.size() - shown <= 2 * file.Directories.size() + entries + 2,
           std::to_string(mem.messages.size() - shown) + " messages of the structure views");
}

// The directory tree: pages in chain order, each followed by the directories
// below it depth first; every offset read once; entries as stored agree with
// the listing's entries; ranges inside the file.
void checkTree(Problems& out, const TTiffFile& file, std::size_t size)
{
    const auto& dirs = file.Directories;
    const std::uint64_t entrySize = file.IsBigTiff() ? 20 : 12;
    const std::uint64_t fieldSize = file.IsBigTiff() ? 8 : 4;
    std::set<std::uint64_t> offsets;
    int pages = 0;
    for (std::size_t i = 0; i < dirs.size(); ++i) {
        const TDirectory& d = dirs[i];
        const auto fail = [&](const std::string& what) { out.push_back("directory " + d.Id + ": " + what); };
        if (!offsets.insert(d.Offset).second)
            fail("its offset was read before");
        if (d.Kind == TDirectoryKind::Page) {
            if (d.Parent != -1 || d.Page != pages || d.Id != std::to_string(pages + 1))
                fail("a page out of the chain's order");
            const TTiffPage* page = file.Pages.GetPage(pages++);
            if (!page || static_cast<int>(d.Entries.size()) != page->Tags.Count()) {
                fail("entries differ from the page's");
                continue;
            }
            for (std::size_t k = 0; k < d.Entries.size(); ++k) {
                const TTag& tag = *page->Tags.GetTag(static_cast<int>(k));
                const TEntry& e = d.Entries[k];
                const bool same =
                    tag.IsRead() == (e.Stored >= 2) && (!tag.IsRead() || tag.Number() == e.Tag) &&
                    (!tag.IsRead() ||
                     static_cast<std::uint64_t>(tag.EntryPos) ==
                         (file.IsBigTiff() ? e.Position
                                           : static_cast<std::uint64_t>(static_cast<std::int32_t>(e.Position))));
                if (!same)
                    fail("entry " + std::to_string(k + 1) + " differs from the listing's");
            }
        } else {
            const int p = d.Parent;
            if (p < 0 || static_cast<std::size_t>(p) >= i || !d.Id.starts_with(dirs[p].Id + "/") || d.Page != -1 ||
                d.Next) {
                fail("not a sub-directory of its parent");
                continue;
            }
            // Depth first: the directory before this one is its parent or lies below it.
            int up = static_cast<int>(i) - 1;
            while (up != p && up >= 0)
                up = dirs[up].Parent;
            if (up != p)
                fail("out of depth-first order");
        }
        for (const TEntry& e : d.Entries) {
            if (e.Stored > entrySize || (e.Stored == entrySize && e.Inline != (e.ValueBytes() <= fieldSize)) ||
                (e.Inline && e.ValueOffset != e.Position + 4 + fieldSize)) {
                fail("an entry's value lies elsewhere than its fields say");
                break;
            }
        }
    }
    expect(out, pages == file.PageCount(), "the tree holds other pages than the chain");
    expect(out, file.DirectoryRanges.size() <= dirs.size(), "more directory ranges than directories");
    for (const TByteRange& r : file.DirectoryRanges)
        if (r.Start >= r.End || r.End > size)
            out.push_back("a directory range outside the file");
}

// The checker over the bytes read: each kind listed up to its limit, findings
// that name directories and entries the file has, sentences filled in, and a
// layout in order inside the file whose gaps lie apart from every part.
void checkFindings(Problems& out, const TTiffFile& file, std::span<const std::uint8_t> bytes)
{
    TValueSource source(bytes);
    const TCheckReport report = checkFile(file, source);
    std::array<std::uint64_t, ProblemKindCount> listed{};
    for (const TProblem& p : report.Problems) {
        ++listed[static_cast<std::size_t>(p.Kind)];
        const bool inFile =
            p.Directory < static_cast<int>(file.Directories.size()) &&
            (p.Directory < 0 ? p.DirectoryId.empty() && p.Entry < 0
                             : p.DirectoryId == file.Directories[p.Directory].Id &&
                                   p.Entry < static_cast<int>(file.Directories[p.Directory].Entries.size()));
        expect(out, inFile, "a finding names a directory or an entry the file lacks");
        expect(out, !p.Sentence.empty() && validUtf8(p.Sentence) && p.Sentence.find('{') == std::string::npos,
               "a finding's sentence is not filled in: " + p.Sentence);
    }
    for (std::size_t k = 0; k < ProblemKindCount; ++k)
        expect(out, listed[k] == std::min<std::uint64_t>(report.Found[k], ProblemListLimit),
               "findings of " + std::string(problemKindTable()[k].Identifier) + " listed beyond their count or limit");
    std::uint64_t end = 0; // of every part so far
    for (const TPart& part : report.Layout) {
        if (part.Range.Start >= part.Range.End || part.Range.End > bytes.size() || part.Range.Start > end) {
            out.push_back("the layout leaves bytes out or runs outside the file");
            break;
        }
        if (part.Kind == TPartKind::Gap && part.Range.Start != end)
            out.push_back("a gap of the layout lies over a part");
        end = std::max(end, part.Range.End);
    }
    expect(out, end == bytes.size() || report.Layout.empty(), "the layout ends before the file");
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
    checkMessages(out, mem);
    checkTree(out, file, bytes.size());
    if (mem.error.empty())
        checkFindings(out, file, bytes);

    if (scratch().Write(bytes)) {
        {
            Opened disk; // gone before the batch run reads the file a third time
            disk.open([&](TTiffFile& f) { f.Open(scratch().File()); });
            compareRoads(out, mem, disk);
        }
        checkBatch(out, mem);
    } else {
        out.push_back("the input cannot be written to " + scratch().File());
    }

    for (int p = 0; p <= file.PageCount() + 1; ++p) // one missing page on each side
        checkListing(out, file, p);
    checkStatusTexts(out, file);
    return out;
}

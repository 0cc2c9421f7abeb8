#include "tiff/asciiedit.h"

#include "tiff/codepage.h"
#include "tiff/stream.h"
#include "tiff/tiff.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Cells of a listing row, in column order (see listing.h).
constexpr std::size_t kTagPosCell = 1;
constexpr std::size_t kTagNrCell = 2;
constexpr std::size_t kValueCell = 4;
constexpr std::size_t kTypeCell = 5;
constexpr std::size_t kLengthCell = 6;
constexpr std::size_t kValuePosCell = 7;

using TReason = ESaveFailed::TReason;

// The reasons as the user reads them, in the order of TReason. Those that end
// in ": " take the system's reason (or the room) after them.
constexpr std::string_view kReasonTexts[] = {
    "the file has changed since it was listed (open it again)",
    "the text of this field is not what the listing shows",
    "another program holds a lock on the file",
    "the field overlaps the file's header or a directory",
    "the file is read-only",
    "the file system refused the write: ",
    "the field has no room for text",
    "the field runs past the end of the file",
    "the field lies past 4 GiB, where its 32-bit Value Pos cannot name it",
    "the text is longer than the field: ",
    "the file cannot be opened for writing: ",
    "the file cannot be locked: ",
    "the file cannot be read: ",
};
static_assert(std::size(kReasonTexts) == static_cast<std::size_t>(TReason::CannotRead) + 1);

[[noreturn]] void refuse(TReason reason, std::string detail = {})
{
    throw ESaveFailed(reason, std::move(detail));
}

std::string systemReason(int error = errno)
{
    return std::strerror(error);
}

std::string utf8Of(char32_t c)
{
    std::string out;
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
    return out;
}

std::string codePointName(char32_t c)
{
    char digits[16];
    const auto r = std::to_chars(digits, digits + sizeof digits, static_cast<std::uint32_t>(c), 16);
    std::string hex(digits, r.ptr);
    for (char& ch : hex)
        if (ch >= 'a' && ch <= 'f')
            ch = static_cast<char>(ch - 'a' + 'A');
    if (hex.size() < 4)
        hex.insert(0, 4 - hex.size(), '0');
    return "U+" + hex;
}

/// The first room characters of the text in Windows-1252; no padding yet.
std::string encodeCut(std::string_view utf8, std::size_t room)
{
    std::size_t end = 0, chars = 0;
    while (end < utf8.size()) {
        if ((static_cast<unsigned char>(utf8[end]) & 0xC0) != 0x80) {
            if (chars == room)
                break;
            ++chars;
        }
        ++end;
    }
    TCp1252Result r = Utf8ToCp1252(utf8.substr(0, end));
    if (r.Unmappable)
        throw EUnmappableChar(*r.Unmappable);
    return std::move(r.Bytes);
}

/// Owns a descriptor; closing it also drops the locks taken through it.
class TFileHandle {
public:
    explicit TFileHandle(int fd) : m_fd(fd) {}
    // A close error cannot lose data that a successful fsync has put on disk.
    ~TFileHandle()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    int Fd() const { return m_fd; }

private:
    int m_fd;
};

/// Reads exactly n bytes at pos; false with errno set, or with errno 0 when
/// the file ends first.
bool readAt(int fd, std::uint8_t* dst, std::size_t n, std::uint64_t pos)
{
    while (n > 0) {
        const ssize_t r = ::pread(fd, dst, n, static_cast<off_t>(pos));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            if (r == 0)
                errno = 0;
            return false;
        }
        dst += r;
        n -= static_cast<std::size_t>(r);
        pos += static_cast<std::uint64_t>(r);
    }
    return true;
}

/// Writes n bytes at pos; false with errno set. written counts the bytes that
/// reached the file, also when a later part failed.
bool writeAt(const TWriteCalls& calls, int fd, const char* src, std::size_t n, std::uint64_t pos, std::size_t& written)
{
    written = 0;
    while (written < n) {
        const ssize_t r = calls.Write(fd, src + written, n - written, static_cast<off_t>(pos + written));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            if (r == 0)
                errno = EIO;
            return false;
        }
        written += static_cast<std::size_t>(r);
    }
    return true;
}

/// A lock call failed (errno set): another holds the file, or the lock could
/// not be taken at all.
[[noreturn]] void refuseLock(bool heldByAnother)
{
    if (heldByAnother)
        refuse(TReason::Locked);
    refuse(TReason::CannotLock, systemReason());
}

/// Programs lock a file in one of two ways: flock, or fcntl/lockf record
/// locks, which an open-file-description lock meets. Taking both keeps out a
/// holder of either; neither call waits, or the window would hang.
void lockExclusively(int fd)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        refuseLock(errno == EWOULDBLOCK);
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET; // from 0 with length 0: the whole file, however it grows
    if (::fcntl(fd, F_OFD_SETLK, &whole) != 0)
        refuseLock(errno == EAGAIN || errno == EACCES);
}

/// Refusal for a failed open: a file that is gone has changed since it was
/// listed, one that may not be written is read-only.
[[noreturn]] void refuseOpen(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        refuse(TReason::Changed);
    case EACCES:
    case EPERM:
    case EROFS:
        refuse(TReason::ReadOnly);
    default:
        refuse(TReason::CannotOpen, systemReason(error));
    }
}

bool overlaps(const TByteRange& r, std::uint64_t start, std::uint64_t end)
{
    return start < r.End && r.Start < end;
}

/// Where the structure of a file lies: the header, and in a directory its
/// count and its entries with their value fields.
struct TLayout {
    std::uint64_t header, count, entry, field;
};
constexpr TLayout kClassic{8, 2, 12, 4};
constexpr TLayout kBig{16, 8, 20, 8};

/// [start, end) lies in the value field of an entry of the directory d.
bool inValueFieldOfEntry(const TByteRange& d, std::uint64_t entryPos, std::uint64_t start, std::uint64_t end,
                         const TLayout& layout)
{
    const std::uint64_t fieldAt = entryPos + layout.entry - layout.field;
    const bool anEntryOfD = entryPos >= d.Start + layout.count &&
                            (entryPos - d.Start - layout.count) % layout.entry == 0 && entryPos + layout.entry <= d.End;
    return anEntryOfD && start >= fieldAt && end <= entryPos + layout.entry;
}

/// The bytes [start, end) must miss the header and every directory, except
/// that a text that fits in a value field is written in that of its own
/// entry. A directory that overlaps those bytes in any other way (its count,
/// or another entry of a misaligned grid) refuses.
void checkStructureMissed(const TTiffFile& file, std::uint64_t entryPos, std::uint64_t count, std::uint64_t start,
                          std::uint64_t end)
{
    const TLayout& layout = file.IsBigTiff() ? kBig : kClassic;
    if (overlaps({0, layout.header}, start, end))
        refuse(TReason::Overlaps);
    const bool inOwnEntry = count <= layout.field && start == entryPos + layout.entry - layout.field;
    for (const TByteRange& d : file.DirectoryRanges)
        if (overlaps(d, start, end) && !(inOwnEntry && inValueFieldOfEntry(d, entryPos, start, end, layout)))
            refuse(TReason::Overlaps);
}

} // namespace

ESaveFailed::ESaveFailed(TReason reason, std::string detail)
    : EVelquinError(std::string(kReasonTexts[static_cast<std::size_t>(reason)]) + detail), Reason(reason),
      Detail(std::move(detail))
{
}

bool ESaveFailed::ListingStale() const
{
    return Reason == TReason::Changed || Reason == TReason::TextDiffers || Reason == TReason::WriteFailed;
}

EUnmappableChar::EUnmappableChar(char32_t c)
    : EVelquinError("The character \"" + utf8Of(c) + "\" (" + codePointName(c) +
                    ") cannot be written: a TIFF text holds Windows-1252 characters only. Nothing was saved"),
      Char(c)
{
}

bool IsAsciiTypeCell(std::string_view typeCell)
{
    std::size_t b = 0, e = typeCell.size();
    while (b < e && static_cast<unsigned char>(typeCell[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(typeCell[e - 1]) <= ' ')
        --e;
    std::string word(typeCell.substr(b, e - b));
    for (char& c : word)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return word == "ASCII";
}

std::string CurrentTextOf(const TListingRow& row, int rowIndex)
{
    return rowIndex >= FirstTagRow && row.size() > kValueCell ? row[kValueCell] : std::string();
}

bool IsEditableRow(const TListingRow& row)
{
    return row.size() > kTypeCell && IsAsciiTypeCell(row[kTypeCell]);
}

std::int32_t ParseListedNumber(std::string_view cell, bool hex)
{
    if (!hex)
        return StrToInt(cell);
    if (cell.empty() || cell.size() > 8)
        throw EConvertError(std::string(cell));
    std::uint32_t v = 0;
    const auto r = std::from_chars(cell.data(), cell.data() + cell.size(), v, 16);
    if (r.ec != std::errc() || r.ptr != cell.data() + cell.size())
        throw EConvertError(std::string(cell));
    return static_cast<std::int32_t>(v);
}

std::uint64_t ParseWideListedNumber(std::string_view cell, bool hex)
{
    if (cell.empty() || cell.size() > (hex ? 16u : 20u))
        throw EConvertError(std::string(cell));
    std::uint64_t v = 0;
    const auto r = std::from_chars(cell.data(), cell.data() + cell.size(), v, hex ? 16 : 10);
    if (r.ec != std::errc() || r.ptr != cell.data() + cell.size())
        throw EConvertError(std::string(cell));
    return v;
}

TAsciiField FieldOfRow(const TListingRow& row, bool hex, bool bigTiff)
{
    if (row.size() <= kValuePosCell)
        throw EConvertError("");
    const auto number = [&](std::size_t cell) -> std::uint64_t {
        if (bigTiff)
            return ParseWideListedNumber(row[cell], hex);
        return static_cast<std::uint32_t>(ParseListedNumber(row[cell], hex));
    };
    TAsciiField f;
    f.EntryPos = number(kTagPosCell);
    f.ValuePos = number(kValuePosCell);
    f.Count = number(kLengthCell);
    f.ListedText = row[kValueCell];
    return f;
}

std::string FieldBytes(std::string_view utf8, std::size_t room)
{
    std::string bytes = encodeCut(utf8, room);
    bytes.resize(room, ' ');
    return bytes;
}

std::size_t FieldRoom(const TAsciiField& field)
{
    return field.Count == 0 ? 0 : static_cast<std::size_t>(field.Count - 1);
}

void CheckAsciiField(const TTiffFile& file, const TAsciiField& field)
{
    const std::uint64_t pos = field.ValuePos;
    const std::uint64_t count = field.Count;
    if (count < 2)
        refuse(TReason::NoRoom);
    const std::uint64_t size = file.Stamp.Size;
    if (pos > size || count > size - pos)
        refuse(TReason::PastEnd);
    if (!file.IsBigTiff() && pos + count - 1 >= (std::uint64_t{1} << 32))
        refuse(TReason::Beyond4GiB);
    checkStructureMissed(file, field.EntryPos, count, pos, pos + count - 1);
}

void WriteAsciiField(const TTiffFile& file, const TAsciiField& field, std::string_view newText,
                     const TWriteCalls& calls)
{
    CheckAsciiField(file, field);
    const std::uint64_t pos = field.ValuePos;
    const std::size_t room = FieldRoom(field);
    // Bounded by the length of the new text, not by the count from the file.
    std::string bytes = encodeCut(newText, room);

    // Look before opening, so nothing but the file that was read is opened for
    // writing; the same checks run again on the open descriptor.
    const std::string& path = file.FileName;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        refuseOpen(errno);
    if (!S_ISREG(st.st_mode) || !(StampOf(st) == file.Stamp))
        refuse(TReason::Changed);

    TFileHandle handle(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
    const int fd = handle.Fd();
    if (fd < 0)
        refuseOpen(errno);
    lockExclusively(fd);
    if (::fstat(fd, &st) != 0)
        refuse(TReason::CannotRead, systemReason());
    if (!S_ISREG(st.st_mode) || !(StampOf(st) == file.Stamp))
        refuse(TReason::Changed);

    // The field must hold what the listing showed, NUL and all; a text the
    // reader cut short does not match, so unseen bytes are never blanked.
    // The old bytes also serve to undo a failed write. The count is bounded
    // by the file's size (CheckAsciiField).
    std::string old(room + 1, '\0');
    if (!readAt(fd, reinterpret_cast<std::uint8_t*>(old.data()), old.size(), pos)) {
        if (errno == 0) // cut short by a writer that ignores locks
            refuse(TReason::Changed);
        refuse(TReason::CannotRead, systemReason());
    }
    if (Cp1252ToUtf8(old) != field.ListedText)
        refuse(TReason::TextDiffers);

    bytes.resize(room, ' ');
    std::size_t written = 0;
    bool flushFailed = false;
    if (writeAt(calls, fd, bytes.data(), bytes.size(), pos, written)) {
        // On disk before the file is read again, and before anyone is told it worked.
        if (calls.Flush(fd) == 0)
            return;
        flushFailed = true;
    }
    // Put back what may have reached the file: all of it when the flush
    // failed, else the part written before the failure.
    std::string detail = systemReason();
    const std::size_t undo = flushFailed ? bytes.size() : written;
    std::size_t restored = 0;
    if (undo > 0 && (!writeAt(calls, fd, old.data(), undo, pos, restored) || calls.Flush(fd) != 0))
        detail += "; putting the old text back failed too (" + systemReason() +
                  "), so the field may hold part of the new text";
    refuse(TReason::WriteFailed, detail);
}

void EditTagText(const std::string& path, int page, std::uint16_t tag, std::string_view text,
                 const TMessageSink& sink)
{
    TTiffFile file(sink);
    file.Open(path);
    if (file.FileName != path)
        TStream{path}; // Open passes over a path that is no file; this names why
    const std::string number = std::to_string(tag);
    if (page < 1 || !file.Pages.GetPage(page - 1))
        throw EVelquinError("the file has no page " + std::to_string(page));
    // The rows the window would show, read back as the window reads them.
    const TListing listing = BuildListing(file, page, false);
    for (std::size_t i = FirstTagRow; i < listing.Rows.size(); ++i) {
        const TListingRow& row = listing.Rows[i];
        if (row.size() <= kTagNrCell || row[kTagNrCell] != number)
            continue;
        if (!IsEditableRow(row))
            throw EVelquinError(std::string(NotAsciiText));
        const TAsciiField field = FieldOfRow(row, false, file.IsBigTiff());
        CheckAsciiField(file, field); // the field's own faults before the text's length
        const std::size_t room = FieldRoom(field);
        if (Utf8Length(text) > room)
            refuse(TReason::TooLong, "it holds " + std::to_string(room) + (room == 1 ? " character" : " characters"));
        WriteAsciiField(file, field, text);
        return;
    }
    throw EVelquinError("page " + std::to_string(page) + " has no tag " + number);
}

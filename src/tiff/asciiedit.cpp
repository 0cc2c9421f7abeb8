#include "tiff/asciiedit.h"

#include "tiff/codepage.h"
#include "tiff/tiff.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Cells of a listing row, in column order (see listing.h).
constexpr std::size_t kValueCell = 4;
constexpr std::size_t kTypeCell = 5;
constexpr std::size_t kLengthCell = 6;
constexpr std::size_t kValuePosCell = 7;

using TReason = ESaveFailed::TReason;

[[noreturn]] void refuse(TReason reason, std::string detail = {})
{
    throw ESaveFailed(reason, std::move(detail));
}

std::string systemReason()
{
    return std::strerror(errno);
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

/// Owns a descriptor; closing it also drops the flock held through it.
class TFileHandle {
public:
    explicit TFileHandle(int fd) : m_fd(fd) {}
    ~TFileHandle()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    int Fd() const { return m_fd; }
    /// Closes now; false when the system reports a failure (a late write error).
    bool Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool readAt(int fd, std::uint8_t* dst, std::size_t n, std::uint64_t pos)
{
    while (n > 0) {
        const ssize_t r = ::pread(fd, dst, n, static_cast<off_t>(pos));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        dst += r;
        n -= static_cast<std::size_t>(r);
        pos += static_cast<std::uint64_t>(r);
    }
    return true;
}

bool writeAt(int fd, const char* src, std::size_t n, std::uint64_t pos)
{
    while (n > 0) {
        const ssize_t r = ::pwrite(fd, src, n, static_cast<off_t>(pos));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        src += r;
        n -= static_cast<std::size_t>(r);
        pos += static_cast<std::uint64_t>(r);
    }
    return true;
}

} // namespace

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

TAsciiField FieldOfRow(const TListingRow& row, bool hex)
{
    if (row.size() <= kValuePosCell)
        throw EConvertError("");
    TAsciiField f;
    f.ValuePos = ParseListedNumber(row[kValuePosCell], hex);
    f.Count = ParseListedNumber(row[kLengthCell], hex);
    f.ListedText = row[kValueCell];
    return f;
}

std::string FieldBytes(std::string_view utf8, std::size_t room)
{
    std::string bytes = encodeCut(utf8, room);
    bytes.resize(room, ' ');
    return bytes;
}

void WriteAsciiField(const std::string& path, const TFileStamp& readStamp, const TAsciiField& field,
                     std::string_view newText)
{
    // Both cells are 32-bit patterns: a count or an offset of 2^31 and more
    // shows as negative in decimal mode.
    const std::uint64_t pos = static_cast<std::uint32_t>(field.ValuePos);
    const std::uint64_t count = static_cast<std::uint32_t>(field.Count);
    if (count == 0)
        refuse(TReason::NoRoom);
    const std::uint64_t room = count - 1;
    // Bounded by the length of the new text, not by the count from the file.
    std::string bytes = encodeCut(newText, static_cast<std::size_t>(room));

    // Look before opening, so nothing but the file that was read is opened for
    // writing; the same checks run again on the open descriptor.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        refuse(TReason::CannotOpen, systemReason());
    if (!S_ISREG(st.st_mode))
        refuse(TReason::CannotOpen, "not a regular file");
    if (!(StampOf(st) == readStamp))
        refuse(TReason::Changed);

    TFileHandle file(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
    if (file.Fd() < 0)
        refuse(TReason::CannotOpen, systemReason());
    // Never wait for another holder: the window would hang.
    if (::flock(file.Fd(), LOCK_EX | LOCK_NB) != 0)
        refuse(TReason::Locked, systemReason());
    if (::fstat(file.Fd(), &st) != 0 || !S_ISREG(st.st_mode))
        refuse(TReason::CannotOpen, systemReason());
    if (!(StampOf(st) == readStamp))
        refuse(TReason::Changed);

    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (pos > size || count > size - pos)
        refuse(TReason::PastEnd);

    // The field must hold what the listing showed, NUL and all; a text the
    // reader cut short does not match, so unseen bytes are never blanked.
    std::vector<std::uint8_t> old(static_cast<std::size_t>(count));
    if (!readAt(file.Fd(), old.data(), old.size(), pos))
        refuse(TReason::WriteFailed, systemReason());
    std::string oldText;
    AppendCp1252AsUtf8(oldText, old.data(), old.size());
    if (oldText != field.ListedText)
        refuse(TReason::TextDiffers);

    bytes.resize(static_cast<std::size_t>(room), ' ');
    if (!writeAt(file.Fd(), bytes.data(), bytes.size(), pos))
        refuse(TReason::WriteFailed, systemReason());
    // On disk before the file is read again, and before anyone is told it worked.
    if (::fsync(file.Fd()) != 0)
        refuse(TReason::WriteFailed, systemReason());
    if (!file.Close())
        refuse(TReason::WriteFailed, systemReason());
}

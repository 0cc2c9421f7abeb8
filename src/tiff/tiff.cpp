#include "tiff/tiff.h"

#include "tagnames/utagdescription.h"
#include "tiff/codepage.h"
#include "tiff/errors.h"
#include "tiff/stream.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <unordered_set>

// Numbers are read as stored and swapped for "MM" files: a little-endian host.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr std::array<std::string_view, 12> kTypeNames{"Byte",  "Ascii",     "Short",  "Long",
                                                     "Rational", "sByte", "Undefined", "sShort",
                                                     "sLong", "sRational", "Float",  "Double"};

// Field type indexes (type code minus 1).
enum : std::uint8_t {
    kByte = 0, kAscii = 1, kShort = 2, kLong = 3, kRational = 4, kSShort = 7, kSLong = 8, kFloat = 10, kDouble = 11
};

constexpr std::size_t kEntrySize = 12;

std::uint16_t get16(const std::uint8_t* p, bool swap)
{
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return SwapWord(v, swap);
}

std::uint32_t get32(const std::uint8_t* p, bool swap)
{
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return SwapLong(v, swap);
}

/// Count, entries and next-offset field of the directory at offset, as far as
/// the file holds them.
TByteRange directoryRange(TStream& stream, std::uint32_t offset, bool swap)
{
    const std::uint64_t size = stream.Size();
    std::uint64_t end = static_cast<std::uint64_t>(offset) + 2;
    if (const std::uint8_t* count = stream.Slice(offset, 2))
        end += kEntrySize * get16(count, swap) + 4;
    return {std::min<std::uint64_t>(offset, size), std::min(end, size)};
}

// Entries that reading a directory of n entries at offset creates: those that
// start inside the file and the first one past its end, which stays unread.
// Every entry when the positions wrap past 32 bits.
std::uint64_t entriesCreated(std::uint32_t offset, std::uint64_t n, std::uint64_t size)
{
    const std::uint64_t first = static_cast<std::uint64_t>(offset) + 2;
    if (first + kEntrySize * n > 0xFFFFFFFFu)
        return n;
    if (first > size)
        return std::min<std::uint64_t>(n, 1);
    return std::min(n, (size - first) / kEntrySize + 2);
}

// What a string costs beyond its own object: nothing while the text fits
// inside it, else its buffer and the allocator's header.
std::uint64_t heapCost(std::size_t capacity)
{
    return capacity <= 15 ? 0 : capacity + 1 + 16;
}

// Budgets of memory for what a file keeps, beyond twice its size for the
// directories and once for the texts (see load). The slack lets a small file
// hold a full directory of 65,535 entries and its texts.
constexpr std::uint64_t kStructureSlack = 8 << 20;
constexpr std::uint64_t kTextSlack = 8 << 20;
// Past the text budget a text keeps this many bytes of the file: at most 15
// bytes of UTF-8, which a string holds without memory of its own.
constexpr std::size_t kCutText = 5;

bool isRegularFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

// ---------------------------------------------------------------- helpers

std::uint16_t SwapWord(std::uint16_t value, bool swap)
{
    return swap ? static_cast<std::uint16_t>((value >> 8) | (value << 8)) : value;
}

std::uint32_t SwapLong(std::uint32_t value, bool swap)
{
    return swap ? __builtin_bswap32(value) : value;
}

std::uint16_t ReadWord(TStream& stream)
{
    std::uint16_t v;
    stream.ReadBuffer(&v, 2);
    return v;
}

std::uint32_t ReadLong(TStream& stream)
{
    std::uint32_t v;
    stream.ReadBuffer(&v, 4);
    return v;
}

std::string NumberText(std::int32_t value, bool hex)
{
    char buf[16];
    const auto r = hex ? std::to_chars(buf, buf + sizeof buf, static_cast<std::uint32_t>(value), 16)
                       : std::to_chars(buf, buf + sizeof buf, value);
    std::string s(buf, r.ptr);
    if (hex)
        for (char& c : s)
            if (c >= 'a' && c <= 'f')
                c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::int32_t StrToInt(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        throw EConvertError(std::string(text));
    std::int64_t v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            throw EConvertError(std::string(text));
        v = v * 10 + (c - '0');
        if (v > 2147483648LL)
            throw EConvertError(std::string(text));
    }
    if (negative)
        v = -v;
    if (v > 2147483647LL)
        throw EConvertError(std::string(text));
    return static_cast<std::int32_t>(v);
}

// ---------------------------------------------------------------- TTag

std::string TTag::TagNr() const
{
    return m_read ? std::to_string(m_number) : std::string();
}

std::string_view TTag::TagName() const
{
    if (!m_read)
        throw EConvertError("");
    return GetTagDescription(m_number);
}

std::string_view TTag::TypeName() const
{
    return FieldType < kTypeNames.size() ? kTypeNames[FieldType] : std::string_view("Unknown");
}

void TTag::ReadEntry(TStream& stream, std::uint64_t pos)
{
    const std::uint64_t size = stream.Size();
    if (pos > size)
        return;
    const bool swap = OwnerFile->IsBigEndian();
    EntryPos = static_cast<std::int32_t>(pos);
    // An entry cut by the end of the file keeps the fields that fit.
    const std::size_t avail = static_cast<std::size_t>(std::min<std::uint64_t>(kEntrySize, size - pos));
    std::uint8_t e[kEntrySize];
    const std::uint8_t* p = stream.Slice(pos, avail);
    if (!p || avail < 2)
        return;
    std::memcpy(e, p, avail); // the slice may not survive the value's own reads
    m_number = get16(e, swap);
    m_read = true;
    if (avail < 4)
        return;
    FieldType = static_cast<std::uint8_t>(get16(e + 2, swap) - 1);
    if (avail < 8)
        return;
    Count = static_cast<std::int32_t>(get32(e + 4, swap));
    ValuePos = static_cast<std::int32_t>(pos + 8);
    decodeValue(stream, e + 8, avail - 8);
    stream.Seek(pos + kEntrySize);
}

// A short read or a failed division ends the entry with the fields set so far;
// plain returns rather than exceptions, since damaged files have many of them.
void TTag::decodeValue(TStream& stream, const std::uint8_t* field, std::size_t fieldBytes)
{
    const bool swap = OwnerFile->IsBigEndian();
    const std::uint64_t size = stream.Size();
    const bool haveLong = fieldBytes >= 4;
    const std::uint32_t fieldLong = haveLong ? get32(field, swap) : 0;

    switch (FieldType) {
    case kByte:
        if (Count <= 4) {
            if (fieldBytes >= 1)
                ValueText = std::to_string(field[0]);
        } else if (haveLong) {
            ValueText.clear();
            if (fieldLong >= size)
                return;
            // Printable bytes only; data cut by the end of the file keeps what exists.
            appendText(
                stream, fieldLong,
                static_cast<std::size_t>(std::min<std::uint64_t>(static_cast<std::uint32_t>(Count), size - fieldLong)),
                true);
        }
        break;
    case kAscii: {
        std::uint64_t at = static_cast<std::uint32_t>(ValuePos);
        if (Count > 4) {
            if (!haveLong)
                return;
            ValuePos = static_cast<std::int32_t>(fieldLong);
            at = fieldLong;
        }
        // The whole text, NULs included; bytes past the end of the file are left out.
        const std::uint64_t want = Count > 0 ? static_cast<std::uint64_t>(Count) : 0;
        ValueText.clear();
        appendText(stream, at, static_cast<std::size_t>(at >= size ? 0 : std::min<std::uint64_t>(want, size - at)),
                   false);
        break;
    }
    case kShort:
    case kSShort:
        if (fieldBytes >= 2)
            ValueText = std::to_string(get16(field, swap));
        break;
    case kLong:
    case kSLong:
    case kDouble:
        if (Count == 1)
            ValueText = haveLong ? std::to_string(fieldLong) : "0";
        else
            ValueText.clear();
        break;
    case kRational:
    case kFloat: {
        if (!haveLong)
            return;
        const std::uint8_t* p = stream.Slice(fieldLong, 8);
        if (!p)
            return;
        const auto numerator = static_cast<std::int32_t>(get32(p, swap));
        const auto denominator = static_cast<std::int32_t>(get32(p + 4, swap));
        if (denominator == 0) // the division fails: the text stays as it was
            return;
        // Extended precision, halves to the even neighbour (the default rounding mode).
        const long double q = static_cast<long double>(numerator) / static_cast<long double>(denominator);
        ValueText = std::to_string(static_cast<long long>(std::nearbyint(q)));
        break;
    }
    default:
        ValueText = "?";
        break;
    }
}

void TTag::appendText(TStream& stream, std::uint64_t pos, std::size_t n, bool printableOnly)
{
    const TTiffFile& file = *OwnerFile;
    // Only entries that share their bytes read more than the file holds: past
    // twice its size a text keeps no more bytes than its entry takes.
    std::size_t take = n;
    if (take <= file.m_bytesLeft)
        file.m_bytesLeft -= take;
    else
        take = std::min(take, kEntrySize);
    // A text takes at most three bytes of UTF-8 for each byte of the file;
    // only near the end of the memory budget is it worth counting them.
    if (3 * static_cast<std::uint64_t>(take) + 32 > file.m_textLeft)
        take = file.textRoom(stream, pos, take, printableOnly);
    const std::uint8_t* p = stream.Slice(pos, take);
    if (!p)
        return;
    if (printableOnly) {
        std::size_t i = 0;
        while (i < take) {
            while (i < take && p[i] <= 31)
                ++i;
            std::size_t end = i;
            while (end < take && p[end] > 31)
                ++end;
            AppendCp1252AsUtf8(ValueText, p + i, end - i);
            i = end;
        }
    } else {
        AppendCp1252AsUtf8(ValueText, p, take);
    }
    // Texts with characters above 127 or bytes left out outgrow or undershoot
    // what they were given; the budget counts what is kept.
    if (ValueText.capacity() > 15) {
        if (ValueText.capacity() > ValueText.size() + ValueText.size() / 4 + 16)
            ValueText.shrink_to_fit();
        file.m_textLeft -= std::min(file.m_textLeft, heapCost(ValueText.capacity()));
    }
}

const TTag* TTags::GetTag(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return &m_items[static_cast<std::size_t>(index)];
}

// ---------------------------------------------------------------- TTiffPage

bool TTiffPage::ReadDirectory(TStream& stream, std::uint32_t& offset, const TMessageSink& sink)
{
    const std::uint64_t size = stream.Size();
    const bool swap = OwnerFile && OwnerFile->IsBigEndian();
    // Positions are 32-bit numbers that wrap, as the format's offsets do.
    std::uint32_t nextField = offset + 2;
    try {
        stream.Seek(offset);
        const std::uint16_t n = SwapWord(ReadWord(stream), swap);
        nextField = static_cast<std::uint32_t>(offset + 2 + kEntrySize * n);
        Tags.Reserve(entriesCreated(offset, n, size));
        for (std::uint32_t i = 0; i < n; ++i) {
            const auto pos = static_cast<std::uint32_t>(offset + 2 + kEntrySize * i);
            TTag& tag = Tags.Add(OwnerFile);
            if (pos > size) {
                // The rest of the directory lies past the end: one message, and no
                // further entries, which would all be unread alike.
                if (sink)
                    sink("streamsize");
                break;
            }
            tag.ReadEntry(stream, pos);
        }
        stream.Seek(nextField);
        offset = SwapLong(ReadLong(stream), swap);
        return true;
    } catch (const EVelquinError&) {
        if (sink)
            sink(std::to_string(size) + std::to_string(nextField));
        return false;
    }
}

const TTag* TTiffPage::FindTag(std::uint16_t number) const
{
    for (const TTag& tag : Tags)
        if (tag.IsRead() && tag.Number() == number)
            return &tag;
    return nullptr;
}

std::int32_t TTiffPage::query(std::uint16_t number) const
{
    const TTag* tag = FindTag(number);
    return tag ? StrToInt(tag->ValueText) : 1;
}

const TTiffPage* TTiffPages::GetPage(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return &m_items[static_cast<std::size_t>(index)];
}

// ---------------------------------------------------------------- TTiffFile

void TTiffFile::Open(const std::string& path)
{
    if (!isRegularFile(path) || path == FileName)
        return;
    FileName = path;
    try {
        TStream stream(path);
        Stamp = stream.Stamp();
        load(stream);
    } catch (const std::bad_alloc&) {
        clear();
        throw EOutOfMemory(path);
    }
}

void TTiffFile::OpenBuffer(const std::string& name, std::span<const std::uint8_t> bytes)
{
    FileName = name;
    try {
        TStream stream(bytes);
        load(stream);
    } catch (const std::bad_alloc&) {
        clear();
        throw EOutOfMemory(name);
    }
}

void TTiffFile::clear()
{
    Pages = TTiffPages();
}

void TTiffFile::load(TStream& stream)
{
    stream.Seek(0);
    const std::uint16_t mark = ReadWord(stream);
    if (mark == 0x4949)
        ByteOrder = 1;
    else if (mark == 0x4D4D)
        ByteOrder = 2;
    else {
        ByteOrder = 0;
        throw EInvalidTiff();
    }
    if (SwapWord(ReadWord(stream), IsBigEndian()) != 42) {
        ByteOrder = 0;
        throw EInvalidTiff();
    }
    std::uint32_t offset = SwapLong(ReadLong(stream), IsBigEndian());

    // Memory: the file's blocks take at most its size while it is read; its
    // pages and entries may take twice that and its texts once more, so that
    // opening a file stays within four times its size. Sound files stay far
    // below (their directories and values do not overlap); a chain whose
    // directories overlap ends where the budget does, and texts that share
    // their bytes are cut (appendText).
    const std::uint64_t size = stream.Size();
    m_structureLeft = 2 * size + kStructureSlack;
    m_bytesLeft = 2 * size + (1 << 20);
    m_textLeft = size + kTextSlack;
    m_countLeft = size;

    // A directory that fails, an offset met again or an exhausted budget ends
    // the chain; the pages read so far stay. Beyond memory, the entries of all
    // pages are bounded by the file's size.
    std::uint64_t entriesLeft = size / 4 + 1;
    std::unordered_set<std::uint32_t> seen;
    while (offset != 0 && seen.insert(offset).second && entriesLeft > 0) {
        std::uint64_t n = 0;
        if (const std::uint8_t* p = stream.Slice(offset, 2))
            n = get16(p, IsBigEndian());
        // The page, its place in the chain's set and its entries.
        const std::uint64_t cost = sizeof(TTiffPage) + 64 + entriesCreated(offset, n, size) * sizeof(TTag);
        if (cost > m_structureLeft)
            break;
        m_structureLeft -= cost;
        DirectoryRanges.push_back(directoryRange(stream, offset, IsBigEndian()));
        TTiffPage& page = Pages.Add(this);
        if (!page.ReadDirectory(stream, offset, m_sink))
            break;
        entriesLeft -= std::min<std::uint64_t>(entriesLeft, static_cast<std::uint64_t>(page.Tags.Count()));
    }
}

std::size_t TTiffFile::textRoom(TStream& stream, std::uint64_t pos, std::size_t n, bool printableOnly) const
{
    // Counting costs a pass over the bytes: no more passes in all than the
    // file has bytes, or entries that share a large value would each count it.
    if ((!printableOnly && n > m_textLeft) || n > m_countLeft)
        return std::min(n, kCutText);
    m_countLeft -= n;
    std::uint64_t bound = 0;
    stream.ForEachPiece(pos, n, [&](const std::uint8_t* p, std::size_t length) {
        for (std::size_t i = 0; i < length; ++i)
            bound += p[i] >= 0x80 ? 3 : (printableOnly && p[i] <= 31 ? 0 : 1);
    });
    if (bound + 32 <= m_textLeft)
        return n;
    // Only a file whose entries share their data gets here.
    return std::min(n, kCutText);
}

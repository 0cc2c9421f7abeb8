#include "tiff/tiff.h"

#include "tagnames/utagdescription.h"
#include "tiff/codepage.h"
#include "tiff/errors.h"
#include "tiff/stream.h"
#include "tiff/valuesource.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <type_traits>
#include <utility>

// Numbers are read as stored and swapped for "MM" files: a little-endian host.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr std::array<std::string_view, 12> kTypeNames{"Byte",     "Ascii",     "Short",     "Long",
                                                      "Rational", "sByte",     "Undefined", "sShort",
                                                      "sLong",    "sRational", "Float",     "Double"};

// Field type indexes (type code minus 1).
enum : std::uint8_t {
    kByte = 0,
    kAscii = 1,
    kShort = 2,
    kLong = 3,
    kRational = 4,
    kSShort = 7,
    kSLong = 8,
    kFloat = 10,
    kDouble = 11
};

// Type codes that BigTIFF brought. A classic file lists them as "Unknown",
// as it always has; a BigTIFF file names them and shows their values.
enum : std::uint16_t { kTypeIfd = 13, kTypeLong8 = 16, kTypeSLong8 = 17, kTypeIfd8 = 18 };

// The sizes that differ between the two kinds of file: the entry count, an
// entry, and a value field (which is also the size of an offset).
struct TLayout {
    std::uint64_t count;
    std::uint64_t entry;
    std::uint64_t field;
};
constexpr TLayout kClassic{2, 12, 4};
constexpr TLayout kBig{8, 20, 8};

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

std::uint64_t get64(const std::uint8_t* p, bool swap)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return swap ? __builtin_bswap64(v) : v;
}

/// An offset or count of width bytes (2, 4 or 8).
std::uint64_t getNumber(const std::uint8_t* p, std::uint64_t width, bool swap)
{
    return width == 2 ? get16(p, swap) : width == 4 ? get32(p, swap) : get64(p, swap);
}

/// Reads an offset or count of width bytes; throws EReadError when fewer are left.
std::uint64_t readNumber(TStream& stream, std::uint64_t width, bool swap)
{
    std::uint8_t b[8];
    stream.ReadBuffer(b, static_cast<std::size_t>(width));
    return getNumber(b, width, swap);
}

/// a + b * c, at most the largest 64-bit number: BigTIFF counts are any 64-bit number.
std::uint64_t addProduct(std::uint64_t a, std::uint64_t b, std::uint64_t c)
{
    std::uint64_t product = 0;
    std::uint64_t sum = 0;
    if (__builtin_mul_overflow(b, c, &product) || __builtin_add_overflow(a, product, &sum))
        return ~std::uint64_t{0};
    return sum;
}

// Entries that reading n entries from first on creates: those that start
// inside the file and the first one past its end, which stays unread. Every
// entry when the positions wrap.
std::uint64_t entriesCreated(std::uint64_t first, std::uint64_t n, std::uint64_t size, std::uint64_t entry, bool wraps)
{
    if (wraps)
        return n;
    if (first > size)
        return std::min<std::uint64_t>(n, 1);
    return std::min(n, (size - first) / entry + 2);
}

/// The entry at pos as stored, from the avail bytes of it that lie in the file.
TEntry parseEntry(const std::uint8_t* raw, std::size_t avail, std::uint64_t pos, const TLayout& layout, bool swap)
{
    TEntry e;
    e.Position = pos;
    e.Stored = static_cast<std::uint8_t>(avail);
    if (avail >= 2)
        e.Tag = get16(raw, swap);
    if (avail >= 4)
        e.Type = get16(raw + 2, swap);
    const bool big = layout.field == 8;
    const std::uint64_t fieldAt = 4 + layout.field; // the count takes as many bytes as an offset
    if (avail < fieldAt)
        return e;
    e.Count = big ? get64(raw + 4, swap) : get32(raw + 4, swap);
    e.Inline = e.ValueBytes() <= layout.field;
    if (e.Inline)
        e.ValueOffset = pos + fieldAt;
    else if (avail >= layout.entry)
        e.ValueOffset = big ? get64(raw + fieldAt, swap) : get32(raw + fieldAt, swap);
    return e;
}

// What a string costs beyond its own object: nothing while the text fits
// inside it, else its buffer and the allocator's header.
std::uint64_t heapCost(std::size_t capacity)
{
    return capacity <= 15 ? 0 : capacity + 1 + 16;
}

// The texts of the numbers below 10,000, four digits each with leading
// zeros: a small number's text is the end of its four.
constexpr std::size_t kSmallNumbers = 10000;
constexpr auto kSmallNumberDigits = [] {
    std::array<char, 4 * kSmallNumbers> digits{};
    for (std::size_t n = 0; n < kSmallNumbers; ++n)
        for (std::size_t i = 0, v = n; i < 4; ++i, v /= 10)
            digits[4 * n + 3 - i] = static_cast<char>('0' + v % 10);
    return digits;
}();

std::string_view smallNumberText(std::size_t n)
{
    const std::size_t length = n >= 1000 ? 4 : n >= 100 ? 3 : n >= 10 ? 2 : 1;
    return {kSmallNumberDigits.data() + 4 * n + 4 - length, length};
}

// Budgets of memory for what a file keeps, beyond twice its size for the
// directories and once for the texts (see load). The slack lets a small file
// hold a full directory of 65,535 entries, and values that several pages
// share (one large description on every page) whole; with the file's own
// blocks it stays within four times the size and 64 MiB.
constexpr std::uint64_t kStructureSlack = 8 << 20;
constexpr std::uint64_t kTextSlack = 32 << 20;
// Past the text budget a text keeps this many bytes of the file: at most 15
// bytes of UTF-8.
constexpr std::size_t kCutText = 5;
// Each entry pays for a text this long, from the structure's budget: the
// text of a number (20 digits at most) or a cut text fits; only longer texts
// are paid from the text budget.
constexpr std::size_t kShortText = 20;
// What a directory costs beyond its entries: its slots in the set of offsets
// met (at most four, and six while the table grows), and its range, whose
// vector may hold twice its size while it grows. A page's directory is moved
// once into place, so it counts twice.
constexpr std::uint64_t kSetSlots = 6 * sizeof(std::uint64_t);
constexpr std::uint64_t kSubDirectoryCost = sizeof(TDirectory) + kSetSlots + 2 * sizeof(TByteRange);
constexpr std::uint64_t kPageCost = sizeof(TTiffPage) + sizeof(TDirectory) + kSubDirectoryCost;
// What an entry of a page costs: its TTag, with what the arena's blocks may
// leave unused, its short text, and its entry as stored (when the file keeps
// the whole tree).
constexpr std::uint64_t kEntryCost = sizeof(TTag) + sizeof(TTag) / 8 + kShortText + sizeof(TEntry);
// Entries of a directory copied from the file at once.
constexpr std::size_t kChunkEntries = 256;
// Directories below a page, below a page... end here; real files nest three deep.
constexpr int kMaxDepth = 8;

/// The directory offsets met so far: an open-addressing table kept at most
/// half full, so that a chain of thousands of pages costs no allocation per page.
class TOffsetSet {
public:
    /// False when the offset was met before.
    bool Insert(std::uint64_t offset)
    {
        if (offset == 0) // the mark of a free slot
            return !std::exchange(m_zero, true);
        if (2 * (m_count + 1) > m_slots.size())
            grow();
        for (std::size_t i = slot(offset);; i = (i + 1) & (m_slots.size() - 1)) {
            if (m_slots[i] == offset)
                return false;
            if (m_slots[i] == 0) {
                m_slots[i] = offset;
                ++m_count;
                return true;
            }
        }
    }

private:
    std::size_t slot(std::uint64_t offset) const
    {
        // Fibonacci hashing: offsets that are multiples of a power of two still spread.
        return static_cast<std::size_t>((offset * 0x9E3779B97F4A7C15u) >> m_shift);
    }
    void grow()
    {
        std::vector<std::uint64_t> old(m_slots.empty() ? 64 : 2 * m_slots.size(), 0);
        old.swap(m_slots);
        m_shift = 64 - static_cast<unsigned>(std::countr_zero(m_slots.size()));
        m_count = 0;
        for (const std::uint64_t offset : old)
            if (offset != 0)
                Insert(offset);
    }
    std::vector<std::uint64_t> m_slots;
    std::size_t m_count = 0;
    unsigned m_shift = 64;
    bool m_zero = false;
};

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

namespace {

/// Hex digits as the listing shows them: upper case.
char* upperHex(char* first, char* last)
{
    for (char* c = first; c != last; ++c)
        if (*c >= 'a' && *c <= 'f')
            *c = static_cast<char>(*c - 'a' + 'A');
    return last;
}

} // namespace

char* WriteNumberText(char* out, std::int32_t value, bool hex)
{
    if (hex)
        return upperHex(out, std::to_chars(out, out + kNumberTextRoom, static_cast<std::uint32_t>(value), 16).ptr);
    return std::to_chars(out, out + kNumberTextRoom, value).ptr;
}

char* WriteWideNumberText(char* out, std::uint64_t value, bool hex)
{
    if (hex)
        return upperHex(out, std::to_chars(out, out + kNumberTextRoom, value, 16).ptr);
    return std::to_chars(out, out + kNumberTextRoom, value).ptr;
}

std::string NumberText(std::int32_t value, bool hex)
{
    char buf[kNumberTextRoom];
    return std::string(buf, WriteNumberText(buf, value, hex));
}

std::string WideNumberText(std::uint64_t value, bool hex)
{
    char buf[kNumberTextRoom];
    return std::string(buf, WriteWideNumberText(buf, value, hex));
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

// ---------------------------------------------------------------- TEntry

std::optional<TDirectoryKind> FollowedKind(TDirectoryKind parent, const TEntry& entry, bool bigTiff)
{
    const std::optional<TDirectoryKind> kind = pointedKind(parent, entry.Tag);
    const std::uint64_t whole = bigTiff ? kBig.entry : kClassic.entry;
    if (!kind || !holdsOffsets(entry.Type, bigTiff) || entry.Stored < whole || entry.Count == 0)
        return std::nullopt;
    return kind;
}

std::uint64_t TEntry::TypeSize(std::uint16_t type)
{
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7: // BYTE, ASCII, SBYTE, UNDEFINED
        return 1;
    case 3:
    case 8: // SHORT, SSHORT
        return 2;
    case 4:
    case 9:
    case 11:
    case kTypeIfd: // LONG, SLONG, FLOAT, IFD
        return 4;
    case 5:
    case 10:
    case 12:
    case kTypeLong8:
    case kTypeSLong8:
    case kTypeIfd8: // RATIONAL, SRATIONAL, DOUBLE
        return 8;
    default:
        return 0;
    }
}

std::uint64_t TEntry::ValueBytes() const
{
    return addProduct(0, Count, TypeSize(Type));
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
    if (OwnerFile && OwnerFile->IsBigTiff()) {
        switch (m_type) {
        case kTypeIfd:
            return "IFD";
        case kTypeLong8:
            return "Long8";
        case kTypeSLong8:
            return "sLong8";
        case kTypeIfd8:
            return "IFD8";
        }
    }
    return FieldType < kTypeNames.size() ? kTypeNames[FieldType] : std::string_view("Unknown");
}

template <bool Big> std::int64_t TTag::field(std::uint64_t value)
{
    // A classic file's positions and counts are 32-bit patterns shown signed.
    if (Big)
        return static_cast<std::int64_t>(value);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

void TTag::ReadEntry(TStream& stream, std::uint64_t pos)
{
    read(stream, pos, nullptr);
}

// A short read or a failed division ends the entry with the fields set so far;
// plain returns rather than exceptions, since damaged files have many of them.
// A BigTIFF entry follows the same rules with its value field of 8 bytes: what
// fits there lies there, and offsets take 64 bits.
// Every entry passes here, so it is inlined into the loop over a directory's
// entries; texts, the rarer and longer work, are not.
template <bool Big>
[[gnu::always_inline]] inline void TTag::decodeAs(TStream& stream, const std::uint8_t* field, std::size_t fieldBytes)
{
    const bool swap = OwnerFile->IsBigEndian();
    constexpr bool big = Big;
    const std::size_t fieldSize = big ? kBig.field : kClassic.field;
    const auto inField = static_cast<std::int64_t>(fieldSize); // counts that fit in the field
    const std::uint64_t size = stream.Size();
    const bool haveLong = fieldBytes >= 4;
    const bool haveOffset = fieldBytes >= fieldSize;
    const std::uint64_t offset = !haveOffset ? 0 : big ? get64(field, swap) : get32(field, swap);

    switch (FieldType) {
    case kByte:
        if (Count <= inField) {
            if (fieldBytes >= 1)
                takeNumber(field[0]);
        } else if (haveOffset) {
            ValueText = {};
            if (offset >= size)
                return;
            // Printable bytes only; data cut by the end of the file keeps what exists.
            takeText(stream, offset,
                     static_cast<std::size_t>(std::min(static_cast<std::uint64_t>(Count), size - offset)), true);
        }
        break;
    case kAscii: {
        std::uint64_t at = big ? static_cast<std::uint64_t>(ValuePos) : static_cast<std::uint32_t>(ValuePos);
        if (Count > inField) {
            if (!haveOffset)
                return;
            ValuePos = this->field<Big>(offset);
            at = offset;
        }
        // The whole text, NULs included; bytes past the end of the file are left out.
        const std::uint64_t want = Count > 0 ? static_cast<std::uint64_t>(Count) : 0;
        ValueText = {};
        takeText(stream, at, static_cast<std::size_t>(at >= size ? 0 : std::min(want, size - at)), false);
        break;
    }
    case kShort:
    case kSShort:
        if (fieldBytes >= 2)
            takeNumber(get16(field, swap));
        break;
    case kLong:
    case kSLong:
    case kDouble:
        if (Count == 1)
            takeNumber(haveLong ? get32(field, swap) : 0);
        else
            ValueText = {};
        break;
    case kRational:
    case kFloat: {
        if (!haveOffset)
            return;
        // The first pair of 32-bit numbers where it lies: at the offset, or in a
        // BigTIFF entry's own field when one value fits there.
        const std::uint8_t* p = big && Count <= 1 ? field : stream.Slice(offset, 8);
        if (!p)
            return;
        const auto numerator = static_cast<std::int32_t>(get32(p, swap));
        const auto denominator = static_cast<std::int32_t>(get32(p + 4, swap));
        if (denominator == 0) // the division fails: the text stays as it was
            return;
        // Extended precision, halves to the even neighbour (the default
        // rounding mode). llrint rounds in one instruction, where nearbyint
        // saves and restores the floating-point state around it.
        const long double q = static_cast<long double>(numerator) / static_cast<long double>(denominator);
        takeNumber(static_cast<std::int64_t>(std::llrint(q)));
        break;
    }
    default:
        if (big && (m_type == kTypeIfd || m_type == kTypeLong8 || m_type == kTypeSLong8 || m_type == kTypeIfd8))
            decodeWide(field, fieldBytes);
        else
            ValueText = "?";
        break;
    }
}

void TTag::decodeWide(const std::uint8_t* field, std::size_t fieldBytes)
{
    // The Long rule, with the 64-bit types read whole.
    const std::size_t width = m_type == kTypeIfd ? 4 : 8;
    if (Count == 1)
        takeNumber(fieldBytes >= width ? getNumber(field, width, OwnerFile->IsBigEndian()) : 0);
    else
        ValueText = {};
}

template <class Integer> [[gnu::always_inline]] inline void TTag::takeNumber(Integer value)
{
    // Most values are small: their texts lie ready (a negative one is not small).
    if (static_cast<std::uint64_t>(value) < kSmallNumbers) {
        ValueText = smallNumberText(static_cast<std::size_t>(value));
        return;
    }
    const TTiffFile& file = *OwnerFile;
    char* room = file.m_texts.Room(kShortText);
    const auto length = static_cast<std::size_t>(std::to_chars(room, room + kShortText, value).ptr - room);
    ValueText = file.m_texts.Keep(length);
    file.m_shortBytes += length;
}

void TTag::takeText(TStream& stream, std::uint64_t pos, std::size_t n, bool printableOnly)
{
    const TTiffFile& file = *OwnerFile;
    // Only entries that share their bytes read more than the file holds: past
    // twice its size a text keeps a few bytes, as past the memory budget, and
    // so costs no more than its entry pays for.
    std::size_t take = n;
    if (take <= file.m_bytesLeft)
        file.m_bytesLeft -= take;
    else
        take = std::min(take, kCutText);
    // A text takes at most three bytes of UTF-8 for each byte of the file;
    // only near the end of the memory budget is it worth counting them.
    if (3 * static_cast<std::uint64_t>(take) + 32 > file.textLeft())
        take = file.textRoom(stream, pos, take, printableOnly);
    if (take < n && !std::exchange(file.m_textsCut, true) && file.m_reading)
        file.report("",
                    "texts from the directory at " + std::to_string(file.m_reading->Offset) +
                        " on keep a few bytes each: the file's values overlap, and whole they would take more "
                        "memory than the file may use",
                    *file.m_reading);
    const std::uint8_t* p = take ? stream.Slice(pos, take) : nullptr;
    if (!p)
        return;
    // Most texts are plain ASCII and copied whole. Others take the room of
    // their worst case when short, and are measured first when long, so that
    // they take no more memory than they need.
    const std::size_t plain = Cp1252PlainPrefix(p, take, printableOnly);
    const std::size_t rest = take - plain;
    const std::size_t room = plain + (rest <= 256 ? 3 * rest : Cp1252AsUtf8Size(p + plain, rest, printableOnly));
    char* out = file.m_texts.Room(room);
    std::memcpy(out, p, plain);
    const char* end = rest ? WriteCp1252AsUtf8(out + plain, p + plain, rest, printableOnly) : out + plain;
    ValueText = file.m_texts.Keep(static_cast<std::size_t>(end - out));
    // Each entry pays for a short text (see afford), so that a cut one is not
    // paid from the budget it ran past.
    if (ValueText.size() <= kShortText)
        file.m_shortBytes += ValueText.size();
}

void TTag::read(TStream& stream, std::uint64_t pos, TEntry* entry)
{
    // Each kind of file gets code of its own: this runs for every entry.
    if (OwnerFile->IsBigTiff())
        readAs<true>(stream, pos, entry);
    else
        readAs<false>(stream, pos, entry);
}

template <bool Big>
[[gnu::always_inline]] inline void TTag::readFrom(TStream& stream, std::uint64_t pos, const std::uint8_t* e,
                                                  std::size_t avail, TEntry* entry)
{
    const bool swap = OwnerFile->IsBigEndian();
    const TLayout& layout = Big ? kBig : kClassic;
    EntryPos = field<Big>(pos);
    if (entry)
        *entry = parseEntry(e, avail, pos, layout, swap);
    if (avail < 2)
        return;
    m_number = get16(e, swap);
    m_read = true;
    if (avail < 4)
        return;
    m_type = get16(e + 2, swap);
    FieldType = static_cast<std::uint8_t>(m_type - 1);
    const std::uint64_t fieldAt = 4 + layout.field;
    if (avail < fieldAt)
        return;
    Count = field<Big>(Big ? get64(e + 4, swap) : get32(e + 4, swap));
    ValuePos = field<Big>(pos + fieldAt);
    if (OwnerFile->m_scope != TReadScope::Structure)
        decodeAs<Big>(stream, e + fieldAt, avail - fieldAt);
    stream.Seek(pos + layout.entry);
}

template <bool Big> void TTag::readAs(TStream& stream, std::uint64_t pos, TEntry* entry)
{
    const std::uint64_t size = stream.Size();
    if (pos > size)
        return;
    // An entry cut by the end of the file keeps the fields that fit.
    const auto avail = static_cast<std::size_t>(std::min((Big ? kBig : kClassic).entry, size - pos));
    const std::uint8_t* p = stream.Slice(pos, avail);
    if (!p) {
        EntryPos = field<Big>(pos);
        return;
    }
    // A copy: the slice may not survive the value's own reads.
    std::uint8_t e[kBig.entry];
    std::memcpy(e, p, avail);
    readFrom<Big>(stream, pos, e, avail, entry);
}

const TTag* TTags::GetTag(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return &m_items[static_cast<std::size_t>(index)];
}

// Entries hold a view of their text and plain numbers: copied as bytes, and
// left behind without a destructor when their file's memory goes.
static_assert(std::is_trivially_copyable_v<TTag> && std::is_trivially_destructible_v<TTag>);

void TTags::grow(const TTiffFile* owner, std::size_t capacity)
{
    const std::size_t bytes = capacity * sizeof(TTag);
    auto* items = reinterpret_cast<TTag*>(owner->m_tags.Room(bytes, alignof(TTag)));
    owner->m_tags.Keep(bytes);
    if (m_count)
        std::memcpy(static_cast<void*>(items), m_items, m_count * sizeof(TTag));
    m_items = items;
    m_capacity = capacity;
}

// ---------------------------------------------------------------- TTiffPage

template <bool Big>
void TTiffPage::readWhole(TStream& stream, std::uint64_t pos, const std::uint8_t* bytes, std::size_t m,
                          TDirectory* directory)
{
    constexpr std::size_t size = (Big ? kBig : kClassic).entry;
    for (std::size_t j = 0; j < m; ++j, pos += size) {
        TEntry* entry = directory ? &directory->Entries.emplace_back() : nullptr;
        Tags.Add(OwnerFile).readFrom<Big>(stream, pos, bytes + j * size, size, entry);
    }
}

bool TTiffPage::ReadDirectory(TStream& stream, std::uint64_t& offset, const TMessageSink& sink, TDirectory& directory)
{
    const std::uint64_t size = stream.Size();
    const bool swap = OwnerFile && OwnerFile->IsBigEndian();
    const bool big = OwnerFile && OwnerFile->IsBigTiff();
    const TLayout& layout = big ? kBig : kClassic;
    // A classic file's positions are 32-bit numbers that wrap, as its offsets
    // do; a BigTIFF count may be any 64-bit number.
    const auto position = [&](std::uint64_t n) -> std::uint64_t {
        if (big)
            return addProduct(offset + layout.count, layout.entry, n);
        return static_cast<std::uint32_t>(offset + kClassic.count + kClassic.entry * n);
    };
    const auto tell = [&](std::string text, std::string_view before, std::string_view after) {
        if (sink)
            sink({std::move(text), std::string(before) + std::to_string(directory.Offset) + std::string(after),
                  directory.Offset, directory.Id});
    };
    directory.Offset = offset;
    std::uint64_t nextField = position(0);
    bool cut = false;
    try {
        stream.Seek(offset);
        const std::uint64_t n = readNumber(stream, layout.count, swap);
        directory.StoredCount = n;
        nextField = position(n);
        const bool wraps = !big && offset + layout.count + layout.entry * n > 0xFFFFFFFFu;
        const std::uint64_t entries = entriesCreated(offset + layout.count, n, size, layout.entry, wraps);
        const bool keep = OwnerFile && OwnerFile->Scope() != TReadScope::Pages;
        Tags.Reserve(OwnerFile, static_cast<std::size_t>(entries));
        if (keep)
            directory.Entries.reserve(static_cast<std::size_t>(entries));
        // Entries that lie whole in the file, and at positions that do not
        // wrap, are copied a chunk at a time rather than sliced one by one.
        const std::uint64_t first = position(0);
        const std::uint64_t whole = wraps || first > size ? 0 : std::min(n, (size - first) / layout.entry);
        std::uint8_t chunk[kChunkEntries * kBig.entry];
        // Entries follow each other, so no position past the file's end can wrap
        // before the loop has ended.
        for (std::uint64_t i = 0, pos = first; i < n; ++i, pos = big ? pos + kBig.entry : position(i)) {
            if (i < whole) {
                const auto m = static_cast<std::size_t>(std::min<std::uint64_t>(whole - i, kChunkEntries));
                const std::size_t bytes = m * static_cast<std::size_t>(layout.entry);
                if (const std::uint8_t* p = stream.Slice(pos, bytes)) {
                    std::memcpy(chunk, p, bytes);
                    TDirectory* kept = keep ? &directory : nullptr;
                    if (big)
                        readWhole<true>(stream, pos, chunk, m, kept);
                    else
                        readWhole<false>(stream, pos, chunk, m, kept);
                    i += m - 1; // the loop steps past the last one
                    pos += (m - 1) * layout.entry;
                    continue;
                }
            }
            TTag& tag = Tags.Add(OwnerFile);
            TEntry* entry = keep ? &directory.Entries.emplace_back() : nullptr;
            if (entry)
                entry->Position = pos;
            if (pos > size) {
                // The rest of the directory lies past the end: one message, and no
                // further entries, which would all be unread alike.
                tell("streamsize", "the directory at ", " runs past the end of the file");
                cut = true;
                break;
            }
            tag.read(stream, pos, entry);
        }
        stream.Seek(nextField);
        offset = readNumber(stream, layout.field, swap);
        directory.Next = offset;
        directory.Complete = !cut;
        return true;
    } catch (const EVelquinError&) {
        const std::string bytes = " (" + std::to_string(size) + " bytes)";
        std::string text = std::to_string(size) + std::to_string(nextField);
        if (directory.StoredCount)
            tell(std::move(text), "the next-directory field of the directory at ",
                 " lies past the end of the file" + bytes);
        else if (directory.Offset >= size)
            tell(std::move(text), "the directory at ", " lies past the end of the file" + bytes);
        else
            tell(std::move(text), "the entry count of the directory at ", " is cut by the end of the file" + bytes);
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
    loadOrClear([&] {
        TStream stream(path);
        Stamp = stream.Stamp();
        load(stream);
    });
}

void TTiffFile::OpenBuffer(const std::string& name, std::span<const std::uint8_t> bytes)
{
    FileName = name;
    loadOrClear([&] {
        TStream stream(bytes);
        load(stream);
    });
}

void TTiffFile::OpenSource(const std::string& name, TValueSource& source)
{
    FileName = name;
    loadOrClear([&] {
        Stamp = source.Stamp();
        load(*source.m_stream);
    });
}

void TTiffFile::loadOrClear(const std::function<void()>& loadFile)
{
    try {
        loadFile();
    } catch (const std::bad_alloc&) {
        clear();
        throw EOutOfMemory(FileName);
    }
}

std::uint64_t TTiffFile::textLeft() const
{
    const std::uint64_t used = m_texts.Held() - m_shortBytes;
    return used < m_textBudget ? m_textBudget - used : 0;
}

void TTiffFile::clear()
{
    Pages = TTiffPages();
    m_tags.Clear();
    m_texts.Clear();
    m_shortBytes = 0;
    Directories = {};
    DirectoryRanges = {};
}

/// Offsets met so far, whether memory ended the walk, and how many more
/// offsets entries may give.
struct TTiffFile::TWalk {
    TOffsetSet seen;
    bool stopped = false;
    std::uint64_t valuesLeft = 0;
};

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
    const bool swap = IsBigEndian();
    std::uint64_t offset = 0;
    const std::uint16_t magic = SwapWord(ReadWord(stream), swap);
    if (magic == 42) {
        offset = SwapLong(ReadLong(stream), swap);
    } else if (magic == 43) {
        // BigTIFF: the size of an offset, always 8, and a 0 before the first offset.
        const std::uint16_t width = SwapWord(ReadWord(stream), swap);
        const std::uint16_t zero = SwapWord(ReadWord(stream), swap);
        if (width != 8 || zero != 0) {
            ByteOrder = 0;
            throw EInvalidTiff();
        }
        m_bigTiff = true;
        offset = readNumber(stream, 8, swap);
    } else {
        ByteOrder = 0;
        throw EInvalidTiff();
    }

    // Memory: the file's blocks take at most its size while it is read; its
    // directories and entries may take twice that and its texts once more, so
    // that opening a file stays within four times its size. Sound files stay
    // far below (their directories and values do not overlap); a walk through
    // directories that overlap ends where the budget does, and texts that
    // share their bytes are cut (appendText).
    const std::uint64_t size = stream.Size();
    m_structureLeft = 2 * size + kStructureSlack;
    m_bytesLeft = 2 * size + kTextSlack;
    m_textBudget = size + kTextSlack;
    m_countLeft = size;

    // The chain first, as it has always been read; then below each page the
    // directories its entries point to, none of them a directory met before.
    TWalk walk;
    walk.valuesLeft = size / 4 + 1;
    std::deque<TDirectory> pages;
    readPages(stream, offset, pages, walk);
    if (m_scope == TReadScope::Pages)
        return;
    for (TDirectory& page : pages) {
        Directories.push_back(std::move(page));
        addRange(Directories.back(), size);
        if (!walk.stopped)
            readBelow(stream, Directories.size() - 1, 1, walk);
    }
}

void TTiffFile::readPages(TStream& stream, std::uint64_t offset, std::deque<TDirectory>& pages, TWalk& walk)
{
    // A directory that fails, an offset met again or an exhausted budget ends
    // the chain; the pages read so far stay. Beyond memory, the entries of all
    // pages are bounded by the file's size.
    std::uint64_t entriesLeft = stream.Size() / 4 + 1;
    // The tree keeps every page's directory; else one serves to name each page in messages.
    const bool keep = m_scope != TReadScope::Pages;
    while (offset != 0 && walk.seen.Insert(offset) && entriesLeft > 0) {
        TDirectory& placed = keep || pages.empty() ? pages.emplace_back() : pages.front();
        placed.Id = std::to_string(Pages.Count() + 1);
        placed.Page = Pages.Count();
        placed.Offset = offset;
        placed.StoredCount.reset();
        placed.Next.reset();
        placed.Complete = false;
        if (!afford(stream, placed, kPageCost, kEntryCost)) {
            if (keep)
                pages.pop_back();
            walk.stopped = true;
            return;
        }
        TTiffPage& page = Pages.Add(this);
        m_reading = &placed;
        const bool whole = page.ReadDirectory(stream, offset, m_sink, placed);
        m_reading = nullptr;
        if (!whole)
            return;
        entriesLeft -= std::min<std::uint64_t>(entriesLeft, static_cast<std::uint64_t>(page.Tags.Count()));
    }
}

void TTiffFile::readBelow(TStream& stream, std::size_t parent, int depth, TWalk& walk)
{
    const bool swap = IsBigEndian();
    // Ids name the kind and, for several of a kind, the number: "subifd2", "exif2".
    std::uint64_t subIfds = 0;
    int exifs = 0;
    int gpses = 0;
    int interops = 0;
    // The parent stays in place while Directories grows: a deque.
    const TDirectory& from = Directories[parent];
    for (std::size_t i = 0; i < from.Entries.size() && !walk.stopped; ++i) {
        const TEntry& entry = from.Entries[i];
        if (entry.Tag != 330 && entry.Tag != 34665 && entry.Tag != 34853 && entry.Tag != 40965)
            continue;
        const std::optional<TDirectoryKind> kind = FollowedKind(from.Kind, entry, m_bigTiff);
        if (!kind)
            continue;
        const std::uint64_t width = TEntry::TypeSize(entry.Type);
        // Several SubIFDs to an entry; one directory for the other kinds.
        const std::uint64_t values = *kind == TDirectoryKind::SubIfd ? entry.Count : 1;
        std::string name(*kind == TDirectoryKind::SubIfd ? "subifd"
                         : *kind == TDirectoryKind::Exif ? "exif"
                         : *kind == TDirectoryKind::Gps  ? "gps"
                                                         : "interop");
        if (*kind != TDirectoryKind::SubIfd) {
            int& seenOfKind = *kind == TDirectoryKind::Exif ? exifs : *kind == TDirectoryKind::Gps ? gpses : interops;
            if (++seenOfKind > 1)
                name += std::to_string(seenOfKind);
        }
        bool told = false; // once for an entry, however many of its values go unread
        for (std::uint64_t j = 0; j < values && !walk.stopped && walk.valuesLeft > 0; ++j, --walk.valuesLeft) {
            // The values lie in the file, or the loop ends; all entries together
            // read no more values than the file could hold.
            const std::uint8_t* p = stream.Slice(addProduct(entry.ValueOffset, width, j), width);
            if (!p)
                break;
            const std::uint64_t offset = getNumber(p, width, swap);
            const std::uint64_t number = *kind == TDirectoryKind::SubIfd ? ++subIfds : 0;
            if (offset == 0)
                continue;
            // A directory not read is told once for its entry, and named only
            // then: an entry may give thousands of offsets met before.
            const bool fresh = walk.seen.Insert(offset);
            if ((!fresh || depth > kMaxDepth) && std::exchange(told, true))
                continue;
            TDirectory directory;
            directory.Id = from.Id + "/" + name + (number ? std::to_string(number) : std::string());
            directory.Kind = *kind;
            directory.Parent = static_cast<int>(parent);
            directory.Offset = offset;
            const auto what = [&] {
                return "the " + std::string(directoryKindName(*kind)) + " directory at " + std::to_string(offset);
            };
            if (!fresh) {
                report("", what() + " is a directory read already: not read again", directory);
                continue;
            }
            if (depth > kMaxDepth) {
                report("",
                       what() + " lies more than " + std::to_string(kMaxDepth) +
                           " directories below its page: not read",
                       directory);
                continue;
            }
            if (!afford(stream, directory, kSubDirectoryCost, sizeof(TEntry))) {
                walk.stopped = true;
                return;
            }
            Directories.push_back(std::move(directory));
            const std::size_t index = Directories.size() - 1;
            readSubDirectory(stream, Directories[index]);
            addRange(Directories[index], stream.Size());
            readBelow(stream, index, depth + 1, walk);
        }
    }
}

void TTiffFile::readSubDirectory(TStream& stream, TDirectory& directory)
{
    const std::uint64_t size = stream.Size();
    const bool swap = IsBigEndian();
    const TLayout& layout = m_bigTiff ? kBig : kClassic;
    const std::string what =
        "the " + std::string(directoryKindName(directory.Kind)) + " directory at " + std::to_string(directory.Offset);
    const std::string bytes = " (" + std::to_string(size) + " bytes)";
    const std::uint8_t* p = stream.Slice(directory.Offset, layout.count);
    if (!p) {
        report("", what + " lies past the end of the file" + bytes, directory);
        return;
    }
    const std::uint64_t n = getNumber(p, layout.count, swap);
    directory.StoredCount = n;
    const std::uint64_t first = directory.Offset + layout.count;
    directory.Entries.reserve(static_cast<std::size_t>(entriesCreated(first, n, size, layout.entry, false)));
    for (std::uint64_t i = 0; i < n; ++i) {
        const std::uint64_t pos = addProduct(first, layout.entry, i);
        if (pos > size) {
            directory.Entries.push_back({.Position = pos});
            report("", what + " runs past the end of the file", directory);
            return;
        }
        const auto avail = static_cast<std::size_t>(std::min(layout.entry, size - pos));
        const std::uint8_t* raw = stream.Slice(pos, avail);
        directory.Entries.push_back(raw ? parseEntry(raw, avail, pos, layout, swap) : TEntry{.Position = pos});
    }
    const std::uint64_t nextField = addProduct(first, layout.entry, n);
    if (nextField > size || size - nextField < layout.field)
        report("", what + " runs past the end of the file", directory);
    else
        directory.Complete = true;
}

bool TTiffFile::afford(TStream& stream, const TDirectory& directory, std::uint64_t fixedCost, std::uint64_t perEntry)
{
    const TLayout& layout = m_bigTiff ? kBig : kClassic;
    const std::uint64_t size = stream.Size();
    std::uint64_t n = 0;
    if (const std::uint8_t* p = stream.Slice(directory.Offset, layout.count))
        n = getNumber(p, layout.count, IsBigEndian());
    const std::uint64_t first = directory.Offset + layout.count;
    // The positions of a classic page wrap at 32 bits; then every entry is read.
    const bool wraps = !m_bigTiff && first + layout.entry * n > 0xFFFFFFFFu;
    const std::uint64_t entries = entriesCreated(first, n, size, layout.entry, wraps);
    const std::uint64_t cost = fixedCost + heapCost(directory.Id.size()) + entries * perEntry;
    if (cost <= m_structureLeft) {
        m_structureLeft -= cost;
        return true;
    }
    report("",
           "reading stopped before the " + std::string(directoryKindName(directory.Kind)) + " directory at " +
               std::to_string(directory.Offset) + ": the directories read take all the memory this file may use",
           directory);
    return false;
}

void TTiffFile::addRange(const TDirectory& directory, std::uint64_t size)
{
    if (directory.Offset >= size)
        return;
    const TLayout& layout = m_bigTiff ? kBig : kClassic;
    // Without a count, the count field itself.
    const std::uint64_t end = directory.StoredCount ? addProduct(directory.Offset + layout.count + layout.field,
                                                                 layout.entry, *directory.StoredCount)
                                                    : directory.Offset + layout.count;
    constexpr std::uint64_t k4G = std::uint64_t{1} << 32;
    if (m_bigTiff || directory.Kind != TDirectoryKind::Page || end <= k4G) {
        DirectoryRanges.push_back({directory.Offset, std::min(end, size)});
        return;
    }
    // A page's entry positions wrap at 32 bits (see ReadDirectory): the entries
    // up to the one that crosses 4 GiB lie above, the rest and the next field
    // from position 0 on.
    const std::uint64_t first = directory.Offset + kClassic.count;
    const std::uint64_t above = (k4G - first + kClassic.entry - 1) / kClassic.entry; // entries starting below 4 GiB
    DirectoryRanges.push_back({directory.Offset, std::min(first + kClassic.entry * above, size)});
    DirectoryRanges.push_back({0, std::min(end - k4G, size)});
}

void TTiffFile::report(std::string text, std::string sentence, const TDirectory& directory) const
{
    if (m_sink)
        m_sink({std::move(text), std::move(sentence), directory.Offset, directory.Id});
}

std::size_t TTiffFile::textRoom(TStream& stream, std::uint64_t pos, std::size_t n, bool printableOnly) const
{
    // Counting costs a pass over the bytes: no more passes in all than the
    // file has bytes, or entries that share a large value would each count it.
    const std::uint64_t left = textLeft();
    if ((!printableOnly && n > left) || n > m_countLeft)
        return std::min(n, kCutText);
    m_countLeft -= n;
    std::uint64_t bound = 0;
    stream.ForEachPiece(pos, n, [&](const std::uint8_t* p, std::size_t length) {
        for (std::size_t i = 0; i < length; ++i)
            bound += p[i] >= 0x80 ? 3 : (printableOnly && p[i] <= 31 ? 0 : 1);
    });
    if (bound + 32 <= left)
        return n;
    // Only a file whose entries share their data gets here.
    return std::min(n, kCutText);
}

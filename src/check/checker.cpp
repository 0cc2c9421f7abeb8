#include "check/checker.h"

#include "check/tagrules.h"
#include "tagnames/directorytags.h"
#include "tiff/codepage.h"
#include "tiff/errors.h"
#include "tiff/tiff.h"
#include "tiff/values.h"
#include "tiff/valuesource.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <variant>

// How a file is checked: the header first; then every directory the reader
// read, in its order, with its entries and their values (and, for pages and
// SubIFDs, the rules of TIFF's well-known tags and the strip or tile data);
// then the pointers between directories, for loops and directories reached
// twice; last the overlaps among all the parts found on the way. Every part
// goes into the layout, and the bytes between parts become its gaps.

namespace {

using enum TProblemKind;

constexpr std::uint16_t kImageWidth = 256;
constexpr std::uint16_t kImageLength = 257;
constexpr std::uint16_t kBitsPerSample = 258;
constexpr std::uint16_t kCompression = 259;
constexpr std::uint16_t kPhotometric = 262;
constexpr std::uint16_t kStripOffsets = 273;
constexpr std::uint16_t kSamplesPerPixel = 277;
constexpr std::uint16_t kRowsPerStrip = 278;
constexpr std::uint16_t kStripByteCounts = 279;
constexpr std::uint16_t kXResolution = 282;
constexpr std::uint16_t kYResolution = 283;
constexpr std::uint16_t kPlanarConfiguration = 284;
constexpr std::uint16_t kResolutionUnit = 296;
constexpr std::uint16_t kDateTime = 306;
constexpr std::uint16_t kTileWidth = 322;
constexpr std::uint16_t kTileLength = 323;
constexpr std::uint16_t kTileOffsets = 324;
constexpr std::uint16_t kTileByteCounts = 325;
constexpr std::uint16_t kDateTimeOriginal = 36867;
constexpr std::uint16_t kDateTimeDigitized = 36868;
constexpr std::uint16_t kAsciiType = 2;

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b)
{
    std::uint64_t sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? ~std::uint64_t{0} : sum;
}

std::uint64_t saturatingMul(std::uint64_t a, std::uint64_t b)
{
    std::uint64_t product = 0;
    return __builtin_mul_overflow(a, b, &product) ? ~std::uint64_t{0} : product;
}

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b)
{
    return a / b + (a % b != 0);
}

/// Types whose items are whole numbers.
bool isIntegerType(std::uint16_t code)
{
    switch (code) {
    case 1:
    case 3:
    case 4:
    case 6:
    case 8:
    case 9:
    case 13:
    case 16:
    case 17:
    case 18:
        return true;
    default:
        return false;
    }
}

/// Directories that hold an image, and so TIFF's tags for one.
bool holdsImage(TDirectoryKind kind)
{
    return kind == TDirectoryKind::Page || kind == TDirectoryKind::SubIfd;
}

/// "YYYY:MM:DD HH:MM:SS" and its NUL; Exif writes blanks for what is unknown.
bool isDateTime(const std::vector<std::uint8_t>& value)
{
    static constexpr std::string_view kForm = "dddd:dd:dd dd:dd:dd";
    if (value.size() != kForm.size() + 1 || value.back() != 0)
        return false;
    for (std::size_t i = 0; i < kForm.size(); ++i) {
        const char c = static_cast<char>(value[i]);
        const bool fits = kForm[i] == 'd' ? (c >= '0' && c <= '9') || c == ' ' : c == kForm[i] || c == ' ';
        if (!fits)
            return false;
    }
    return true;
}

/// A whole number as an offset or a length: BigTIFF's Long8 items whole, past
/// 2^63 too; nothing for a negative one.
std::optional<std::uint64_t> unsignedValue(const TValueItem& item)
{
    if (const auto* wide = std::get_if<std::uint64_t>(&item))
        return *wide;
    const std::optional<std::int64_t> value = integerValue(item);
    return value && *value >= 0 ? std::optional<std::uint64_t>(*value) : std::nullopt;
}

/// Numerator and denominator of a Rational or sRational item.
std::pair<std::int64_t, std::int64_t> ratio(const TValueItem& item)
{
    if (const auto* r = std::get_if<TRational>(&item))
        return {r->Numerator, r->Denominator};
    const auto& s = std::get<TSRational>(item);
    return {s.Numerator, s.Denominator};
}

/// What an image's directory says of its size, from the first value of each
/// tag: read once a directory, for every rule that needs it.
struct TImageFacts {
    std::optional<std::uint64_t> Width;
    std::optional<std::uint64_t> Length;
    std::uint64_t RowsPerStrip = 0xFFFFFFFF;
    std::optional<std::uint64_t> TileWidth;
    std::optional<std::uint64_t> TileLength;
    std::uint64_t SamplesPerPixel = 1;
    std::uint64_t BitsPerSample = 1;
    std::uint64_t Planes = 1; ///< SamplesPerPixel when each sample has its own plane
    std::uint64_t Compression = 1;
    std::optional<std::uint64_t> Photometric;
    /// The bits of a pixel's samples (of the narrowest sample, in separate
    /// planes), from every value of BitsPerSample; 0 when unknown.
    std::uint64_t PixelBits = 0;
};

class TChecker {
public:
    TChecker(const TTiffFile& file, TValueSource& source)
        : m_file(file), m_source(source), m_size(source.Size()), m_big(file.IsBigTiff()),
          m_order(file.IsBigEndian() ? std::endian::big : std::endian::little), m_countBytes(m_big ? 8 : 2),
          m_entryBytes(m_big ? 20 : 12), m_fieldBytes(m_big ? 8 : 4), m_readLeft(2 * m_size + (1 << 20)),
          m_dataPartsLeft(m_size / 8 + (1 << 16))
    {
    }

    TCheckReport run();

private:
    /// Counts a finding of kind, and lists it while its kind has room; facts()
    /// is called only for a finding that is listed.
    template <class Facts> void add(TProblemKind kind, int dir, int entry, TByteRange range, Facts&& facts)
    {
        if (m_report.Found[static_cast<std::size_t>(kind)]++ < ProblemListLimit)
            list(kind, dir, entry, range, facts());
    }
    void list(TProblemKind kind, int dir, int entry, TByteRange range, const TSentenceFacts& facts);

    void checkHeader();
    void checkDirectory(int d);
    void checkEntry(int d, int i);
    void checkEntryOrder(int d);
    void checkContent(int d, int i);
    void checkTagRule(int d, int i);
    void checkImageData(int d, bool tiles);
    void checkRequiredFields(int d);
    void checkChain();
    void checkPointers(int d, std::vector<bool>& claimed);
    void checkOverlaps();

    void addPart(TPartKind kind, TByteRange range, int d, int entry, std::uint64_t item = 0);
    /// Takes n from what is left, or tells once that the checks stop here.
    bool spend(std::uint64_t& left, std::uint64_t n, int d);
    /// The bytes of the entry's value that lie in the file, into into; false
    /// once the file's reads are spent.
    bool readValue(int d, const TEntry& entry, std::vector<std::uint8_t>& into);
    /// The first entry with the tag, whole enough to have its type; nullptr if none.
    const TEntry* findEntry(const TDirectory& dir, std::uint16_t tag, int* index = nullptr) const;
    /// The entry's first value, if it is a whole number.
    std::optional<std::uint64_t> firstNumber(const TEntry& e);
    TImageFacts imageFacts(const TDirectory& dir);
    std::uint64_t pixelBits(const TEntry* bitsPerSample, const TImageFacts& image);
    std::optional<std::uint64_t> expectedStrips() const;
    std::optional<std::uint64_t> expectedTiles() const;
    /// What strip or tile k holds uncompressed: its bytes (0 when the image
    /// is compressed or its size unknown), rows and width in pixels.
    struct TBlock {
        std::uint64_t Bytes = 0;
        std::uint64_t Rows = 0;
        std::uint64_t Width = 0;
    };
    TBlock uncompressed(bool tiles, std::uint64_t k) const;
    int findDirectory(std::uint64_t offset) const;
    bool isSelfOrAbove(int target, int d) const;

    bool whole(const TEntry& e) const { return e.Stored >= m_entryBytes; }
    TByteRange directoryRange(const TDirectory& dir) const;
    TByteRange entryRange(const TEntry& e) const { return {e.Position, e.Position + m_entryBytes}; }
    TByteRange valueRange(const TEntry& e) const
    {
        return {e.ValueOffset, saturatingAdd(e.ValueOffset, e.ValueBytes())};
    }
    const TDirectory& directory(int d) const { return m_file.Directories[static_cast<std::size_t>(d)]; }
    std::string dirText(int d) const;
    std::string tagText(int d, std::uint16_t tag) const;
    std::string partText(const TPart& part) const;

    const TTiffFile& m_file;
    TValueSource& m_source;
    const std::uint64_t m_size;
    const bool m_big;
    const std::endian m_order;
    const std::uint64_t m_countBytes;
    const std::uint64_t m_entryBytes;
    const std::uint64_t m_fieldBytes; ///< an offset, a value field, a next-directory field
    // What value reads may still take: twice the file and some. Only files
    // whose entries share large values run out.
    std::uint64_t m_readLeft;
    // Strips and tiles the layout may still take: a sound file spends at
    // least 8 bytes on each (its offset, its count and some data), so only
    // directories that share their strip arrays run out.
    std::uint64_t m_dataPartsLeft;
    bool m_limited = false;
    std::vector<std::pair<std::uint64_t, int>> m_byOffset; ///< directories by offset
    std::vector<TPart> m_parts;
    TImageFacts m_image; ///< of the image directory being checked
    // Value bytes, kept between reads so that each read costs no memory of its own.
    std::vector<std::uint8_t> m_value;
    std::vector<std::uint8_t> m_counts;
    TCheckReport m_report;
};

TCheckReport TChecker::run()
{
    if (m_file.Scope() == TReadScope::Pages)
        throw EVelquinError("the file was read without its directory tree and cannot be checked");
    for (std::size_t d = 0; d < m_file.Directories.size(); ++d)
        m_byOffset.emplace_back(m_file.Directories[d].Offset, static_cast<int>(d));
    std::sort(m_byOffset.begin(), m_byOffset.end());

    checkHeader();
    for (std::size_t d = 0; d < m_file.Directories.size(); ++d)
        checkDirectory(static_cast<int>(d));
    checkChain();
    checkOverlaps();
    addGaps(m_parts, m_size);
    m_report.Layout = std::move(m_parts);
    std::stable_sort(m_report.Problems.begin(), m_report.Problems.end(),
                     [](const TProblem& a, const TProblem& b) { return a.Directory < b.Directory; });
    return std::move(m_report);
}

void TChecker::list(TProblemKind kind, int dir, int entry, TByteRange range, const TSentenceFacts& facts)
{
    TProblem& p = m_report.Problems.emplace_back();
    p.Kind = kind;
    p.Directory = dir;
    if (dir >= 0)
        p.DirectoryId = directory(dir).Id;
    p.Entry = entry;
    p.Range = range;
    p.Sentence = problemSentence(kind, facts);
}

// ---------------------------------------------------------------- structure

void TChecker::checkHeader()
{
    const std::uint64_t header = m_big ? 16 : 8;
    addPart(TPartKind::Header, {0, header}, -1, -1);
    const std::vector<std::uint8_t> field = m_source.Read(header - m_fieldBytes, m_fieldBytes);
    const TValueDecoder first(field, m_big ? 16 : 4, 1, m_order);
    if (first.size() == 1 && integerValue(first.item(0)) == 0)
        add(NoPages, -1, -1, {header - m_fieldBytes, header}, [] { return TSentenceFacts{}; });
}

TByteRange TChecker::directoryRange(const TDirectory& dir) const
{
    if (!dir.StoredCount)
        return {dir.Offset, saturatingAdd(dir.Offset, m_countBytes)};
    const std::uint64_t entries = saturatingMul(*dir.StoredCount, m_entryBytes);
    return {dir.Offset, saturatingAdd(dir.Offset, saturatingAdd(m_countBytes + m_fieldBytes, entries))};
}

void TChecker::checkDirectory(int d)
{
    const TDirectory& dir = directory(d);
    const TByteRange range = directoryRange(dir);
    const auto where = [&] { return TSentenceFacts{.Dir = dirText(d), .At = dir.Offset, .Size = m_size}; };
    if (dir.Offset % 2)
        add(DirectoryOffsetOdd, d, -1, range, where);
    if (dir.Offset >= m_size) {
        add(DirectoryPastEnd, d, -1, range, where);
        return;
    }
    addPart(TPartKind::Directory, range, d, -1);
    if (!dir.StoredCount) {
        add(DirectoryCut, d, -1, range, [&] {
            TSentenceFacts f = where();
            f.Detail = "its entry count is cut";
            return f;
        });
        return;
    }
    if (*dir.StoredCount == 0)
        add(EntryCountZero, d, -1, range, where);
    if (!dir.Complete) {
        const auto whole = static_cast<std::uint64_t>(
            std::count_if(dir.Entries.begin(), dir.Entries.end(), [&](const TEntry& e) { return this->whole(e); }));
        if (whole < *dir.StoredCount) {
            add(DirectoryCut, d, -1, range, [&] {
                TSentenceFacts f = where();
                f.Detail = "only " + std::to_string(whole) + " of its " + std::to_string(*dir.StoredCount) +
                           " entries lie in the file";
                return f;
            });
        } else {
            // Every entry is there: readers end the chain here and read the page.
            const std::uint64_t field = range.End - m_fieldBytes;
            add(NextOffsetCut, d, -1, {field, range.End}, [&] {
                TSentenceFacts f = where();
                f.At = field;
                return f;
            });
        }
    }
    if (holdsImage(dir.Kind))
        m_image = imageFacts(dir);
    for (std::size_t i = 0; i < dir.Entries.size(); ++i)
        checkEntry(d, static_cast<int>(i));
    checkEntryOrder(d);
    if (holdsImage(dir.Kind)) {
        checkImageData(d, false);
        checkImageData(d, true);
        if (dir.Kind == TDirectoryKind::Page && dir.Complete)
            checkRequiredFields(d);
    }
}

void TChecker::checkEntry(int d, int i)
{
    const TEntry& e = directory(d).Entries[static_cast<std::size_t>(i)];
    if (e.Stored < 4) // cut before its type: the directory's finding covers it
        return;
    if (!isKnownType(e.Type, m_big)) {
        add(UnknownType, d, i, entryRange(e),
            [&] { return TSentenceFacts{.Dir = dirText(d), .Tag = tagText(d, e.Tag), .N = e.Type}; });
        return;
    }
    if (holdsImage(directory(d).Kind))
        checkTagRule(d, i);
    if (!whole(e))
        return;
    if (!e.Inline) {
        const TByteRange value = valueRange(e);
        const auto facts = [&] {
            return TSentenceFacts{.Dir = dirText(d),
                                  .Tag = tagText(d, e.Tag),
                                  .At = e.ValueOffset,
                                  .Length = e.ValueBytes(),
                                  .Size = m_size};
        };
        if (e.ValueOffset % 2)
            add(ValueOffsetOdd, d, i, value, facts);
        if (value.End > m_size)
            add(ValuePastEnd, d, i, value, facts);
        addPart(TPartKind::Value, value, d, i);
    }
    checkContent(d, i);
}

void TChecker::checkEntryOrder(int d)
{
    const TDirectory& dir = directory(d);
    // Most directories are in order, and cost no list.
    const auto tagRead = [](const TEntry& e) { return e.Stored >= 2; };
    const auto unordered =
        std::adjacent_find(dir.Entries.begin(), dir.Entries.end(), [&](const TEntry& a, const TEntry& b) {
            return !tagRead(a) || !tagRead(b) || a.Tag >= b.Tag;
        });
    if (unordered == dir.Entries.end())
        return;
    // Entries whose tag was read, in directory order.
    std::vector<std::pair<std::uint16_t, int>> tags;
    tags.reserve(dir.Entries.size());
    for (std::size_t i = 0; i < dir.Entries.size(); ++i)
        if (tagRead(dir.Entries[i]))
            tags.emplace_back(dir.Entries[i].Tag, static_cast<int>(i));
    bool ascending = true;
    for (std::size_t k = 1; k < tags.size(); ++k) {
        if (tags[k].first > tags[k - 1].first)
            continue;
        ascending = false;
        if (tags[k].first < tags[k - 1].first)
            add(EntryOrder, d, tags[k].second, entryRange(dir.Entries[static_cast<std::size_t>(tags[k].second)]), [&] {
                return TSentenceFacts{
                    .Dir = dirText(d), .Tag = tagText(d, tags[k].first), .Other = tagText(d, tags[k - 1].first)};
            });
    }
    if (ascending)
        return;
    // Each later entry of a tag is the one readers pass over.
    std::stable_sort(tags.begin(), tags.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::pair<int, std::uint64_t>> repeats; // entry, how many of its tag so far
    for (std::size_t k = 1, run = 1; k < tags.size(); ++k) {
        run = tags[k].first == tags[k - 1].first ? run + 1 : 1;
        if (run > 1)
            repeats.emplace_back(tags[k].second, run);
    }
    std::sort(repeats.begin(), repeats.end());
    for (const auto& repeat : repeats) {
        const int i = repeat.first;
        const std::uint64_t times = repeat.second; // not a binding: clang 14, the fuzzer's, cannot capture one
        const TEntry& e = dir.Entries[static_cast<std::size_t>(i)];
        add(DuplicateTag, d, i, entryRange(e), [&] {
            return TSentenceFacts{.Dir = dirText(d),
                                  .Tag = tagText(d, e.Tag),
                                  .Detail = times == 2 ? std::string("twice") : std::to_string(times) + " times"};
        });
    }
}

// ---------------------------------------------------------------- values

bool TChecker::readValue(int d, const TEntry& e, std::vector<std::uint8_t>& into)
{
    into.clear();
    if (e.ValueOffset >= m_size)
        return true;
    const std::uint64_t take = std::min(e.ValueBytes(), m_size - e.ValueOffset);
    if (!e.Inline && !spend(m_readLeft, take, d))
        return false;
    into.resize(static_cast<std::size_t>(take));
    into.resize(m_source.ReadInto(e.ValueOffset, into));
    return true;
}

bool TChecker::spend(std::uint64_t& left, std::uint64_t n, int d)
{
    if (m_limited || n > left) {
        if (!std::exchange(m_limited, true))
            add(ChecksLimited, d, -1, {}, [&] { return TSentenceFacts{.Dir = dirText(d)}; });
        return false;
    }
    left -= n;
    return true;
}

void TChecker::checkContent(int d, int i)
{
    const TDirectory& dir = directory(d);
    const TEntry& e = dir.Entries[static_cast<std::size_t>(i)];
    const bool ascii = e.Type == kAsciiType;
    const bool rational = e.Type == 5 || e.Type == 10;
    if (!ascii && !rational)
        return;
    if (!readValue(d, e, m_value))
        return;
    const std::vector<std::uint8_t>& value = m_value;
    // A value of no bytes is told at its entry.
    const TByteRange range = e.ValueBytes() > 0 ? valueRange(e) : entryRange(e);
    const auto facts = [&] { return TSentenceFacts{.Dir = dirText(d), .Tag = tagText(d, e.Tag)}; };
    if (rational) {
        // Exif writes 0/0 for "unknown"; only a page's rationals must divide.
        const bool unknownAllowed = !holdsImage(dir.Kind);
        const TValueDecoder items(value, e.Type, e.Count, m_order);
        for (std::size_t k = 0; k < items.size(); ++k) {
            const auto [numerator, denominator] = ratio(items.item(k));
            if (denominator == 0 && (numerator != 0 || !unknownAllowed)) {
                add(RationalZero, d, i, range, [&] {
                    TSentenceFacts f = facts();
                    f.N = k + 1;
                    return f;
                });
                break;
            }
        }
        return;
    }
    const bool complete = value.size() == e.ValueBytes(); // else the value runs past the end
    if (complete && (value.empty() || value.back() != 0))
        add(AsciiNoNul, d, i, range, facts);
    // Text after the first NUL; NULs that only pad the end are fine.
    const void* found = value.empty() ? nullptr : std::memchr(value.data(), 0, value.size());
    const std::size_t nul =
        found ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - value.data()) : value.size();
    std::size_t textEnd = value.size();
    while (textEnd > nul && value[textEnd - 1] == 0)
        --textEnd;
    if (textEnd > nul)
        add(AsciiInnerNul, d, i, range, facts);
    const bool dated =
        (holdsImage(dir.Kind) && e.Tag == kDateTime) ||
        (dir.Kind == TDirectoryKind::Exif && (e.Tag == kDateTimeOriginal || e.Tag == kDateTimeDigitized));
    if (dated && complete && !isDateTime(value))
        add(DateTimeFormat, d, i, range, [&] {
            TSentenceFacts f = facts();
            const std::size_t shown = std::min<std::size_t>(nul, 40);
            AppendCp1252AsUtf8(f.Detail, value.data(), shown);
            return f;
        });
}

// ---------------------------------------------------------------- TIFF's rules for images

void TChecker::checkTagRule(int d, int i)
{
    const TDirectory& dir = directory(d);
    const TEntry& e = dir.Entries[static_cast<std::size_t>(i)];
    const TTagRule* rule = findTagRule(e.Tag);
    if (!rule)
        return;
    const TTypeSet allowed = allowedTypes(*rule, m_big);
    if (!(allowed & typeBit(e.Type))) {
        const bool converted = rule->Types == typeBit(kAsciiType) ? isByteType(e.Type) : isNumericType(e.Type);
        add(converted ? OtherType : WrongType, d, i, entryRange(e), [&] {
            return TSentenceFacts{.Dir = dirText(d),
                                  .Tag = std::string(rule->Name),
                                  .Other = typeSetText(allowed),
                                  .Detail = std::string(fieldTypeName(e.Type))};
        });
        if (!converted)
            return;
    }
    if (!whole(e))
        return;
    std::uint64_t expected = e.Count;
    TProblemKind kind = CountWrong;
    switch (rule->Count) {
    case TCountRule::Fixed:
        expected = rule->N;
        break;
    case TCountRule::PerSample:
        expected = m_image.SamplesPerPixel;
        kind = SamplesCount;
        break;
    case TCountRule::ColorMap:
        if (m_image.BitsPerSample <= 16)
            expected = std::uint64_t{3} << m_image.BitsPerSample;
        break;
    default: // any count; strips and tiles are counted with their data
        break;
    }
    if (e.Count != expected)
        add(kind, d, i, entryRange(e), [&] {
            return TSentenceFacts{.Dir = dirText(d), .Tag = std::string(rule->Name), .N = e.Count, .M = expected};
        });
}

TImageFacts TChecker::imageFacts(const TDirectory& dir)
{
    // The first entry of each tag wanted, found in one pass.
    static constexpr std::array<std::uint16_t, 10> kWanted{
        kImageWidth,      kImageLength,  kBitsPerSample,       kCompression, kPhotometric,
        kSamplesPerPixel, kRowsPerStrip, kPlanarConfiguration, kTileWidth,   kTileLength};
    std::array<const TEntry*, kWanted.size()> first{};
    for (const TEntry& e : dir.Entries) {
        if (e.Stored < 4 || e.Tag > kTileLength)
            continue;
        const auto it = std::find(kWanted.begin(), kWanted.end(), e.Tag);
        if (it != kWanted.end() && !first[static_cast<std::size_t>(it - kWanted.begin())])
            first[static_cast<std::size_t>(it - kWanted.begin())] = &e;
    }
    const auto entryOf = [&](std::uint16_t tag) {
        return first[static_cast<std::size_t>(std::find(kWanted.begin(), kWanted.end(), tag) - kWanted.begin())];
    };
    const auto number = [&](std::uint16_t tag) {
        const TEntry* e = entryOf(tag);
        return e ? firstNumber(*e) : std::nullopt;
    };
    TImageFacts image;
    image.Width = number(kImageWidth);
    image.Length = number(kImageLength);
    image.RowsPerStrip = number(kRowsPerStrip).value_or(image.RowsPerStrip);
    image.TileWidth = number(kTileWidth);
    image.TileLength = number(kTileLength);
    image.SamplesPerPixel = number(kSamplesPerPixel).value_or(1);
    image.BitsPerSample = number(kBitsPerSample).value_or(1);
    image.Planes = number(kPlanarConfiguration) == 2 ? image.SamplesPerPixel : 1;
    image.Compression = number(kCompression).value_or(1);
    image.Photometric = number(kPhotometric);
    image.PixelBits = pixelBits(entryOf(kBitsPerSample), image);
    return image;
}

std::uint64_t TChecker::pixelBits(const TEntry* bitsPerSample, const TImageFacts& image)
{
    // One value per sample, or one for all; a pixel of more samples than
    // this is left unchecked.
    constexpr std::uint64_t kMostSamples = 64;
    if (image.SamplesPerPixel == 0 || image.SamplesPerPixel > kMostSamples)
        return 0;
    std::array<std::uint8_t, 2 * kMostSamples> raw{};
    std::size_t values = 1;
    raw[0] = 1; // the default of one bit, in either byte order
    raw[1] = 1;
    if (bitsPerSample) {
        if (!whole(*bitsPerSample) || bitsPerSample->Type != 3 || bitsPerSample->Count == 0)
            return 0;
        values = static_cast<std::size_t>(std::min<std::uint64_t>(bitsPerSample->Count, image.SamplesPerPixel));
        values = m_source.ReadInto(bitsPerSample->ValueOffset, std::span(raw.data(), 2 * values)) / 2;
        if (values == 0)
            return 0;
    }
    const TValueDecoder bits(std::span(raw.data(), 2 * values), 3, values, m_order);
    std::uint64_t sum = 0;
    std::uint64_t narrowest = ~std::uint64_t{0};
    for (std::uint64_t k = 0; k < image.SamplesPerPixel; ++k) {
        const std::uint64_t b = static_cast<std::uint64_t>(integerValue(bits.item(k < values ? k : 0)).value_or(0));
        sum += b;
        narrowest = std::min(narrowest, b);
    }
    return image.Planes > 1 ? narrowest : sum;
}

std::optional<std::uint64_t> TChecker::expectedStrips() const
{
    const TImageFacts& i = m_image;
    if (!i.Length || *i.Length == 0 || i.RowsPerStrip == 0)
        return std::nullopt;
    return saturatingMul(ceilDiv(*i.Length, i.RowsPerStrip), i.Planes);
}

std::optional<std::uint64_t> TChecker::expectedTiles() const
{
    const TImageFacts& i = m_image;
    if (!i.Width || !i.Length || !i.TileWidth || !i.TileLength || !*i.Width || !*i.Length || !*i.TileWidth ||
        !*i.TileLength)
        return std::nullopt;
    return saturatingMul(saturatingMul(ceilDiv(*i.Width, *i.TileWidth), ceilDiv(*i.Length, *i.TileLength)), i.Planes);
}

TChecker::TBlock TChecker::uncompressed(bool tiles, std::uint64_t k) const
{
    const TImageFacts& i = m_image;
    TBlock block;
    // YCbCr pixels may be subsampled, and then take fewer bytes than their samples.
    constexpr std::uint64_t kYCbCr = 6;
    if (i.Compression != 1 || i.Photometric == kYCbCr || i.PixelBits == 0 || !i.Width || !i.Length || *i.Length == 0 ||
        i.RowsPerStrip == 0)
        return block;
    // Tiles kept under StripOffsets (libtiff reads them as tiles): their
    // size is a tile's, not a strip's, and the strip count says the rest.
    if (!tiles && i.TileWidth && i.TileLength)
        return block;
    block.Width = tiles ? i.TileWidth.value_or(0) : *i.Width;
    if (tiles) {
        block.Rows = i.TileLength.value_or(0);
    } else { // the last strip of a plane holds the rows that are left
        const std::uint64_t perStrip = std::min(i.RowsPerStrip, *i.Length);
        block.Rows = std::min(perStrip, *i.Length - (k % ceilDiv(*i.Length, perStrip)) * perStrip);
    }
    std::uint64_t bits = 0;
    if (__builtin_mul_overflow(block.Width, i.PixelBits, &bits) ||
        __builtin_mul_overflow(ceilDiv(bits, 8), block.Rows, &block.Bytes))
        block.Bytes = 0;
    return block;
}

void TChecker::checkImageData(int d, bool tiles)
{
    const TDirectory& dir = directory(d);
    const std::uint16_t offsetsTag = tiles ? kTileOffsets : kStripOffsets;
    const std::uint16_t countsTag = tiles ? kTileByteCounts : kStripByteCounts;
    const TProblemKind kind = tiles ? TileCount : StripCount;
    int offsetsAt = -1;
    int countsAt = -1;
    const TEntry* offsets = findEntry(dir, offsetsTag, &offsetsAt);
    const TEntry* counts = findEntry(dir, countsTag, &countsAt);
    if (!offsets || !whole(*offsets))
        return;
    if (const std::optional<std::uint64_t> expected = tiles ? expectedTiles() : expectedStrips();
        expected && offsets->Count != *expected)
        add(kind, d, offsetsAt, entryRange(*offsets), [&] {
            std::string given =
                tiles ? "ImageWidth, ImageLength, TileWidth and TileLength" : "ImageLength and RowsPerStrip";
            if (m_image.Planes > 1)
                given = (tiles ? "ImageWidth, ImageLength, TileWidth, TileLength" : "ImageLength, RowsPerStrip") +
                        std::string(" and SamplesPerPixel");
            return TSentenceFacts{.Dir = dirText(d),
                                  .Tag = tagText(d, offsetsTag),
                                  .Detail = given + " give",
                                  .N = offsets->Count,
                                  .M = *expected};
        });
    if (!counts || !whole(*counts))
        return;
    if (counts->Count != offsets->Count)
        add(kind, d, countsAt, entryRange(*counts), [&] {
            return TSentenceFacts{.Dir = dirText(d),
                                  .Tag = tagText(d, countsTag),
                                  .Detail = tagText(d, offsetsTag) + " has",
                                  .N = counts->Count,
                                  .M = offsets->Count};
        });
    if (!isIntegerType(offsets->Type) || !isIntegerType(counts->Type))
        return;
    if (!readValue(d, *offsets, m_value) || !readValue(d, *counts, m_counts))
        return;
    const TValueDecoder starts(m_value, offsets->Type, offsets->Count, m_order);
    const TValueDecoder lengths(m_counts, counts->Type, counts->Count, m_order);
    const std::size_t n = std::min(starts.size(), lengths.size());
    m_parts.reserve(m_parts.size() + n);
    for (std::size_t k = 0; k < n; ++k) {
        const std::optional<std::uint64_t> start = unsignedValue(starts.item(k));
        const std::optional<std::uint64_t> length = unsignedValue(lengths.item(k));
        if (!start || !length || *length == 0)
            continue; // no bytes: sparse files leave tiles out this way
        if (!spend(m_dataPartsLeft, 1, d))
            return;
        const std::uint64_t at = *start;
        const std::uint64_t bytes = *length;
        const TByteRange range{at, saturatingAdd(at, bytes)};
        const auto name = [&] { return (tiles ? "tile " : "strip ") + std::to_string(k + 1); };
        if (range.End > m_size)
            add(DataPastEnd, d, offsetsAt, range, [&] {
                return TSentenceFacts{.Dir = dirText(d), .Detail = name(), .At = at, .Length = bytes, .Size = m_size};
            });
        if (const TBlock block = uncompressed(tiles, k); bytes < block.Bytes)
            add(DataShort, d, countsAt, range, [&] {
                return TSentenceFacts{.Dir = dirText(d),
                                      .Other = tiles ? "tile of " + std::to_string(block.Width) + " x " +
                                                           std::to_string(block.Rows) + " pixels"
                                                     : "strip of " + std::to_string(block.Rows) + " rows",
                                      .Detail = name(),
                                      .N = bytes,
                                      .M = block.Bytes};
            });
        addPart(tiles ? TPartKind::TileData : TPartKind::StripData, range, d, offsetsAt, k);
    }
}

void TChecker::checkRequiredFields(int d)
{
    const TDirectory& dir = directory(d);
    const TByteRange range = directoryRange(dir);
    const auto missing = [&](TProblemKind kind, std::string tag, std::string detail = {}) {
        add(kind, d, -1, range,
            [&] { return TSentenceFacts{.Dir = dirText(d), .Tag = std::move(tag), .Detail = std::move(detail)}; });
    };
    for (const std::uint16_t tag : {kImageWidth, kImageLength, kPhotometric})
        if (!findEntry(dir, tag))
            missing(MissingField, tagText(d, tag));
    const bool strips = findEntry(dir, kStripOffsets) != nullptr;
    const bool tiles = findEntry(dir, kTileOffsets) != nullptr;
    if (!strips && !tiles)
        missing(MissingField, "StripOffsets or TileOffsets");
    if (strips && !findEntry(dir, kStripByteCounts))
        missing(MissingField, tagText(d, kStripByteCounts));
    if (tiles && !findEntry(dir, kTileByteCounts))
        missing(MissingField, tagText(d, kTileByteCounts));
    if (!findEntry(dir, kResolutionUnit))
        missing(MissingResolution, tagText(d, kResolutionUnit), "readers take inches");
    for (const std::uint16_t tag : {kXResolution, kYResolution})
        if (!findEntry(dir, tag))
            missing(MissingResolution, tagText(d, tag), "its printed size is unknown");
}

// ---------------------------------------------------------------- pointers between directories

int TChecker::findDirectory(std::uint64_t offset) const
{
    const auto it = std::lower_bound(m_byOffset.begin(), m_byOffset.end(), std::pair<std::uint64_t, int>(offset, -1));
    return it != m_byOffset.end() && it->first == offset ? it->second : -1;
}

bool TChecker::isSelfOrAbove(int target, int d) const
{
    for (int x = d; x >= 0; x = directory(x).Parent)
        if (x == target)
            return true;
    return false;
}

void TChecker::checkChain()
{
    // The reader claims each directory at the first pointer that leads to it:
    // the page chain first, then the pointers of each page's entries, depth
    // first. A pointer met later to a directory read already is the finding.
    std::vector<bool> claimed(m_file.Directories.size());
    for (std::size_t d = 0; d < m_file.Directories.size(); ++d)
        claimed[d] = m_file.Directories[d].Kind == TDirectoryKind::Page;
    for (std::size_t d = 0; d < m_file.Directories.size(); ++d) {
        const TDirectory& page = m_file.Directories[d];
        if (page.Kind != TDirectoryKind::Page)
            continue;
        const int target = page.Next && *page.Next ? findDirectory(*page.Next) : -1;
        if (target >= 0 && directory(target).Kind == TDirectoryKind::Page && directory(target).Page <= page.Page) {
            const std::uint64_t field = directoryRange(page).End - m_fieldBytes;
            add(DirectoryLoop, static_cast<int>(d), -1, {field, field + m_fieldBytes}, [&] {
                return TSentenceFacts{.Dir = dirText(static_cast<int>(d)),
                                      .Other = dirText(target) + " at " + std::to_string(*page.Next),
                                      .Detail = "the next-directory offset"};
            });
        }
        checkPointers(static_cast<int>(d), claimed);
    }
}

void TChecker::checkPointers(int d, std::vector<bool>& claimed)
{
    const TDirectory& dir = directory(d);
    for (std::size_t i = 0; i < dir.Entries.size(); ++i) {
        const TEntry& e = dir.Entries[i];
        const std::optional<TDirectoryKind> kind = FollowedKind(dir.Kind, e, m_big);
        if (!kind)
            continue;
        std::vector<std::uint8_t> bytes; // its own: the walk below reads values of its own
        if (!readValue(d, e, bytes))
            return;
        const TValueDecoder values(bytes, e.Type, *kind == TDirectoryKind::SubIfd ? e.Count : 1, m_order);
        const std::uint64_t width = TEntry::TypeSize(e.Type);
        for (std::size_t k = 0; k < values.size(); ++k) {
            const std::optional<std::int64_t> offset = integerValue(values.item(k));
            const int target = offset && *offset != 0 ? findDirectory(static_cast<std::uint64_t>(*offset)) : -1;
            if (target < 0)
                continue;
            if (!claimed[static_cast<std::size_t>(target)] && directory(target).Parent == d) {
                claimed[static_cast<std::size_t>(target)] = true;
                checkPointers(target, claimed);
                continue;
            }
            const std::uint64_t at = e.ValueOffset + k * width;
            add(isSelfOrAbove(target, d) ? DirectoryLoop : DirectoryShared, d, static_cast<int>(i), {at, at + width},
                [&] {
                    return TSentenceFacts{.Dir = dirText(d),
                                          .Other = dirText(target) + " at " + std::to_string(*offset),
                                          .Detail = "the " + tagText(d, e.Tag) + " offset"};
                });
        }
    }
}

// ---------------------------------------------------------------- parts

void TChecker::addPart(TPartKind kind, TByteRange range, int d, int entry, std::uint64_t item)
{
    range.End = std::min(range.End, m_size);
    if (range.Start < range.End)
        m_parts.push_back({kind, range, d, entry, item});
}

void TChecker::checkOverlaps()
{
    sortParts(m_parts);
    const TOverlaps found = findOverlaps(m_parts, ProblemListLimit);
    const auto owner = [&](const TPart& a, const TPart& b) { return a.Directory >= 0 ? a : b; };
    m_report.Found[static_cast<std::size_t>(Overlap)] += found.PairCount;
    for (const TOverlapPair& pair : found.Pairs) {
        const TPart& first = m_parts[pair.First];
        const TPart& second = m_parts[pair.Second];
        const TPart& at = owner(first, second);
        list(Overlap, at.Directory, at.Entry, pair.Common,
             {.Other = partText(second),
              .Detail = partText(first),
              .At = pair.Common.Start,
              .Length = pair.Common.End - pair.Common.Start});
    }
    m_report.Found[static_cast<std::size_t>(SharedBytes)] += found.GroupCount;
    for (const TSharedGroup& group : found.Groups) {
        const TPart& first = m_parts[group.First];
        std::string others = partText(m_parts[group.First + 1]);
        if (group.Size > 2)
            others += " and " + std::to_string(group.Size - 2) + (group.Size == 3 ? " other part" : " other parts");
        list(SharedBytes, first.Directory, first.Entry, first.Range,
             {.Other = std::move(others),
              .Detail = partText(first),
              .At = first.Range.Start,
              .Length = first.Range.End - first.Range.Start});
    }
}

// ---------------------------------------------------------------- look-ups and names

const TEntry* TChecker::findEntry(const TDirectory& dir, std::uint16_t tag, int* index) const
{
    for (std::size_t i = 0; i < dir.Entries.size(); ++i) {
        const TEntry& e = dir.Entries[i];
        if (e.Stored >= 4 && e.Tag == tag) {
            if (index)
                *index = static_cast<int>(i);
            return &e;
        }
    }
    return nullptr;
}

std::optional<std::uint64_t> TChecker::firstNumber(const TEntry& e)
{
    if (!whole(e) || !isIntegerType(e.Type) || e.Count == 0)
        return std::nullopt;
    std::array<std::uint8_t, 8> bytes{};
    const std::size_t got =
        m_source.ReadInto(e.ValueOffset, std::span(bytes.data(), static_cast<std::size_t>(TEntry::TypeSize(e.Type))));
    const TValueDecoder first(std::span(bytes.data(), got), e.Type, 1, m_order);
    const std::optional<std::int64_t> value = first.size() == 1 ? integerValue(first.item(0)) : std::nullopt;
    if (!value || *value < 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(*value);
}

std::string TChecker::dirText(int d) const
{
    const TDirectory& dir = directory(d);
    switch (dir.Kind) {
    case TDirectoryKind::Page:
        return "page " + dir.Id;
    case TDirectoryKind::SubIfd:
        return "SubIFD " + dir.Id;
    case TDirectoryKind::Exif:
        return "Exif directory " + dir.Id;
    case TDirectoryKind::Gps:
        return "GPS directory " + dir.Id;
    case TDirectoryKind::Interop:
        return "Interoperability directory " + dir.Id;
    }
    return dir.Id;
}

std::string TChecker::tagText(int d, std::uint16_t tag) const
{
    const TDirectoryKind kind = directory(d).Kind;
    if (holdsImage(kind))
        if (const TTagRule* rule = findTagRule(tag))
            return std::string(rule->Name);
    const std::string_view name = directoryTagName(kind, tag);
    if (name == UnknownTagName)
        return "tag " + std::to_string(tag);
    // Some display names carry a maker's mark after a run of blanks.
    std::string_view shown = name.substr(0, name.find("  "));
    while (!shown.empty() && shown.back() == ' ')
        shown.remove_suffix(1);
    return std::string(shown);
}

std::string TChecker::partText(const TPart& part) const
{
    switch (part.Kind) {
    case TPartKind::Header:
        return "the header";
    case TPartKind::Directory:
        return directory(part.Directory).Kind == TDirectoryKind::Page ? "the directory of " + dirText(part.Directory)
                                                                      : dirText(part.Directory);
    case TPartKind::Value:
        return "the value of " +
               tagText(part.Directory, directory(part.Directory).Entries[static_cast<std::size_t>(part.Entry)].Tag) +
               " in " + dirText(part.Directory);
    case TPartKind::StripData:
        return "strip " + std::to_string(part.Item + 1) + " of " + dirText(part.Directory);
    case TPartKind::TileData:
        return "tile " + std::to_string(part.Item + 1) + " of " + dirText(part.Directory);
    case TPartKind::Gap:
        break;
    }
    return "unused bytes";
}

} // namespace

std::uint64_t TCheckReport::count(TSeverity severity) const
{
    std::uint64_t n = 0;
    for (const TProblemKindInfo& info : problemKindTable())
        if (info.Severity == severity)
            n += Found[static_cast<std::size_t>(info.Kind)];
    return n;
}

std::uint64_t TCheckReport::unlisted(TProblemKind kind) const
{
    const std::uint64_t found = Found[static_cast<std::size_t>(kind)];
    return found > ProblemListLimit ? found - ProblemListLimit : 0;
}

TCheckReport checkFile(const TTiffFile& file, TValueSource& source)
{
    return TChecker(file, source).run();
}

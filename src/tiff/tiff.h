#pragma once

#include "tiff/arena.h"
#include "tiff/dirkind.h"
#include "tiff/filestamp.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TStream;
class TTiffFile;
class TValueSource;

/// One report of damage found while a file is read.
struct TReaderMessage {
    /// What the listing's message box and `velquin --dump` show: "streamsize",
    /// or the file's size and the position of the next-directory field run
    /// together. Empty for what only the structure views report: damage in a
    /// directory that an entry points to, a walk ended to stay within memory.
    std::string Text;
    /// The same for a reader: "the directory at 1234 runs past the end of the file".
    std::string Sentence;
    /// The directory concerned: its position and its id ("2", "2/exif").
    std::uint64_t DirectoryOffset = 0;
    std::string DirectoryId;

    friend bool operator==(const TReaderMessage&, const TReaderMessage&) = default;
};

/// Where the reader's messages go. The window shows their Text in message
/// boxes, the command line on standard error.
using TMessageSink = std::function<void(const TReaderMessage&)>;

// Byte-order helpers: every 16- and 32-bit number of a file passes through them.
std::uint16_t SwapWord(std::uint16_t value, bool swap);
std::uint32_t SwapLong(std::uint32_t value, bool swap);
/// Reads 2 bytes as stored; throws EReadError when fewer are left.
std::uint16_t ReadWord(TStream& stream);
/// Reads 4 bytes as stored; throws EReadError when fewer are left.
std::uint32_t ReadLong(TStream& stream);

/// Positions and counts as shown: signed decimal, or upper-case hex of the
/// 32-bit pattern without prefix or leading zeros.
std::string NumberText(std::int32_t value, bool hex);
/// The same for a BigTIFF file, whose positions and counts take 64 bits:
/// unsigned decimal, or upper-case hex of all 64 bits.
std::string WideNumberText(std::uint64_t value, bool hex);
/// The same written to out, which has room for kNumberTextRoom characters;
/// they return the end of what they wrote.
inline constexpr std::size_t kNumberTextRoom = 20;
char* WriteNumberText(char* out, std::int32_t value, bool hex);
char* WriteWideNumberText(char* out, std::uint64_t value, bool hex);

/// Whole decimal number, optionally after blanks and a sign; throws EConvertError.
std::int32_t StrToInt(std::string_view text);

/// One directory entry as stored, in any directory of the file.
struct TEntry {
    std::uint64_t Position = 0; ///< the entry's first byte
    std::uint64_t Count = 0;    ///< as stored: 32 bits, or 64 in a BigTIFF file
    /// First byte of the value: the entry's own value field when the value fits
    /// there (Inline), else the offset that field holds. 0 when the entry ends
    /// before its value field.
    std::uint64_t ValueOffset = 0;
    std::uint16_t Tag = 0;
    std::uint16_t Type = 0; ///< the type code as stored
    /// Bytes of the entry inside the file: 12 (20 in BigTIFF) when whole, 0
    /// for an entry that lies past the end.
    std::uint8_t Stored = 0;
    bool Inline = false;

    /// Bytes of one value of a type; 0 for a type the reader does not know.
    static std::uint64_t TypeSize(std::uint16_t type);
    /// Count times the type's size, at most the largest 64-bit number; it may
    /// reach past the end of the file.
    std::uint64_t ValueBytes() const;
};

/// The kind of directory that an entry of a directory of kind parent leads
/// to, when the reader follows it: SubIFDs, Exif and GPS below a page or a
/// SubIFD, Interoperability below Exif, whole and stored with a type that
/// holds offsets (Long or IFD; Long8 and IFD8 in BigTIFF), with a count.
std::optional<TDirectoryKind> FollowedKind(TDirectoryKind parent, const TEntry& entry, bool bigTiff);

/// One directory read: a page of the chain, or a directory an entry points to.
struct TDirectory {
    std::string Id; ///< "2" for page 2; "2/exif", "1/subifd1/exif" below it
    TDirectoryKind Kind = TDirectoryKind::Page;
    int Parent = -1; ///< index in TTiffFile::Directories; -1 for a page
    int Page = -1;   ///< a page's 0-based index in Pages; -1 below a page
    std::uint64_t Offset = 0;
    std::optional<std::uint64_t> StoredCount; ///< as stored; none when it lies past the end
    /// A page's next-directory offset as read; none below a page, or when the
    /// field lies past the end.
    std::optional<std::uint64_t> Next;
    /// The count, every entry and the next-directory field lie in the file.
    bool Complete = false;
    /// In directory order; those past the end of the file stop at the first.
    /// For a page, Entries[i] is the entry of Tags[i].
    std::vector<TEntry> Entries;
};

/// What Open keeps of a file: the pages alone (enough for the listing and the
/// batch export), or also every directory as stored with the directories its
/// entries point to (Directories, DirectoryRanges). Both read the same pages.
/// Structure keeps what Everything keeps but leaves the pages' value texts
/// blank (" "): the checker reads values itself, and decoding texts is most
/// of the work of reading a small file.
enum class TReadScope { Pages, Everything, Structure };

/// A half-open range of file positions [Start, End).
struct TByteRange {
    std::uint64_t Start = 0;
    std::uint64_t End = 0;
};

/// One entry of a page with its value decoded once, at read time.
class TTag {
public:
    explicit TTag(const TTiffFile* owner) : OwnerFile(owner) {}

    /// Reads the entry at pos; short reads and failed divisions end the entry
    /// silently with the fields set so far. The value text is kept in the
    /// owner file's memory until the file goes, from what its reading left
    /// of its budget.
    void ReadEntry(TStream& stream, std::uint64_t pos);

    /// The tag number as decimal text; empty while unread.
    std::string TagNr() const;
    bool IsRead() const { return m_read; }
    std::uint16_t Number() const { return m_number; }
    /// Dictionary name; throws EConvertError for an unread entry.
    std::string_view TagName() const;
    std::string_view TypeName() const;

    const TTiffFile* OwnerFile;
    /// The count field: in a classic file its 32 bits taken as signed (counts
    /// of 2^31 and more are negative), in a BigTIFF file all 64 bits.
    std::int64_t Count = 0;
    /// UTF-8; the text lies in the owner file's memory (or is a constant) and
    /// lives as long as the file.
    std::string_view ValueText = " ";
    std::int64_t EntryPos = 0;  ///< taken as Count is
    std::int64_t ValuePos = 0;  ///< taken as Count is
    std::uint8_t FieldType = 0; ///< type code minus 1, kept in 8 bits

private:
    friend class TTiffPage;
    /// ReadEntry, with the entry as stored in entry unless that is null.
    void read(TStream& stream, std::uint64_t pos, TEntry* entry);
    template <bool Big> void readAs(TStream& stream, std::uint64_t pos, TEntry* entry);
    /// The entry at pos from a copy of its avail bytes that lie in the file.
    template <bool Big>
    void readFrom(TStream& stream, std::uint64_t pos, const std::uint8_t* bytes, std::size_t avail, TEntry* entry);
    template <bool Big> void decodeAs(TStream& stream, const std::uint8_t* field, std::size_t fieldBytes);
    /// The value of an entry of BigTIFF's own types: IFD, LONG8, SLONG8, IFD8.
    [[gnu::noinline]] void decodeWide(const std::uint8_t* field, std::size_t fieldBytes);
    /// The n bytes at pos as the value text (only those above 31 when
    /// printableOnly), as far as the file's text budget allows.
    [[gnu::noinline]] void takeText(TStream& stream, std::uint64_t pos, std::size_t n, bool printableOnly);
    /// The decimal text of a number as the value text.
    template <class Integer> void takeNumber(Integer value);
    /// A position or count as the fields above hold it.
    template <bool Big> static std::int64_t field(std::uint64_t value);
    bool m_read = false;
    std::uint16_t m_number = 0;
    std::uint16_t m_type = 0;
};

/// A page's entries in directory order. They lie in their file's memory,
/// side by side, and live as long as the file.
class TTags {
public:
    int Count() const { return static_cast<int>(m_count); }
    /// nullptr when index is out of range.
    const TTag* GetTag(int index) const;
    /// A new entry of owner, which must be the file the list's entries belong to.
    TTag& Add(const TTiffFile* owner)
    {
        if (m_count == m_capacity)
            grow(owner, m_capacity ? 2 * m_capacity : 4);
        return *new (m_items + m_count++) TTag(owner);
    }
    /// Room for n entries in all, so that adding them moves none.
    void Reserve(const TTiffFile* owner, std::size_t n)
    {
        if (n > m_capacity)
            grow(owner, n);
    }
    const TTag* begin() const { return m_items; }
    const TTag* end() const { return m_items + m_count; }

private:
    void grow(const TTiffFile* owner, std::size_t capacity);
    TTag* m_items = nullptr;
    std::size_t m_count = 0;
    std::size_t m_capacity = 0;
};

/// One image file directory.
class TTiffPage {
public:
    explicit TTiffPage(const TTiffFile* owner) : OwnerFile(owner) {}

    /// Reads the directory at offset into Tags and, as stored, into directory
    /// (its entries only when the file keeps everything); replaces offset by
    /// the next one's. Never throws: a directory that cannot be read to its end
    /// is reported to the sink, keeps the entries read so far and returns false.
    bool ReadDirectory(TStream& stream, std::uint64_t& offset, const TMessageSink& sink, TDirectory& directory);

    // Values of tags 256, 257, 282, 283; 1 when missing. Throw EConvertError.
    std::int32_t ImageWidth() const { return query(256); }
    std::int32_t ImageLength() const { return query(257); }
    std::int32_t XResolution() const { return query(282); }
    std::int32_t YResolution() const { return query(283); }

    /// First entry with this number, or nullptr.
    const TTag* FindTag(std::uint16_t number) const;

    const TTiffFile* OwnerFile;
    TTags Tags;

private:
    std::int32_t query(std::uint16_t number) const;
    /// The m entries from pos on, from a copy of their bytes, all of which lie
    /// in the file; with their entries as stored into directory unless that is null.
    template <bool Big>
    void readWhole(TStream& stream, std::uint64_t pos, const std::uint8_t* bytes, std::size_t m, TDirectory* directory);
};

/// The pages in chain order. A deque: growing it never copies the pages, so
/// the memory a long chain takes is what its pages take.
class TTiffPages {
public:
    int Count() const { return static_cast<int>(m_items.size()); }
    /// nullptr when index is out of range.
    const TTiffPage* GetPage(int index) const;
    TTiffPage& Add(const TTiffFile* owner) { return m_items.emplace_back(owner); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::deque<TTiffPage> m_items;
};

/// A TIFF or BigTIFF file read whole into memory by Open: its chain of pages,
/// and every directory read with the directories its entries point to.
class TTiffFile {
public:
    explicit TTiffFile(TMessageSink sink = {}, TReadScope scope = TReadScope::Everything)
        : m_sink(std::move(sink)), m_scope(scope)
    {
    }
    TTiffFile(const TTiffFile&) = delete;
    TTiffFile& operator=(const TTiffFile&) = delete;

    /// Reads the file at path. A missing path, or the path already read, does
    /// nothing. Throws EFOpenError, EReadError (header cut short), EInvalidTiff
    /// or EOutOfMemory (then holds no pages); damage past the header goes to
    /// the sink, never throws.
    void Open(const std::string& path);
    /// The same on bytes in memory (tests, the fuzzer); name becomes FileName.
    void OpenBuffer(const std::string& name, std::span<const std::uint8_t> bytes);
    /// The same from a source the caller keeps open, so that what reads values
    /// afterwards (the checker) finds the bytes already read; name becomes
    /// FileName, and the source's Stamp the file's. Throws as Open does.
    void OpenSource(const std::string& name, TValueSource& source);

    int PageCount() const { return Pages.Count(); }
    std::string_view ByteOrderText() const { return ByteOrder == 1 ? "Little-endian" : "Big-endian"; }
    bool IsBigEndian() const { return ByteOrder == 2; }
    /// Magic 43: 8-byte offsets and counts, 20-byte entries.
    bool IsBigTiff() const { return m_bigTiff; }
    TReadScope Scope() const { return m_scope; }

    TTiffPages Pages;
    std::uint8_t ByteOrder = 0; ///< 0 none, 1 "II", 2 "MM"
    std::string FileName;
    /// The file as Open found it, so that a writer can tell whether it changed
    /// since; all zeros before Open and for a buffer.
    TFileStamp Stamp;
    /// Every directory read, in this order: page 1, the directories its entries
    /// point to (SubIFDs, Exif, GPS and, inside Exif, Interoperability; the
    /// same below those), depth first, then page 2 and so on. A directory met
    /// again is not read twice. Empty when only the pages are kept.
    std::deque<TDirectory> Directories;
    /// Every directory read: count, entries and next-offset field, cut at the
    /// end of the file.
    std::vector<TByteRange> DirectoryRanges;

private:
    friend class TTag;
    friend class TTags;
    friend class TTiffPage;
    struct TWalk;
    void load(TStream& stream);
    /// Runs loadFile; memory that runs out leaves no pages and throws EOutOfMemory.
    void loadOrClear(const std::function<void()>& loadFile);
    void readPages(TStream& stream, std::uint64_t offset, std::deque<TDirectory>& pages, TWalk& walk);
    void readBelow(TStream& stream, std::size_t parent, int depth, TWalk& walk);
    void readSubDirectory(TStream& stream, TDirectory& directory);
    /// The directory's memory, or false (reported) when it would pass the budget.
    bool afford(TStream& stream, const TDirectory& directory, std::uint64_t fixedCost, std::uint64_t perEntry);
    void addRange(const TDirectory& directory, std::uint64_t size);
    void report(std::string text, std::string sentence, const TDirectory& directory) const;
    void clear();
    /// How many of the n bytes at pos a value text may take: all of them while
    /// the texts so far leave room, else a few.
    std::size_t textRoom(TStream& stream, std::uint64_t pos, std::size_t n, bool printableOnly) const;
    /// Memory that texts may still take.
    std::uint64_t textLeft() const;

    TMessageSink m_sink;
    TReadScope m_scope;
    bool m_bigTiff = false;
    // What the file's directories and texts may still take, in bytes of
    // memory, and how many bytes texts may still read (see load).
    std::uint64_t m_structureLeft = 0;
    mutable std::uint64_t m_bytesLeft = 0;
    std::uint64_t m_textBudget = 0;
    mutable std::uint64_t m_countLeft = 0;
    /// The entries of every page, and their value texts; short texts (numbers)
    /// are paid for with their entries (see afford), the others from the text budget.
    mutable TArena m_tags{4 << 10, 2 << 20};
    mutable TArena m_texts{1 << 10, 2 << 20};
    mutable std::uint64_t m_shortBytes = 0;
    mutable bool m_textsCut = false;
    const TDirectory* m_reading = nullptr; ///< the directory whose entries are decoded
};

#pragma once

#include "tiff/filestamp.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TStream;
class TTiffFile;

/// A half-open range of file positions [Start, End).
struct TByteRange {
    std::uint64_t Start = 0;
    std::uint64_t End = 0;
};

/// Where the reader's messages go ("streamsize", the size-and-position text).
/// The window shows them in message boxes, the command line on standard error.
using TMessageSink = std::function<void(const std::string&)>;

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

/// Whole decimal number, optionally after blanks and a sign; throws EConvertError.
std::int32_t StrToInt(std::string_view text);

/// One 12-byte directory entry with its value decoded once, at read time.
class TTag {
public:
    explicit TTag(const TTiffFile* owner) : OwnerFile(owner) {}

    /// Reads the entry at pos; short reads and failed divisions end the entry
    /// silently with the fields set so far.
    void ReadEntry(TStream& stream, std::uint64_t pos);

    /// The tag number as decimal text; empty while unread.
    std::string TagNr() const;
    bool IsRead() const { return m_read; }
    std::uint16_t Number() const { return m_number; }
    /// Dictionary name; throws EConvertError for an unread entry.
    std::string_view TagName() const;
    std::string_view TypeName() const;

    const TTiffFile* OwnerFile;
    std::uint8_t FieldType = 0;   ///< type code minus 1, kept in 8 bits
    std::int32_t Count = 0;
    std::string ValueText = " ";  ///< UTF-8
    std::int32_t EntryPos = 0;
    std::int32_t ValuePos = 0;

private:
    void decodeValue(TStream& stream, const std::uint8_t* field, std::size_t fieldBytes);
    /// Appends the n bytes at pos as text (only those above 31 when printableOnly),
    /// as far as the file's text budget allows.
    void appendText(TStream& stream, std::uint64_t pos, std::size_t n, bool printableOnly);
    bool m_read = false;
    std::uint16_t m_number = 0;
};

/// A page's entries in directory order.
class TTags {
public:
    int Count() const { return static_cast<int>(m_items.size()); }
    /// nullptr when index is out of range.
    const TTag* GetTag(int index) const;
    TTag& Add(const TTiffFile* owner) { return m_items.emplace_back(owner); }
    void Reserve(std::size_t n) { m_items.reserve(n); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::vector<TTag> m_items;
};

/// One image file directory.
class TTiffPage {
public:
    explicit TTiffPage(const TTiffFile* owner) : OwnerFile(owner) {}

    /// Reads the directory at offset and replaces offset by the next one's.
    /// Never throws: a directory that cannot be read to its end is reported to
    /// the sink, keeps the entries read so far and returns false.
    bool ReadDirectory(TStream& stream, std::uint32_t& offset, const TMessageSink& sink);

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

/// A TIFF file read whole into memory by Open.
class TTiffFile {
public:
    explicit TTiffFile(TMessageSink sink = {}) : m_sink(std::move(sink)) {}
    TTiffFile(const TTiffFile&) = delete;
    TTiffFile& operator=(const TTiffFile&) = delete;

    /// Reads the file at path. A missing path, or the path already read, does
    /// nothing. Throws EFOpenError, EReadError (header cut short), EInvalidTiff
    /// or EOutOfMemory (then holds no pages); damage past the header goes to
    /// the sink, never throws.
    void Open(const std::string& path);
    /// The same on bytes in memory (tests, the fuzzer); name becomes FileName.
    void OpenBuffer(const std::string& name, std::span<const std::uint8_t> bytes);

    int PageCount() const { return Pages.Count(); }
    std::string_view ByteOrderText() const { return ByteOrder == 1 ? "Little-endian" : "Big-endian"; }
    bool IsBigEndian() const { return ByteOrder == 2; }

    TTiffPages Pages;
    std::uint8_t ByteOrder = 0;  ///< 0 none, 1 "II", 2 "MM"
    std::string FileName;
    /// The file as Open found it, so that a writer can tell whether it changed
    /// since; all zeros before Open and for a buffer.
    TFileStamp Stamp;
    /// Every directory read: count, entries and next-offset field, cut at the
    /// end of the file.
    std::vector<TByteRange> DirectoryRanges;

private:
    friend class TTag;
    void load(TStream& stream);
    void clear();
    /// How many of the n bytes at pos a value text may take: all of them while
    /// the texts so far leave room, else a few.
    std::size_t textRoom(TStream& stream, std::uint64_t pos, std::size_t n, bool printableOnly) const;

    TMessageSink m_sink;
    // What the file's pages and texts may still take, in bytes of memory (see load).
    std::uint64_t m_structureLeft = 0;
    mutable std::uint64_t m_bytesLeft = 0;
    mutable std::uint64_t m_textLeft = 0;
    mutable std::uint64_t m_countLeft = 0;
};

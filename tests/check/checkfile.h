#pragma once

#include "check/checker.h"
#include "support/tiffbuilder.h"
#include "tiff/tiff.h"
#include "tiff/valuesource.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

/// A file built in memory, read and checked.
struct CheckedTiff {
    std::vector<std::uint8_t> bytes;
    TTiffFile file;
    TCheckReport report;

    explicit CheckedTiff(std::vector<std::uint8_t> data) : bytes(std::move(data))
    {
        TValueSource source(bytes);
        file.OpenSource("test.tif", source);
        report = checkFile(file, source);
    }

    /// The identifiers found, in the report's order.
    std::vector<std::string> identifiers() const
    {
        std::vector<std::string> ids;
        for (const TProblem& p : report.Problems)
            ids.emplace_back(problemKindInfo(p.Kind).Identifier);
        return ids;
    }
    /// The first finding of a kind, or nullptr.
    const TProblem* find(TProblemKind kind) const
    {
        const auto it = std::find_if(report.Problems.begin(), report.Problems.end(),
                                     [kind](const TProblem& p) { return p.Kind == kind; });
        return it == report.Problems.end() ? nullptr : &*it;
    }
};

// A sound page and the pieces to break it with, in either kind of file.

inline std::string_view bytesOf(const std::vector<std::uint8_t>& v)
{
    return {reinterpret_cast<const char*>(v.data()), v.size()};
}

/// A number as wide as the file's offsets, at pos.
inline void putOffset(std::vector<std::uint8_t>& bytes, const TiffBuilder& b, std::size_t pos, std::uint64_t v)
{
    if (b.BigTiff())
        Put64(bytes, pos, v, b.BigEndian());
    else
        Put32(bytes, pos, static_cast<std::uint32_t>(v), b.BigEndian());
}

inline std::size_t headerField(const TiffBuilder& b)
{
    return b.BigTiff() ? 8 : 4;
}

/// A rational: at an offset, or in the entry where a BigTIFF field holds it.
inline TestEntry rational(TiffBuilder& b, std::uint16_t tag, std::int32_t numerator, std::int32_t denominator)
{
    if (!b.BigTiff())
        return TestEntry::At(tag, tRational, 1, b.Rational(numerator, denominator));
    std::vector<std::uint8_t> raw;
    Put32(raw, 0, static_cast<std::uint32_t>(numerator), b.BigEndian());
    Put32(raw, 4, static_cast<std::uint32_t>(denominator), b.BigEndian());
    return TestEntry::Inline(tag, tRational, 1, bytesOf(raw));
}

/// Text of more than 8 bytes, so that it lies at an offset in both kinds of file.
inline TestEntry text(TiffBuilder& b, std::uint16_t tag, std::string_view s)
{
    return TestEntry::At(tag, tAscii, s.size(), b.Data(s));
}

inline TestEntry pointer(const TiffBuilder& b, std::uint16_t tag, std::uint64_t offset)
{
    return TestEntry::At(tag, b.BigTiff() ? tIfd8 : tLong, 1, offset);
}

/// The entries of a sound 4 x 2 grey page in one strip, to be broken one at a time.
struct Page {
    std::vector<TestEntry> entries;

    explicit Page(TiffBuilder& b)
    {
        const std::uint32_t strip = b.Data("\1\2\3\4\5\6\7\10");
        entries = {TestEntry::Short(256, 4),
                   TestEntry::Short(257, 2),
                   TestEntry::Short(258, 8),
                   TestEntry::Short(259, 1),
                   TestEntry::Short(262, 1),
                   TestEntry::Long(273, strip),
                   TestEntry::Short(277, 1),
                   TestEntry::Short(278, 2),
                   TestEntry::Long(279, 8),
                   rational(b, 282, 300, 1),
                   rational(b, 283, 300, 1),
                   TestEntry::Short(296, 2),
                   text(b, 305, std::string_view("Velquin tests\0", 14))};
    }
    /// Replaces the entry of e's tag, or adds e in tag order.
    Page& set(const TestEntry& e)
    {
        auto it = std::find_if(entries.begin(), entries.end(), [&](const TestEntry& x) { return x.Tag >= e.Tag; });
        if (it != entries.end() && it->Tag == e.Tag)
            *it = e;
        else
            entries.insert(it, e);
        return *this;
    }
    Page& drop(std::uint16_t tag)
    {
        std::erase_if(entries, [tag](const TestEntry& e) { return e.Tag == tag; });
        return *this;
    }
};

inline std::vector<std::uint8_t> onePage(TiffBuilder& b, const Page& page)
{
    b.Page(page.entries);
    return b.Build();
}

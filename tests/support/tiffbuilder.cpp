#include "support/tiffbuilder.h"

#include <algorithm>

TestEntry TestEntry::Short(std::uint16_t tag, std::uint16_t v, std::uint32_t count, std::uint16_t type)
{
    return {tag, type, count, Field::Word, v, {}};
}

TestEntry TestEntry::Long(std::uint16_t tag, std::uint32_t v, std::uint32_t count, std::uint16_t type)
{
    return {tag, type, count, Field::Long, v, {}};
}

TestEntry TestEntry::At(std::uint16_t tag, std::uint16_t type, std::uint64_t count, std::uint64_t offset)
{
    return {tag, type, count, Field::Offset, offset, {}};
}

TestEntry TestEntry::Inline(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::string_view bytes)
{
    TestEntry e{tag, type, count, Field::Raw, 0, {}};
    std::copy_n(bytes.begin(), std::min<std::size_t>(8, bytes.size()), e.Raw.begin());
    return e;
}

void Put16(std::vector<std::uint8_t>& bytes, std::size_t pos, std::uint16_t v, bool big)
{
    if (bytes.size() < pos + 2)
        bytes.resize(pos + 2);
    bytes[pos + (big ? 0 : 1)] = static_cast<std::uint8_t>(v >> 8);
    bytes[pos + (big ? 1 : 0)] = static_cast<std::uint8_t>(v);
}

void Put32(std::vector<std::uint8_t>& bytes, std::size_t pos, std::uint32_t v, bool big)
{
    if (bytes.size() < pos + 4)
        bytes.resize(pos + 4);
    for (int i = 0; i < 4; ++i) {
        const auto b = static_cast<std::uint8_t>(v >> (8 * i));
        bytes[pos + static_cast<std::size_t>(big ? 3 - i : i)] = b;
    }
}

void Put64(std::vector<std::uint8_t>& bytes, std::size_t pos, std::uint64_t v, bool big)
{
    if (bytes.size() < pos + 8)
        bytes.resize(pos + 8);
    for (int i = 0; i < 8; ++i)
        bytes[pos + static_cast<std::size_t>(big ? 7 - i : i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::vector<std::uint8_t> Bytes(std::string_view s)
{
    return {s.begin(), s.end()};
}

std::uint32_t TiffBuilder::Data(std::string_view bytes)
{
    const auto offset = static_cast<std::uint32_t>((m_bigTiff ? 16 : 8) + m_data.size());
    m_data.append(bytes);
    if (m_data.size() % 2) // word alignment, as writers keep it
        m_data.push_back('\0');
    return offset;
}

std::uint32_t TiffBuilder::Rational(std::int32_t numerator, std::int32_t denominator)
{
    std::vector<std::uint8_t> b;
    Put32(b, 0, static_cast<std::uint32_t>(numerator), m_big);
    Put32(b, 4, static_cast<std::uint32_t>(denominator), m_big);
    return Data(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
}

std::uint32_t TiffBuilder::Offsets(const std::vector<std::uint64_t>& values)
{
    std::vector<std::uint8_t> b;
    for (std::size_t i = 0; i < values.size(); ++i)
        putNumber(b, i * FieldBytes(), values[i]);
    return Data(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
}

std::uint32_t TiffBuilder::Directory(const std::vector<TestEntry>& entries)
{
    std::vector<std::uint8_t> b;
    writeDirectory(b, 0, entries);
    return Data(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
}

void TiffBuilder::putNumber(std::vector<std::uint8_t>& out, std::size_t pos, std::uint64_t v) const
{
    if (m_bigTiff)
        Put64(out, pos, v, m_big);
    else
        Put32(out, pos, static_cast<std::uint32_t>(v), m_big);
}

void TiffBuilder::writeDirectory(std::vector<std::uint8_t>& out, std::size_t pos,
                                 const std::vector<TestEntry>& entries) const
{
    if (m_bigTiff)
        Put64(out, pos, entries.size(), m_big);
    else
        Put16(out, pos, static_cast<std::uint16_t>(entries.size()), m_big);
    pos += CountBytes();
    for (const TestEntry& e : entries) {
        Put16(out, pos, e.Tag, m_big);
        Put16(out, pos + 2, e.Type, m_big);
        putNumber(out, pos + 4, e.Count);
        const std::size_t field = pos + 4 + FieldBytes();
        putNumber(out, field, 0);
        switch (e.Kind) {
        case TestEntry::Field::Word:
            Put16(out, field, static_cast<std::uint16_t>(e.Value), m_big);
            break;
        case TestEntry::Field::Long:
            Put32(out, field, static_cast<std::uint32_t>(e.Value), m_big);
            break;
        case TestEntry::Field::Offset:
            putNumber(out, field, e.Value);
            break;
        case TestEntry::Field::Raw:
            std::copy_n(e.Raw.begin(), FieldBytes(), out.begin() + static_cast<std::ptrdiff_t>(field));
            break;
        }
        pos += EntryBytes();
    }
    putNumber(out, pos, 0);
}

std::vector<std::uint8_t> TiffBuilder::Build()
{
    std::vector<std::uint8_t> out;
    out.push_back(m_big ? 'M' : 'I');
    out.push_back(m_big ? 'M' : 'I');
    if (m_bigTiff) {
        Put16(out, 2, 43, m_big);
        Put16(out, 4, 8, m_big); // bytes of an offset
        Put16(out, 6, 0, m_big);
    } else {
        Put16(out, 2, 42, m_big);
    }
    const std::size_t firstOffset = out.size();
    putNumber(out, firstOffset, 0);
    out.insert(out.end(), m_data.begin(), m_data.end());

    m_dirOffsets.clear();
    for (const auto& page : m_pages) {
        const auto dir = static_cast<std::uint32_t>(out.size());
        putNumber(out, m_dirOffsets.empty() ? firstOffset : NextFieldOffset(m_dirOffsets.size() - 1), dir);
        m_dirOffsets.push_back(dir);
        writeDirectory(out, dir, page);
    }
    return out;
}

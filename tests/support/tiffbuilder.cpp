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

TestEntry TestEntry::At(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t offset)
{
    return {tag, type, count, Field::Long, offset, {}};
}

TestEntry TestEntry::Inline(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::string_view bytes)
{
    TestEntry e{tag, type, count, Field::Raw, 0, {}};
    std::copy_n(bytes.begin(), std::min<std::size_t>(4, bytes.size()), e.Raw.begin());
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

std::vector<std::uint8_t> Bytes(std::string_view s)
{
    return {s.begin(), s.end()};
}

std::uint32_t TiffBuilder::Data(std::string_view bytes)
{
    const auto offset = static_cast<std::uint32_t>(8 + m_data.size());
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

std::vector<std::uint8_t> TiffBuilder::Build()
{
    std::vector<std::uint8_t> out;
    out.push_back(m_big ? 'M' : 'I');
    out.push_back(m_big ? 'M' : 'I');
    Put16(out, 2, 42, m_big);
    Put32(out, 4, 0, m_big);
    out.insert(out.end(), m_data.begin(), m_data.end());

    m_dirOffsets.clear();
    for (const auto& page : m_pages) {
        const auto dir = static_cast<std::uint32_t>(out.size());
        if (m_dirOffsets.empty())
            Put32(out, 4, dir, m_big);
        else
            Put32(out, NextFieldOffset(m_dirOffsets.size() - 1), dir, m_big);
        m_dirOffsets.push_back(dir);
        Put16(out, dir, static_cast<std::uint16_t>(page.size()), m_big);
        std::size_t pos = dir + 2;
        for (const TestEntry& e : page) {
            Put16(out, pos, e.Tag, m_big);
            Put16(out, pos + 2, e.Type, m_big);
            Put32(out, pos + 4, e.Count, m_big);
            switch (e.Kind) {
            case TestEntry::Field::Word:
                Put16(out, pos + 8, static_cast<std::uint16_t>(e.Value), m_big);
                Put16(out, pos + 10, 0, m_big);
                break;
            case TestEntry::Field::Long:
                Put32(out, pos + 8, e.Value, m_big);
                break;
            case TestEntry::Field::Raw:
                out.resize(pos + 12);
                std::copy(e.Raw.begin(), e.Raw.end(), out.begin() + static_cast<std::ptrdiff_t>(pos + 8));
                break;
            }
            pos += 12;
        }
        Put32(out, pos, 0, m_big);
    }
    return out;
}

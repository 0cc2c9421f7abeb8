#include "tiff/values.h"

#include "tiff/codepage.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

struct TFieldTypeFacts {
    std::uint16_t Code;
    std::uint8_t Size;
    std::string_view Name;
};

constexpr std::array<TFieldTypeFacts, 16> kFieldTypes{{
    {1, 1, "Byte"},
    {2, 1, "Ascii"},
    {3, 2, "Short"},
    {4, 4, "Long"},
    {5, 8, "Rational"},
    {6, 1, "sByte"},
    {7, 1, "Undefined"},
    {8, 2, "sShort"},
    {9, 4, "sLong"},
    {10, 8, "sRational"},
    {11, 4, "Float"},
    {12, 8, "Double"},
    {13, 4, "IFD"},
    {16, 8, "Long8"},
    {17, 8, "sLong8"},
    {18, 8, "IFD8"},
}};

const TFieldTypeFacts* findType(std::uint16_t code)
{
    const auto it = std::find_if(kFieldTypes.begin(), kFieldTypes.end(),
                                 [code](const TFieldTypeFacts& t) { return t.Code == code; });
    return it == kFieldTypes.end() ? nullptr : &*it;
}

std::uint64_t saturatingProduct(std::uint64_t a, std::uint64_t b)
{
    if (a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a)
        return std::numeric_limits<std::uint64_t>::max();
    return a * b;
}

// The one place bytes become numbers: size bytes in the given order, with no
// assumption about the host's own order.
std::uint64_t readUnsigned(const std::uint8_t* p, std::size_t size, std::endian order)
{
    std::uint64_t v = 0;
    for (std::size_t k = 0; k < size; ++k)
        v = (v << 8) | p[order == std::endian::big ? k : size - 1 - k];
    return v;
}

std::int64_t readSigned(const std::uint8_t* p, std::size_t size, std::endian order)
{
    std::uint64_t v = readUnsigned(p, size, order);
    const unsigned bits = static_cast<unsigned>(size * 8);
    if (bits < 64 && (v >> (bits - 1)) != 0)
        v |= ~std::uint64_t{0} << bits;
    return static_cast<std::int64_t>(v);
}

template <typename T> std::string integerText(T value)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

template <typename F> std::string floatText(F value)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value < 0 ? "-Infinity" : "Infinity";
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

template <typename T> std::string ratioText(const TRatio<T>& r)
{
    std::string text = integerText(r.Numerator) + "/" + integerText(r.Denominator);
    if (r.Denominator == 0)
        return text + " (division by zero)";
    // Ten digits: the fraction itself stands beside it for the exact value.
    const double quotient = static_cast<double>(r.Numerator) / static_cast<double>(r.Denominator);
    char buf[64];
    const auto end = std::to_chars(buf, buf + sizeof buf, quotient, std::chars_format::general, 10);
    return text + " (" + std::string(buf, end.ptr) + ")";
}

template <class... F> struct TOverloaded : F... {
    using F::operator()...;
};
// Debian 12's clang 14, which builds the fuzzer, cannot deduce an aggregate's
// template arguments by itself.
template <class... F> TOverloaded(F...) -> TOverloaded<F...>;

} // namespace

std::size_t fieldTypeSize(std::uint16_t code)
{
    const TFieldTypeFacts* t = findType(code);
    return t ? t->Size : 0;
}

std::string_view fieldTypeName(std::uint16_t code)
{
    const TFieldTypeFacts* t = findType(code);
    return t ? t->Name : std::string_view("Unknown");
}

std::uint64_t valueByteCount(std::uint16_t type, std::uint64_t count)
{
    return saturatingProduct(count, fieldTypeSize(type));
}

TValuePage valuePage(std::uint16_t type, std::uint64_t count, std::uint64_t first, std::uint64_t n)
{
    TValuePage page;
    page.First = first;
    const std::uint64_t size = fieldTypeSize(type);
    if (size == 0 || first >= count)
        return page;
    page.Count = std::min(n, count - first);
    page.ByteOffset = saturatingProduct(first, size);
    page.ByteCount = saturatingProduct(page.Count, size);
    return page;
}

std::optional<std::int64_t> integerValue(const TValueItem& item)
{
    return std::visit(TOverloaded{
                          [](std::uint8_t v) -> std::optional<std::int64_t> { return v; },
                          [](std::uint64_t v) -> std::optional<std::int64_t> {
                              if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                                  return std::nullopt;
                              return static_cast<std::int64_t>(v);
                          },
                          [](std::int64_t v) -> std::optional<std::int64_t> { return v; },
                          [](const auto&) -> std::optional<std::int64_t> { return std::nullopt; },
                      },
                      item);
}

std::string itemText(const TValueItem& item)
{
    return std::visit(TOverloaded{
                          [](std::uint8_t v) { return integerText(v); },
                          [](std::uint64_t v) { return integerText(v); },
                          [](std::int64_t v) { return integerText(v); },
                          [](const TRational& v) { return ratioText(v); },
                          [](const TSRational& v) { return ratioText(v); },
                          [](float v) { return floatText(v); },
                          [](double v) { return floatText(v); },
                      },
                      item);
}

std::vector<std::string> splitAsciiStrings(std::span<const std::uint8_t> bytes)
{
    std::vector<std::string> strings;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= bytes.size(); ++i) {
        const bool end = i == bytes.size();
        if (end && start == bytes.size())
            break;
        if (end || bytes[i] == 0) {
            std::string s;
            AppendCp1252AsUtf8(s, bytes.data() + start, i - start);
            strings.push_back(std::move(s));
            start = i + 1;
        }
    }
    return strings;
}

TValueDecoder::TValueDecoder(std::span<const std::uint8_t> bytes, std::uint16_t type, std::uint64_t count,
                             std::endian order)
    : m_bytes(bytes), m_type(type), m_itemSize(fieldTypeSize(type)), m_order(order)
{
    m_size = m_itemSize == 0 ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(count, bytes.size() / m_itemSize));
}

TValueItem TValueDecoder::item(std::size_t i) const
{
    if (i >= m_size)
        throw std::out_of_range("value item " + std::to_string(i) + " of " + std::to_string(m_size));
    const std::uint8_t* p = m_bytes.data() + i * m_itemSize;
    switch (m_type) {
    case 5:
        return TRational{static_cast<std::uint32_t>(readUnsigned(p, 4, m_order)),
                         static_cast<std::uint32_t>(readUnsigned(p + 4, 4, m_order))};
    case 10:
        return TSRational{static_cast<std::int32_t>(readSigned(p, 4, m_order)),
                          static_cast<std::int32_t>(readSigned(p + 4, 4, m_order))};
    case 11:
        return std::bit_cast<float>(static_cast<std::uint32_t>(readUnsigned(p, 4, m_order)));
    case 12:
        return std::bit_cast<double>(readUnsigned(p, 8, m_order));
    case 6:
    case 8:
    case 9:
    case 17:
        return readSigned(p, m_itemSize, m_order);
    case 1:
    case 2:
    case 7:
        return p[0];
    default: // Short, Long, IFD, Long8, IFD8: only sized types get here
        return readUnsigned(p, m_itemSize, m_order);
    }
}

std::vector<std::string> TValueDecoder::asciiStrings() const
{
    return splitAsciiStrings(m_bytes.first(m_size * m_itemSize));
}

int hexOffsetDigits(std::uint64_t lastOffset)
{
    int digits = 8;
    while (digits < 16 && (lastOffset >> (4 * digits)) != 0)
        ++digits;
    return digits;
}

std::string hexDumpLine(std::span<const std::uint8_t> bytes, std::uint64_t offset, int offsetDigits)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    offsetDigits = std::clamp(offsetDigits, 1, 16); // 64 bits hold 16 hex digits
    const std::size_t n = std::min<std::size_t>(bytes.size(), 16);
    std::string line;
    line.reserve(static_cast<std::size_t>(offsetDigits) + 68);
    for (int k = offsetDigits - 1; k >= 0; --k)
        line += kHex[(offset >> (4 * k)) & 0xF];
    line += "  ";
    for (std::size_t i = 0; i < 16; ++i) {
        if (i == 8)
            line += ' ';
        if (i < n) {
            line += kHex[bytes[i] >> 4];
            line += kHex[bytes[i] & 0xF];
            line += ' ';
        } else {
            line += "   ";
        }
    }
    line += ' ';
    for (std::size_t i = 0; i < n; ++i)
        line += bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '.';
    return line;
}

std::vector<std::string> hexDump(std::span<const std::uint8_t> bytes, std::uint64_t offset)
{
    std::vector<std::string> lines;
    if (bytes.empty())
        return lines;
    const std::uint64_t span = bytes.size() - 1;
    const std::uint64_t last = offset > std::numeric_limits<std::uint64_t>::max() - span
                                   ? std::numeric_limits<std::uint64_t>::max()
                                   : offset + span;
    const int digits = hexOffsetDigits(last);
    lines.reserve((bytes.size() + 15) / 16);
    for (std::size_t at = 0; at < bytes.size(); at += 16)
        lines.push_back(hexDumpLine(bytes.subspan(at), offset + at, digits));
    return lines;
}

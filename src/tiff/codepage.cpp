#include "tiff/codepage.h"

#include <array>
#include <cstring>

namespace {

// 0x80..0x9F of Windows-1252. The five unassigned bytes map to the C1 control
// of the same number, as the Windows conversion does, so every byte survives a
// round trip.
constexpr std::array<char16_t, 32> kHigh{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes one code point; advances i. Invalid sequences give U+FFFD.
char32_t nextCodePoint(std::string_view s, std::size_t& i)
{
    const auto b0 = static_cast<unsigned char>(s[i++]);
    if (b0 < 0x80)
        return b0;
    int extra = 0;
    char32_t c = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        c = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        c = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        c = b0 & 0x07;
    } else {
        return 0xFFFD;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
            return 0xFFFD;
        c = (c << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    }
    return c;
}

} // namespace

namespace {

// The UTF-8 form of each byte 0x80..0xFF: its length and up to three bytes.
struct TUtf8Char {
    std::uint8_t length;
    char bytes[3];
};
constexpr auto kUtf8High = [] {
    std::array<TUtf8Char, 128> t{};
    for (std::size_t i = 0; i < t.size(); ++i) {
        const char32_t c = i < 0x20 ? kHigh[i] : static_cast<char32_t>(0x80 + i);
        if (c < 0x800)
            t[i] = {2, {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F)), 0}};
        else
            t[i] = {3,
                    {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                     static_cast<char>(0x80 | (c & 0x3F))}};
    }
    return t;
}();

constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kHighBits = 0x8080808080808080u;

// Whether any of eight bytes needs more than a copy: a byte above 127, or
// with printableOnly one below 32 (the test for "below 32" is exact for the
// word as a whole, which is all it is used for).
bool needsCare(std::uint64_t w, bool printableOnly)
{
    const std::uint64_t control = printableOnly ? (w - kOnes * 0x20) & ~w : 0;
    return ((w | control) & kHighBits) != 0;
}

} // namespace

std::size_t Cp1252PlainPrefix(const std::uint8_t* bytes, std::size_t count, bool printableOnly)
{
    std::size_t i = 0;
    // Most texts are plain ASCII: sixteen bytes a step, then eight, then one.
    for (; count - i >= 16; i += 16) {
        std::uint64_t a;
        std::uint64_t b;
        std::memcpy(&a, bytes + i, 8);
        std::memcpy(&b, bytes + i + 8, 8);
        if (needsCare(a, printableOnly) || needsCare(b, printableOnly))
            break;
    }
    for (; count - i >= 8; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, bytes + i, 8);
        if (needsCare(w, printableOnly))
            break;
    }
    while (i < count && bytes[i] < 0x80 && (bytes[i] > 31 || !printableOnly))
        ++i;
    return i;
}

char* WriteCp1252AsUtf8(char* out, const std::uint8_t* bytes, std::size_t count, bool printableOnly)
{
    std::size_t i = 0;
    while (i < count) {
        const std::size_t plain = Cp1252PlainPrefix(bytes + i, count - i, printableOnly);
        std::memcpy(out, bytes + i, plain);
        out += plain;
        i += plain;
        if (i == count)
            break;
        // A byte above 127, or one below 32 that is left out.
        const std::uint8_t b = bytes[i++];
        if (b >= 0x80) {
            const TUtf8Char& c = kUtf8High[b - 0x80];
            out[0] = c.bytes[0];
            out[1] = c.bytes[1];
            if (c.length == 3)
                out[2] = c.bytes[2];
            out += c.length;
        }
    }
    return out;
}

std::size_t Cp1252AsUtf8Size(const std::uint8_t* bytes, std::size_t count, bool printableOnly)
{
    std::size_t size = 0;
    std::size_t i = 0;
    while (i < count) {
        const std::size_t plain = Cp1252PlainPrefix(bytes + i, count - i, printableOnly);
        size += plain;
        i += plain;
        if (i == count)
            break;
        const std::uint8_t b = bytes[i++];
        if (b >= 0x80)
            size += kUtf8High[b - 0x80].length;
    }
    return size;
}

void AppendCp1252AsUtf8(std::string& out, const std::uint8_t* bytes, std::size_t count)
{
    const std::size_t old = out.size();
    out.resize(old + Cp1252AsUtf8Size(bytes, count));
    WriteCp1252AsUtf8(out.data() + old, bytes, count);
}

std::string Cp1252ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    AppendCp1252AsUtf8(out, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return out;
}

TCp1252Result Utf8ToCp1252(std::string_view utf8)
{
    TCp1252Result result;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const char32_t c = nextCodePoint(utf8, i);
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            result.Bytes.push_back(static_cast<char>(c));
            continue;
        }
        bool found = false;
        for (std::size_t k = 0; k < kHigh.size(); ++k) {
            if (kHigh[k] == c) {
                result.Bytes.push_back(static_cast<char>(0x80 + k));
                found = true;
                break;
            }
        }
        if (!found) {
            result.Unmappable = c;
            break;
        }
    }
    return result;
}

std::size_t Utf8Length(std::string_view utf8)
{
    std::size_t n = 0;
    for (const char ch : utf8)
        if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80)
            ++n;
    return n;
}

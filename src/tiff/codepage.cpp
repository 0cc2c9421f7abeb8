#include "tiff/codepage.h"

#include <array>

namespace {

// 0x80..0x9F of Windows-1252. The five unassigned bytes map to the C1 control
// of the same number, as the Windows conversion does, so every byte survives a
// round trip.
constexpr std::array<char16_t, 32> kHigh{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

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

void AppendCp1252AsUtf8(std::string& out, const std::uint8_t* bytes, std::size_t count)
{
    std::size_t i = 0;
    while (i < count) {
        // Most texts are plain ASCII: copy runs of it at once.
        std::size_t run = i;
        while (run < count && bytes[run] < 0x80)
            ++run;
        out.append(reinterpret_cast<const char*>(bytes + i), run - i);
        if (run == count)
            break;
        const std::uint8_t b = bytes[run];
        appendUtf8(out, b < 0xA0 ? kHigh[b - 0x80] : b);
        i = run + 1;
    }
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

// Every value of an entry from raw bytes: each type in both byte orders.
#include "tiff/values.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr auto kMax64 = std::numeric_limits<std::uint64_t>::max();

struct DecodeCase {
    const char* name;
    std::uint16_t type;
    std::size_t wordSize; ///< bytes of each stored number; a rational stores two of 4
    std::vector<std::uint64_t> words;
    std::size_t alternative; ///< TValueItem index every item holds
    std::vector<std::string> texts;
};

// Index of each TValueItem alternative.
enum : std::size_t { kByte, kUnsigned, kSigned, kRational, kSRational, kFloat, kDouble };

const std::vector<DecodeCase>& decodeCases()
{
    static const std::vector<DecodeCase> cases{
        {"Byte", 1, 1, {0, 65, 255}, kByte, {"0", "65", "255"}},
        {"Ascii", 2, 1, {'A', 0}, kByte, {"65", "0"}},
        {"Short", 3, 2, {0, 256, 65535}, kUnsigned, {"0", "256", "65535"}},
        {"Long", 4, 4, {1, 0xFFFFFFFF}, kUnsigned, {"1", "4294967295"}},
        {"Rational",
         5,
         4,
         {72, 1, 1, 3, 0, 0, 5, 0, 0xFFFFFFFF, 1},
         kRational,
         {"72/1 (72)", "1/3 (0.3333333333)", "0/0 (division by zero)", "5/0 (division by zero)",
          "4294967295/1 (4294967295)"}},
        {"sByte", 6, 1, {0x80, 0x7F, 0xFF}, kSigned, {"-128", "127", "-1"}},
        {"Undefined", 7, 1, {0x00, 0xAB}, kByte, {"0", "171"}},
        {"sShort", 8, 2, {0x8000, 0xFFFF, 1}, kSigned, {"-32768", "-1", "1"}},
        {"sLong", 9, 4, {0x80000000, 0xFFFFFFFF, 7}, kSigned, {"-2147483648", "-1", "7"}},
        {"sRational",
         10,
         4,
         {0xFFFFFFFF, 3, 1, 0xFFFFFFFD, 0xFFFFFFFB, 0, 0x80000000, 0xFFFFFFFF},
         kSRational,
         {"-1/3 (-0.3333333333)", "1/-3 (-0.3333333333)", "-5/0 (division by zero)", "-2147483648/-1 (2147483648)"}},
        {"Float",
         11,
         4,
         {0x3F800000, 0x3DCCCCCD, 0x7FC00000, 0x7F800000, 0xFF800000, 0x80000000, 0x00000001},
         kFloat,
         {"1", "0.1", "NaN", "Infinity", "-Infinity", "-0", "1e-45"}},
        {"Double",
         12,
         8,
         {0x3FF0000000000000, 0x3FB999999999999A, 0xFFF8000000000000, 0x7FF0000000000000, 0xFFF0000000000000,
          0x8000000000000000},
         kDouble,
         {"1", "0.1", "NaN", "Infinity", "-Infinity", "-0"}},
        {"IFD", 13, 4, {8, 0xFFFFFFFF}, kUnsigned, {"8", "4294967295"}},
        {"Long8", 16, 8, {kMax64, 0x10000000000}, kUnsigned, {"18446744073709551615", "1099511627776"}},
        {"sLong8", 17, 8, {0x8000000000000000, kMax64, 2}, kSigned, {"-9223372036854775808", "-1", "2"}},
        {"IFD8", 18, 8, {16, 0x123456789A}, kUnsigned, {"16", "78187493530"}},
    };
    return cases;
}

std::vector<std::uint8_t> encode(const DecodeCase& c, std::endian order)
{
    std::vector<std::uint8_t> bytes;
    for (std::uint64_t word : c.words)
        for (std::size_t k = 0; k < c.wordSize; ++k) {
            const std::size_t shift = order == std::endian::little ? k : c.wordSize - 1 - k;
            bytes.push_back(static_cast<std::uint8_t>(word >> (8 * shift)));
        }
    return bytes;
}

std::vector<std::uint8_t> bytesOf(std::string_view text)
{
    return {text.begin(), text.end()};
}

} // namespace

TEST(FieldTypes, SizesAndNamesByCode)
{
    struct Row {
        std::uint16_t code;
        std::size_t size;
        std::string_view name;
    };
    const Row rows[] = {
        {0, 0, "Unknown"},    {1, 1, "Byte"},        {2, 1, "Ascii"},     {3, 2, "Short"},  {4, 4, "Long"},
        {5, 8, "Rational"},   {6, 1, "sByte"},       {7, 1, "Undefined"}, {8, 2, "sShort"}, {9, 4, "sLong"},
        {10, 8, "sRational"}, {11, 4, "Float"},      {12, 8, "Double"},   {13, 4, "IFD"},   {14, 0, "Unknown"},
        {15, 0, "Unknown"},   {16, 8, "Long8"},      {17, 8, "sLong8"},   {18, 8, "IFD8"},  {19, 0, "Unknown"},
        {257, 0, "Unknown"},  {65535, 0, "Unknown"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(fieldTypeSize(r.code), r.size) << r.code;
        EXPECT_EQ(fieldTypeName(r.code), r.name) << r.code;
    }
}

TEST(ValueDecoder, EveryTypeInBothByteOrders)
{
    for (const DecodeCase& c : decodeCases())
        for (std::endian order : {std::endian::little, std::endian::big}) {
            SCOPED_TRACE(std::string(c.name) + (order == std::endian::big ? " MM" : " II"));
            const auto bytes = encode(c, order);
            const TValueDecoder d(bytes, c.type, c.texts.size(), order);
            ASSERT_EQ(d.size(), c.texts.size());
            for (std::size_t i = 0; i < d.size(); ++i) {
                EXPECT_EQ(d.item(i).index(), c.alternative) << i;
                EXPECT_EQ(d.text(i), c.texts[i]) << i;
            }
        }
}

TEST(ValueDecoder, BytesAsStoredInEachOrder)
{
    const std::uint8_t shortII[] = {0x02, 0x01};
    const std::uint8_t shortMM[] = {0x01, 0x02};
    EXPECT_EQ(std::get<std::uint64_t>(TValueDecoder(shortII, 3, 1, std::endian::little).item(0)), 258u);
    EXPECT_EQ(std::get<std::uint64_t>(TValueDecoder(shortMM, 3, 1, std::endian::big).item(0)), 258u);

    const std::uint8_t sRationalMM[] = {0xFF, 0xFF, 0xFF, 0xFF, /* -1 */ 0x00, 0x00, 0x00, 0x03 /* 3 */};
    EXPECT_EQ(std::get<TSRational>(TValueDecoder(sRationalMM, 10, 1, std::endian::big).item(0)), (TSRational{-1, 3}));

    const std::uint8_t doubleII[] = {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}; // 1.0
    EXPECT_EQ(std::get<double>(TValueDecoder(doubleII, 12, 1, std::endian::little).item(0)), 1.0);
}

TEST(ValueDecoder, ItemsAreBoundedByBytesAndCount)
{
    const std::uint8_t field[] = {1, 0, 2, 0};                             // the 4-byte value field of a classic entry
    EXPECT_EQ(TValueDecoder(field, 3, 1, std::endian::little).size(), 1u); // count 1: the rest is padding
    EXPECT_EQ(TValueDecoder(field, 3, 5, std::endian::little).size(), 2u); // cut short by the bytes
    EXPECT_EQ(TValueDecoder(std::span(field, 3), 3, 2, std::endian::little).size(), 1u); // half an item
    EXPECT_EQ(TValueDecoder(field, 14, 4, std::endian::little).size(), 0u);              // type without a size
    EXPECT_EQ(TValueDecoder(field, 4, kMax64, std::endian::little).size(), 1u);

    const TValueDecoder d(field, 3, 2, std::endian::little);
    EXPECT_THROW(d.item(2), std::out_of_range);
    EXPECT_THROW(d.text(kMax64), std::out_of_range);
}

TEST(ValueDecoder, IntegerValueForEnumerations)
{
    EXPECT_EQ(integerValue(TValueItem{std::uint8_t{7}}), 7);
    EXPECT_EQ(integerValue(TValueItem{std::uint64_t{65535}}), 65535);
    EXPECT_EQ(integerValue(TValueItem{std::int64_t{-1}}), -1);
    EXPECT_EQ(integerValue(TValueItem{kMax64}), std::nullopt);
    EXPECT_EQ(integerValue(TValueItem{TRational{2, 1}}), std::nullopt);
    EXPECT_EQ(integerValue(TValueItem{1.0f}), std::nullopt);
}

TEST(ValueDecoder, AsciiSplitsAtEveryNul)
{
    struct Row {
        std::string_view bytes;
        std::uint64_t count;
        std::vector<std::string> strings;
    };
    using namespace std::string_view_literals;
    const Row rows[] = {
        {"abc\0def\0"sv, 8, {"abc", "def"}},
        {"abc"sv, 3, {"abc"}}, // no final NUL
        {"a\0\0b"sv, 4, {"a", "", "b"}},
        {""sv, 0, {}},
        {"\0"sv, 1, {""}},
        {"abc\0xyz"sv, 4, {"abc"}},                                  // the count ends the value
        {"\xE9t\xE9 \x80"sv, 5, {"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"}}, // Windows-1252 to UTF-8
    };
    for (const Row& r : rows) {
        const auto bytes = bytesOf(r.bytes);
        EXPECT_EQ(TValueDecoder(bytes, 2, r.count, std::endian::big).asciiStrings(), r.strings) << r.bytes;
    }
}

TEST(ValuePages, PagesAreCutToTheCount)
{
    struct Row {
        std::uint16_t type;
        std::uint64_t count, first, n;
        TValuePage expected;
    };
    const Row rows[] = {
        {4, 1'000'000, 0, 256, {0, 256, 0, 1024}},
        {4, 1'000'000, 999'990, 256, {999'990, 10, 3'999'960, 40}},
        {4, 1'000'000, 1'000'000, 256, {1'000'000, 0, 0, 0}},
        {5, 3, 1, 1, {1, 1, 8, 8}},
        {16, kMax64, 1ull << 62, 4, {1ull << 62, 4, kMax64, 32}}, // offset past 64 bits saturates
        {3, 10, 2, kMax64, {2, 8, 4, 16}},
        {0, 10, 0, 10, {0, 0, 0, 0}},
    };
    for (const Row& r : rows) {
        const TValuePage p = valuePage(r.type, r.count, r.first, r.n);
        EXPECT_EQ(p.First, r.expected.First);
        EXPECT_EQ(p.Count, r.expected.Count) << r.first;
        EXPECT_EQ(p.ByteOffset, r.expected.ByteOffset) << r.first;
        EXPECT_EQ(p.ByteCount, r.expected.ByteCount) << r.first;
    }
    EXPECT_EQ(valueByteCount(4, 3), 12u);
    EXPECT_EQ(valueByteCount(16, kMax64), kMax64);
    EXPECT_EQ(valueByteCount(0, 5), 0u);
}

TEST(ValuePages, APageDecodesFromItsOwnBytes)
{
    std::vector<std::uint8_t> value; // 1000 big-endian Shorts holding their own index
    for (std::uint16_t i = 0; i < 1000; ++i) {
        value.push_back(static_cast<std::uint8_t>(i >> 8));
        value.push_back(static_cast<std::uint8_t>(i));
    }
    const TValuePage page = valuePage(3, 1000, 990, 256);
    const std::span<const std::uint8_t> bytes = std::span(value).subspan(page.ByteOffset, page.ByteCount);
    const TValueDecoder d(bytes, 3, page.Count, std::endian::big);
    ASSERT_EQ(d.size(), 10u);
    for (std::size_t k = 0; k < d.size(); ++k)
        EXPECT_EQ(d.text(k), std::to_string(page.First + k));
}

TEST(HexDump, SixteenBytesALineWithAsciiBeside)
{
    const std::uint8_t bytes[] = {0x49, 0x49, 0x2A, 0x00, 0x08, 0x00, 0x00, 0x00, 0x0E, 0x00,
                                  0xFE, 0x00, 0x04, 0x00, 0x01, 0x00, 0x41, 0x42, 0x7F, 0xE9};
    const auto lines = hexDump(bytes, 0x1F0);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "000001F0  49 49 2A 00 08 00 00 00  0E 00 FE 00 04 00 01 00  II*.............");
    EXPECT_EQ(lines[1], "00000200  41 42 7F E9" + std::string(39, ' ') + "AB..");
    EXPECT_EQ(lines[1].find("AB.."), lines[0].find("II*")); // the ASCII column stays put
    EXPECT_TRUE(hexDump({}, 0).empty());
}

TEST(HexDump, OffsetsPast4GiBWidenEveryLine)
{
    const std::vector<std::uint8_t> bytes(20, 0x20);
    const auto lines = hexDump(bytes, 0xFFFFFFF8);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(0, 11), "0FFFFFFF8  ");
    EXPECT_EQ(lines[1].substr(0, 11), "100000008  ");
    EXPECT_EQ(hexOffsetDigits(0xFFFFFFFF), 8);
    EXPECT_EQ(hexOffsetDigits(kMax64), 16);
    EXPECT_EQ(hexDumpLine(bytes, kMax64, 40).substr(0, 18), "FFFFFFFFFFFFFFFF  ");
}

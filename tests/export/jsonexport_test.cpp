// The whole structure as JSON: keys and values of every type, in both byte
// orders and both kinds of file, and what happens at the file's end.
#include "export/jsonexport.h"
#include "tiff/testfile.h"
#include "tiff/valuesource.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <bit>
#include <limits>

using json = nlohmann::json;

namespace {

/// The document of bytes, and the largest chunk the sink was given.
struct Exported {
    std::string text;
    std::size_t largestChunk = 0;
    json doc;

    explicit Exported(const std::vector<std::uint8_t>& bytes, bool parse = true)
    {
        OpenedTiff t(bytes);
        TValueSource source(bytes);
        EXPECT_TRUE(WriteJson(*t.file, t.reports, source, [&](std::string_view chunk) {
            text += chunk;
            largestChunk = std::max(largestChunk, chunk.size());
            return true;
        }));
        if (parse)
            doc = json::parse(text);
    }
    const json& directory(std::string_view id) const
    {
        for (const json& d : doc["directories"])
            if (d["id"] == id)
                return d;
        throw std::runtime_error("no directory " + std::string(id));
    }
    const json& entry(std::string_view id, int tag) const
    {
        for (const json& e : directory(id)["entries"])
            if (e["tag"] == tag)
                return e;
        throw std::runtime_error("no tag " + std::to_string(tag));
    }
};

struct Kind {
    bool bigEndian;
    bool bigTiff;
};

class Json : public testing::TestWithParam<Kind> {
protected:
    TiffBuilder b{GetParam().bigEndian, GetParam().bigTiff};
    bool big = GetParam().bigTiff;
    /// Numbers of n bytes each, in the file's byte order, as a data blob.
    std::uint32_t numbers(int n, std::initializer_list<std::uint64_t> values)
    {
        std::string bytes;
        for (const std::uint64_t v : values)
            for (int i = 0; i < n; ++i)
                bytes.push_back(static_cast<char>(v >> (8 * (GetParam().bigEndian ? n - 1 - i : i))));
        return b.Data(bytes);
    }
    TestEntry pointer(std::uint16_t tag, std::uint64_t offset) const
    {
        return TestEntry::At(tag, big ? tIfd8 : tLong, 1, offset);
    }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(, Json,
                         testing::Values(Kind{false, false}, Kind{true, false}, Kind{false, true}, Kind{true, true}),
                         [](const testing::TestParamInfo<Kind>& info) {
                             return std::string(info.param.bigEndian ? "MM" : "II") +
                                    (info.param.bigTiff ? "BigTiff" : "Classic");
                         });

TEST_P(Json, HeaderTreeAndMessages)
{
    const auto interop = b.Directory({TestEntry::Inline(1, tAscii, 4, std::string_view("R98\0", 4))});
    b.Page({TestEntry::Short(256, 300), pointer(34665, b.Directory({pointer(40965, interop)})),
            pointer(34853, 0x7FFFFFF0)});
    b.Page({TestEntry::Short(256, 7)});
    const auto bytes = b.Build();
    const Exported x(bytes);
    EXPECT_EQ(x.doc["file"], "test.tif");
    EXPECT_EQ(x.doc["size"], bytes.size());
    EXPECT_EQ(x.doc["byteOrder"], GetParam().bigEndian ? "MM" : "II");
    EXPECT_EQ(x.doc["bigTiff"], big);
    EXPECT_EQ(x.doc["firstOffset"], b.DirOffset(0));
    json tree = json::array();
    for (const json& d : x.doc["directories"])
        tree.push_back({d["id"], d["kind"], d["parent"], d["next"], d["entryCount"], d["complete"]});
    // The GPS directory lies outside the file: kept, unread, and reported.
    EXPECT_EQ(tree, json::parse(R"([["1", "page", null, )" + std::to_string(b.DirOffset(1)) + R"(, 3, true],
        ["1/exif", "exif", "1", null, 1, true], ["1/exif/interop", "interop", "1/exif", null, 1, true],
        ["1/gps", "gps", "1", null, null, false], ["2", "page", null, 0, 1, true]])"));
    EXPECT_EQ(x.doc["messages"],
              json::array({{{"text", nullptr},
                            {"directoryId", "1/gps"},
                            {"directoryOffset", 0x7FFFFFF0},
                            {"sentence", "the GPS directory at 2147483632 lies past the end of the file (" +
                                             std::to_string(bytes.size()) + " bytes)"}}}));

    // A page's entry carries the listing's text; below a page there is none.
    EXPECT_EQ(x.entry("1", 256), json({{"position", b.EntryOffset(0, 0)},
                                       {"tag", 256},
                                       {"name", "ImageWidth"},
                                       {"type", 3},
                                       {"typeName", "Short"},
                                       {"count", 1},
                                       {"valuePosition", b.EntryOffset(0, 0) + 4 + b.FieldBytes()},
                                       {"values", {300}},
                                       {"truncated", false},
                                       {"text", "300"}}));
    const json& index = x.entry("1/exif/interop", 1);
    EXPECT_EQ(index["name"], "InteroperabilityIndex"); // the kind's own table
    EXPECT_EQ(index["values"], json::array({"R98"}));
    EXPECT_EQ(index["text"], nullptr);
}

TEST_P(Json, ValuesOfEveryType)
{
    const double inf = std::numeric_limits<double>::infinity();
    const auto f32 = [](float v) { return std::uint64_t{std::bit_cast<std::uint32_t>(v)}; };
    const auto f64 = [](double v) { return std::bit_cast<std::uint64_t>(v); };
    // Values that fit in no entry of either kind, and some that fit in any.
    const auto text = b.Data(std::string_view("Hi\0there\0", 9));
    b.Page({
        TestEntry::At(258, tShort, 5, numbers(2, {8, 8, 65535, 1, 2})), TestEntry::At(270, tAscii, 9, text),
        TestEntry::At(33, tByte, 9, b.Data("\x01\x02\x03\x04\xFA\xFF\x05\x10\x20")),
        TestEntry::Inline(34, tSByte, 2, "\xFF\x7F"), TestEntry::Inline(35, tUndefined, 3, "ABC"),
        TestEntry::Inline(36, tSShort, 1, GetParam().bigEndian ? "\xFF\xFE" : "\xFE\xFF"),
        TestEntry::At(37, tLong, 3, numbers(4, {1, 4294967295u, 7})),
        TestEntry::At(39, tRational, 2, numbers(4, {3, 4, 0, 0})),
        TestEntry::At(40, tSRational, 2, numbers(4, {0xFFFFFFFF, 3, 5, 0xFFFFFFFF})),
        TestEntry::At(41, tFloat, 3, numbers(4, {f32(1.5f), f32(std::nanf("")), f32(-static_cast<float>(inf))})),
        TestEntry::At(42, tDouble, 2, numbers(8, {f64(0.1), f64(inf)})),
        TestEntry::At(43, tLong8, 2, numbers(8, {(1ull << 40) + 1, ~0ull})),
        TestEntry::At(44, tSLong8, 2, numbers(8, {static_cast<std::uint64_t>(-(1ll << 40)), 5})),
        TestEntry::At(45, 99, 2, 8), // a type without a size
    });
    const Exported x(b.Build());
    const std::pair<int, std::string_view> expected[] = {
        {258, "[8,8,65535,1,2]"},
        {270, R"(["Hi","there"])"},
        {33, "[1,2,3,4,250,255,5,16,32]"},
        {34, "[-1,127]"},
        {35, "[65,66,67]"},
        {36, "[-2]"},
        {37, "[1,4294967295,7]"},
        {39, "[[3,4],[0,0]]"},
        {40, "[[-1,3],[5,-1]]"},
        {41, R"([1.5,"NaN","-Infinity"])"},
        {42, R"([0.1,"Infinity"])"},
        {43, "[1099511627777,18446744073709551615]"}, // whole, never through a double
        {44, "[-1099511627776,5]"},
        {45, "null"},
    };
    for (const auto& [tag, values] : expected) {
        EXPECT_EQ(x.entry("1", tag)["values"].dump(), values) << tag;
        EXPECT_EQ(x.entry("1", tag)["truncated"], false) << tag;
    }
    EXPECT_EQ(x.entry("1", 270)["text"], std::string("Hi\0there\0", 9));
    EXPECT_EQ(x.entry("1", 270)["valuePosition"], text);
    // Types are named in both kinds of file, also those a classic listing calls Unknown.
    EXPECT_EQ(x.entry("1", 44)["typeName"], "sLong8");
    EXPECT_EQ(x.entry("1", 45)["typeName"], "Unknown");
}

TEST_P(Json, TheEndOfTheFileCutsValuesAndEntries)
{
    b.Page({TestEntry::Short(256, 1), TestEntry::At(258, tShort, 10, 0), TestEntry::Short(259, 1)});
    std::vector<std::uint8_t> bytes = b.Build();
    // The shorts start 6 bytes before the end: three of the ten lie in the file.
    const std::uint32_t field = b.EntryOffset(0, 1) + 4 + b.FieldBytes();
    big ? Put64(bytes, field, bytes.size() - 6, GetParam().bigEndian)
        : Put32(bytes, field, static_cast<std::uint32_t>(bytes.size() - 6), GetParam().bigEndian);
    const Exported x(bytes);
    EXPECT_EQ(x.entry("1", 258)["values"].size(), 3u);
    EXPECT_EQ(x.entry("1", 258)["truncated"], true);

    // An entry cut inside its count: the fields past the end are null.
    bytes.resize(b.EntryOffset(0, 2) + 6);
    const json last = Exported(bytes).directory("1")["entries"].back();
    EXPECT_EQ(last["typeName"], "Short");
    for (const char* key : {"count", "valuePosition", "values"})
        EXPECT_EQ(last[key], nullptr) << key;
    EXPECT_EQ(last["truncated"], true);
}

TEST(JsonValues, AMillionAreStreamedAndSharedOnesBounded)
{
    TiffBuilder b;
    const auto data = b.Data(std::string(2'000'000, '\x01'));
    b.Page({TestEntry::At(273, tShort, 1'000'000, data)});
    const Exported x(b.Build(), false);
    EXPECT_LT(x.largestChunk, 70'000u);
    const auto open = x.text.begin() + static_cast<std::ptrdiff_t>(x.text.find("\"values\":[257,257,"));
    EXPECT_EQ(std::count(open, std::find(open, x.text.end(), ']'), ','), 999'999);

    // Seventy entries that all point at the same 16 KiB: whole, they would
    // print 70 times what the file holds. Twice the file's size and a
    // megabyte are printed, then a message says why the rest is missing.
    TiffBuilder shared;
    const auto zeros = shared.Data(std::string(16384, '\0'));
    std::vector<TestEntry> entries;
    for (int i = 0; i < 70; ++i)
        entries.push_back(TestEntry::At(static_cast<std::uint16_t>(1000 + i), tLong, 4096, zeros));
    shared.Page(entries);
    const Exported y(shared.Build());
    std::size_t bytes = 0, cut = 0;
    for (const json& e : y.directory("1")["entries"]) {
        bytes += e["values"].size() * 4;
        cut += e["truncated"].get<bool>();
    }
    const std::size_t budget = 2 * y.doc["size"].get<std::size_t>() + (1 << 20);
    EXPECT_LE(bytes, budget);
    EXPECT_GT(bytes, budget - 16384);
    EXPECT_EQ(cut, 70 - budget / 16384);
    ASSERT_EQ(y.doc["messages"].size(), 1u);
    EXPECT_NE(y.doc["messages"][0]["sentence"].get<std::string>().find("share their bytes"), std::string::npos);
}

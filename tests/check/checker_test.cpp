// The checker on crafted files: a sound page, then the same page broken one
// way at a time for every kind of finding, in both byte orders and both kinds
// of file; sound real files; and files with more findings than are listed.
#include "checkfile.h"
#include "support/tempdir.h"
#include "tiff/errors.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

namespace {

using enum TProblemKind;

struct Kind {
    bool bigEndian;
    bool bigTiff;
};

std::string kindName(const testing::TestParamInfo<Kind>& info)
{
    return std::string(info.param.bigEndian ? "MM" : "II") + (info.param.bigTiff ? "BigTiff" : "Classic");
}

/// The first page's directory copied to the end of the file, after pad bytes
/// that put it at an odd position when odd, and named by the header.
std::vector<std::uint8_t> firstPageMoved(std::vector<std::uint8_t> bytes, const TiffBuilder& b, bool odd)
{
    const std::vector<std::uint8_t> dir(bytes.begin() + b.DirOffset(0),
                                        bytes.begin() + b.NextFieldOffset(0) + b.FieldBytes());
    if ((bytes.size() % 2 == 1) != odd)
        bytes.push_back(0);
    putOffset(bytes, b, headerField(b), bytes.size());
    bytes.insert(bytes.end(), dir.begin(), dir.end());
    return bytes;
}

struct Case {
    const char* name;
    TProblemKind kind;
    const char* directory; ///< "" for the file as a whole
    std::uint16_t tag;     ///< the tag of the entry concerned; 0 for none
    std::function<std::vector<std::uint8_t>(TiffBuilder&)> build;
};

const std::vector<Case>& cases()
{
    using B = TiffBuilder;
    static const std::vector<Case> all{
        {"no page", NoPages, "", 0, [](B& b) { return b.Build(); }},
        {"directory at an odd position", DirectoryOffsetOdd, "1", 0,
         [](B& b) { return firstPageMoved(onePage(b, Page(b)), b, true); }},
        {"directory past the end", DirectoryPastEnd, "1", 0,
         [](B& b) {
             auto bytes = onePage(b, Page(b));
             putOffset(bytes, b, headerField(b), bytes.size() + 100 + bytes.size() % 2);
             return bytes;
         }},
        {"directory cut", DirectoryCut, "1", 0,
         [](B& b) {
             auto bytes = onePage(b, Page(b));
             bytes.resize(b.EntryOffset(0, 3) + 5);
             return bytes;
         }},
        {"next-directory offset cut", NextOffsetCut, "1", 0,
         [](B& b) {
             auto bytes = onePage(b, Page(b));
             bytes.resize(b.NextFieldOffset(0) + 2);
             return bytes;
         }},
        {"chain loop", DirectoryLoop, "2", 0,
         [](B& b) {
             b.Page(Page(b).entries);
             auto bytes = onePage(b, Page(b));
             putOffset(bytes, b, b.NextFieldOffset(1), b.DirOffset(0));
             return bytes;
         }},
        {"Exif directory of two pages", DirectoryShared, "2", 34665,
         [](B& b) {
             const auto exif = b.Directory({TestEntry::Inline(36864, tUndefined, 4, "0232")});
             b.Page(Page(b).set(pointer(b, 34665, exif)).entries);
             return onePage(b, Page(b).set(pointer(b, 34665, exif)));
         }},
        {"empty directory", EntryCountZero, "2", 0,
         [](B& b) {
             b.Page(Page(b).entries);
             b.Page({});
             return b.Build();
         }},
        {"value over the header", Overlap, "1", 270,
         [](B& b) { return onePage(b, Page(b).set(TestEntry::At(270, tAscii, 12, 4))); }},
        {"two texts on the same bytes", SharedBytes, "1", 270,
         [](B& b) {
             const auto shared = b.Data(std::string_view("shared text\0", 12));
             Page p(b);
             p.set(TestEntry::At(270, tAscii, 12, shared)).set(TestEntry::At(305, tAscii, 12, shared));
             return onePage(b, p);
         }},
        {"value past the end", ValuePastEnd, "1", 270,
         [](B& b) { return onePage(b, Page(b).set(TestEntry::At(270, tAscii, 50, 100000))); }},
        {"value at an odd position", ValueOffsetOdd, "1", 270,
         [](B& b) {
             const auto at = b.Data(std::string_view("xodd position\0", 14)) + 1;
             return onePage(b, Page(b).set(TestEntry::At(270, tAscii, 13, at)));
         }},
        {"strip past the end", DataPastEnd, "1", 273,
         [](B& b) { return onePage(b, Page(b).set(TestEntry::Long(279, 100000))); }},
        {"strip shorter than its rows", DataShort, "1", 279,
         [](B& b) { return onePage(b, Page(b).set(TestEntry::Long(279, 6))); }},
        {"unknown type", UnknownType, "1", 50000,
         [](B& b) { return onePage(b, Page(b).set(TestEntry::Short(50000, 1, 1, 0))); }},
        {"entries out of order", EntryOrder, "1", 256,
         [](B& b) {
             Page p(b);
             std::swap(p.entries[0], p.entries[1]);
             return onePage(b, p);
         }},
        {"tag twice", DuplicateTag, "1", 256,
         [](B& b) {
             Page p(b);
             p.entries.push_back(TestEntry::Short(256, 5));
             return onePage(b, p);
         }},
        {"text without NUL", AsciiNoNul, "1", 305,
         [](B& b) { return onePage(b, Page(b).set(text(b, 305, "no final nul"))); }},
        {"text after a NUL", AsciiInnerNul, "1", 305,
         [](B& b) { return onePage(b, Page(b).set(text(b, 305, std::string_view("two\0strings\0", 12)))); }},
        {"date in another form", DateTimeFormat, "1", 306,
         [](B& b) { return onePage(b, Page(b).set(text(b, 306, std::string_view("2024-01-02 03:04:05\0", 20)))); }},
        {"Orientation twice over", CountWrong, "1", 274,
         [](B& b) { return onePage(b, Page(b).set(TestEntry::Short(274, 1, 2))); }},
        {"BitsPerSample per sample", SamplesCount, "1", 258,
         [](B& b) { return onePage(b, Page(b).set(TestEntry::Short(258, 8, 2))); }},
        {"strips of one row", StripCount, "1", 273,
         [](B& b) { return onePage(b, Page(b).set(TestEntry::Short(278, 1))); }},
        {"one tile for two", TileCount, "1", 324,
         [](B& b) {
             const auto tile = b.Data(std::string(256, '\0'));
             Page p(b);
             p.drop(273).drop(278).drop(279).set(TestEntry::Short(256, 32));
             p.set(TestEntry::Short(322, 16)).set(TestEntry::Short(323, 16));
             p.set(TestEntry::Long(324, tile)).set(TestEntry::Long(325, 256));
             return onePage(b, p);
         }},
        {"width as text", WrongType, "1", 256,
         [](B& b) { return onePage(b, Page(b).set(TestEntry::Inline(256, tAscii, 2, std::string_view("4\0", 2)))); }},
        {"width as a byte", OtherType, "1", 256,
         [](B& b) { return onePage(b, Page(b).set(TestEntry::Inline(256, tByte, 1, "\4"))); }},
        {"resolution over zero", RationalZero, "1", 282,
         [](B& b) { return onePage(b, Page(b).set(rational(b, 282, 300, 0))); }},
        {"no PhotometricInterpretation", MissingField, "1", 0, [](B& b) { return onePage(b, Page(b).drop(262)); }},
        {"no ResolutionUnit", MissingResolution, "1", 0, [](B& b) { return onePage(b, Page(b).drop(296)); }},
        {"texts that share 100 kB", ChecksLimited, "1", 0,
         [](B& b) {
             const auto big = b.Data(std::string(100000, 'x') + '\0');
             Page p(b);
             for (std::uint16_t tag = 50000; tag < 50020; ++tag)
                 p.set(TestEntry::At(tag, tAscii, 100001, big));
             return onePage(b, p);
         }},
    };
    return all;
}

class Checker : public testing::TestWithParam<Kind> {
protected:
    TiffBuilder builder() const { return TiffBuilder(GetParam().bigEndian, GetParam().bigTiff); }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(, Checker,
                         testing::Values(Kind{false, false}, Kind{true, false}, Kind{false, true}, Kind{true, true}),
                         kindName);

TEST_P(Checker, SoundPageHasNoFindingAndALayoutOfEveryByte)
{
    TiffBuilder b = builder();
    const CheckedTiff c(onePage(b, Page(b)));
    EXPECT_TRUE(c.identifiers().empty()) << testing::PrintToString(c.identifiers());
    // Header, strip, values, directory and gaps cover the file once, in order.
    std::uint64_t at = 0;
    std::vector<TPartKind> kinds;
    for (const TPart& part : c.report.Layout) {
        EXPECT_EQ(part.Range.Start, at);
        at = part.Range.End;
        kinds.push_back(part.Kind);
    }
    EXPECT_EQ(at, c.bytes.size());
    const std::vector<TPartKind> values(b.BigTiff() ? 1 : 3, TPartKind::Value); // rationals lie inline in BigTIFF
    std::vector<TPartKind> expected{TPartKind::Header, TPartKind::StripData};
    expected.insert(expected.end(), values.begin(), values.end());
    expected.push_back(TPartKind::Directory);
    EXPECT_EQ(kinds, expected);
    const TPart& strip = c.report.Layout[1];
    EXPECT_EQ(strip.Directory, 0);
    EXPECT_EQ(c.file.Directories[0].Entries.at(static_cast<std::size_t>(strip.Entry)).Tag, 273);
}

TEST_P(Checker, EachKindOfFindingOnItsOwnDamage)
{
    for (const Case& k : cases()) {
        SCOPED_TRACE(k.name);
        TiffBuilder b = builder();
        const CheckedTiff c(k.build(b));
        const TProblem* p = c.find(k.kind);
        ASSERT_NE(p, nullptr) << testing::PrintToString(c.identifiers());
        EXPECT_EQ(p->DirectoryId, k.directory);
        if (k.tag == 0) {
            EXPECT_EQ(p->Entry, -1);
            continue;
        }
        const auto& entries = c.file.Directories.at(static_cast<std::size_t>(p->Directory)).Entries;
        ASSERT_GE(p->Entry, 0);
        EXPECT_EQ(entries.at(static_cast<std::size_t>(p->Entry)).Tag, k.tag);
        if (k.kind == DuplicateTag) // the entry readers pass over, not the one they use
            EXPECT_EQ(static_cast<std::size_t>(p->Entry), entries.size() - 1);
    }
}

TEST_P(Checker, FindingsNameTheBytesConcerned)
{
    TiffBuilder b = builder();
    const auto odd = b.Data(std::string_view("xodd position\0", 14)) + 1;
    b.Page(Page(b).entries);
    auto bytes = onePage(b, Page(b).set(TestEntry::At(270, tAscii, 13, odd)).set(TestEntry::Long(279, 100000)));
    putOffset(bytes, b, b.NextFieldOffset(1), b.DirOffset(0));
    const CheckedTiff c(bytes);
    ASSERT_TRUE(c.find(ValueOffsetOdd) && c.find(DataPastEnd) && c.find(DirectoryLoop));
    EXPECT_EQ(c.find(ValueOffsetOdd)->Range.Start, odd);
    EXPECT_EQ(c.find(ValueOffsetOdd)->Range.End, odd + 13);
    const std::uint64_t strip = c.find(DataPastEnd)->Range.Start;
    EXPECT_EQ(c.find(DataPastEnd)->Range.End, strip + 100000);
    EXPECT_EQ(c.find(DirectoryLoop)->Range.Start, b.NextFieldOffset(1));
    EXPECT_EQ(c.find(DataPastEnd)->Sentence, "Strip 1 of page 2 (100000 bytes at " + std::to_string(strip) +
                                                 ") runs past the end of the file (" + std::to_string(bytes.size()) +
                                                 " bytes)");
}

TEST_P(Checker, UncompressedStripsNeedEverySamplesBitsButYCbCrMaySubsample)
{
    // A 4 x 2 RGB page, 8 + 8 + 16 bits a pixel: 32 bytes in its one strip.
    const auto rgb = [&](std::uint32_t stripBytes, std::uint16_t photometric) {
        TiffBuilder b = builder();
        std::vector<std::uint8_t> bits;
        for (const std::uint16_t v : {8, 8, 16})
            Put16(bits, bits.size(), v, b.BigEndian());
        const auto perSample = b.BigTiff() ? TestEntry::Inline(258, tShort, 3, bytesOf(bits))
                                           : TestEntry::At(258, tShort, 3, b.Data(bytesOf(bits)));
        const auto strip = b.Data(std::string(stripBytes, '\0'));
        Page p(b);
        p.set(perSample).set(TestEntry::Short(262, photometric)).set(TestEntry::Short(277, 3));
        p.set(TestEntry::Long(273, strip)).set(TestEntry::Long(279, stripBytes));
        return CheckedTiff(onePage(b, p)).identifiers();
    };
    EXPECT_TRUE(rgb(32, 2).empty()) << testing::PrintToString(rgb(32, 2));
    EXPECT_EQ(rgb(31, 2), std::vector<std::string>{"data-short"});
    EXPECT_TRUE(rgb(16, 6).empty());

    // Four 16 x 16 tiles of a 64 x 16 page whose offsets stand under
    // StripOffsets, as some writers keep them: 256 bytes each is whole for a
    // tile, though a strip of the page's 16 rows would take 1024.
    TiffBuilder b = builder();
    std::vector<std::uint8_t> offsets, counts;
    for (int k = 0; k < 4; ++k) {
        Put32(offsets, offsets.size(), b.Data(std::string(256, '\0')), b.BigEndian());
        Put32(counts, counts.size(), 256, b.BigEndian());
    }
    Page p(b);
    p.set(TestEntry::Short(256, 64)).set(TestEntry::Short(257, 16)).set(TestEntry::Short(278, 16));
    p.set(TestEntry::Short(322, 16)).set(TestEntry::Short(323, 16));
    p.set(TestEntry::At(273, tLong, 4, b.Data(bytesOf(offsets))))
        .set(TestEntry::At(279, tLong, 4, b.Data(bytesOf(counts))));
    EXPECT_EQ(CheckedTiff(onePage(b, p)).identifiers(), std::vector<std::string>{"strip-count"});
}

TEST_P(Checker, ExifDirectoryPointingBackToItsPageIsALoop)
{
    TiffBuilder b = builder();
    const auto exif = b.Directory({pointer(b, 40965, 0)});
    auto bytes = onePage(b, Page(b).set(pointer(b, 34665, exif)));
    // The Interoperability entry leads back to the page above it.
    putOffset(bytes, b, exif + b.CountBytes() + 4 + b.FieldBytes(), b.DirOffset(0));
    const CheckedTiff c(bytes);
    const TProblem* loop = c.find(DirectoryLoop);
    ASSERT_NE(loop, nullptr) << testing::PrintToString(c.identifiers());
    EXPECT_EQ(loop->DirectoryId, "1/exif");
    EXPECT_EQ(loop->Entry, 0);
    EXPECT_EQ(c.find(DirectoryShared), nullptr);
}

TEST(CheckerLimits, AMillionFindingsAreCountedAndAThousandListed)
{
    // A page of 65,535 entries of an unknown type, all of the same tag.
    TiffBuilder b;
    b.Page(std::vector<TestEntry>(65535, TestEntry::Short(50000, 1, 1, 0)));
    const CheckedTiff c(b.Build());
    EXPECT_EQ(c.report.Found[static_cast<std::size_t>(UnknownType)], 65535u);
    EXPECT_EQ(c.report.Found[static_cast<std::size_t>(DuplicateTag)], 65534u);
    EXPECT_EQ(c.report.unlisted(UnknownType), 65535u - ProblemListLimit);
    EXPECT_EQ(std::count_if(c.report.Problems.begin(), c.report.Problems.end(),
                            [](const TProblem& p) { return p.Kind == UnknownType; }),
              static_cast<std::ptrdiff_t>(ProblemListLimit));
    EXPECT_EQ(c.report.count(TSeverity::Warning), 65535u + 65534u);
}

TEST(CheckerLimits, HugeCountsReadOnlyWhatTheFileHolds)
{
    // Four billion strips in a small file: the offsets that lie in the file, and no more.
    TiffBuilder b;
    const auto offsets = b.Data(std::string(4000, '\0'));
    Page p(b);
    p.set(TestEntry::At(273, tLong, 0xFFFFFFFF, offsets)).set(TestEntry::At(279, tLong, 0xFFFFFFFF, offsets));
    const CheckedTiff c(onePage(b, p));
    EXPECT_TRUE(c.find(ValuePastEnd));
    ASSERT_TRUE(c.find(StripCount));
    EXPECT_EQ(c.find(StripCount)->Sentence,
              "StripOffsets in page 1 has a count of 4294967295 where ImageLength and RowsPerStrip give 1");
    // Strips come only from the numbers that lie in the file.
    EXPECT_LE(std::count_if(c.report.Layout.begin(), c.report.Layout.end(),
                            [](const TPart& part) { return part.Kind == TPartKind::StripData; }),
              static_cast<std::ptrdiff_t>((c.bytes.size() - offsets) / 4));
}

TEST(CheckerLimits, BigTiffStripsFromTwoToTheSixtyThreeOnRunPastTheEnd)
{
    // Offsets and byte counts that a signed 64-bit number cannot hold.
    using Strip = std::pair<std::uint64_t, std::uint64_t>; // offset, byte count
    for (const auto& [start, length] : {Strip{std::uint64_t{1} << 63, 8}, Strip{16, ~std::uint64_t{0}}}) {
        TiffBuilder b(false, true);
        Page p(b);
        p.set(TestEntry::At(273, tLong8, 1, start)).set(TestEntry::At(279, tLong8, 1, length));
        const CheckedTiff c(onePage(b, p));
        const TProblem* past = c.find(DataPastEnd);
        ASSERT_NE(past, nullptr) << testing::PrintToString(c.identifiers());
        EXPECT_EQ(past->Range.Start, start);
    }
}

TEST(CheckerLimits, PagesSharingTheirStripArraysStopBeforeTheLayoutOutgrowsTheFile)
{
    // Five pages share 20,000 strips of one byte each: more than the file could hold apart.
    TiffBuilder b;
    std::string starts;
    for (int i = 0; i < 20000; ++i)
        starts += std::string("\x08\x00", 2);
    const auto offsets = b.Data(starts);
    const auto counts = b.Data(std::string(40000, '\x01'));
    for (int page = 0; page < 5; ++page)
        b.Page(Page(b)
                   .set(TestEntry::At(273, tShort, 20000, offsets))
                   .set(TestEntry::At(279, tByte, 20000, counts))
                   .set(TestEntry::Short(278, 1))
                   .set(TestEntry::Short(257, 20000))
                   .entries);
    const CheckedTiff c(b.Build());
    ASSERT_TRUE(c.find(ChecksLimited));
    const auto strips = std::count_if(c.report.Layout.begin(), c.report.Layout.end(),
                                      [](const TPart& part) { return part.Kind == TPartKind::StripData; });
    EXPECT_LE(static_cast<std::uint64_t>(strips), c.bytes.size() / 8 + 65536);
    EXPECT_GT(strips, 20000);
}

TEST(CheckerLimits, TheTreeWithoutTextsGivesTheSameFindingsAndTheChainAloneNone)
{
    TiffBuilder b(true);
    b.Page(Page(b).set(text(b, 305, "no final nul")).entries);
    const auto bytes = onePage(b, Page(b).set(TestEntry::Short(278, 1)));
    TValueSource source(bytes);
    TTiffFile structure({}, TReadScope::Structure);
    structure.OpenSource("structure.tif", source);
    EXPECT_EQ(structure.Pages.GetPage(0)->FindTag(305)->ValueText, " "); // left undecoded
    const CheckedTiff whole(bytes);
    const TCheckReport report = checkFile(structure, source);
    ASSERT_EQ(report.Problems.size(), whole.report.Problems.size());
    for (std::size_t i = 0; i < report.Problems.size(); ++i)
        EXPECT_EQ(report.Problems[i].Sentence, whole.report.Problems[i].Sentence);
    EXPECT_EQ(report.Layout.size(), whole.report.Layout.size());
    TTiffFile pagesOnly({}, TReadScope::Pages);
    pagesOnly.OpenBuffer("pages.tif", bytes);
    EXPECT_THROW(checkFile(pagesOnly, source), EVelquinError);
}

TEST(CheckerSoundFiles, BundledSampleAndGeneratedTreeHaveNoErrorOrWarning)
{
    std::vector<std::string> files{std::string(VELQUIN_SOURCE_DIR) + "/samples/sample.tif"};
    const TempDir dir;
    const std::string generator = std::string(VELQUIN_SOURCE_DIR) + "/../shared/bench/gen_tree.py";
    if (std::filesystem::exists(generator) &&
        std::system(
            ("python3 '" + generator + "' --files 150 --seed 3 '" + dir.Path().string() + "' >/dev/null").c_str()) == 0)
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path()))
            if (entry.is_regular_file() && entry.path().extension() == ".tif")
                files.push_back(entry.path().string());
    std::size_t checked = 0;
    for (const std::string& path : files) {
        TValueSource source(path);
        TTiffFile file;
        try {
            file.OpenSource(path, source);
        } catch (const EVelquinError&) {
            continue; // the generator's decoys named *.tif
        }
        const TCheckReport report = checkFile(file, source);
        EXPECT_EQ(report.count(TSeverity::Error) + report.count(TSeverity::Warning), 0u)
            << path << ": " << (report.Problems.empty() ? "" : report.Problems.front().Sentence);
        ++checked;
    }
    EXPECT_GE(checked, 1u);
}

TEST(CheckerCorpus, EveryFileIsCheckedWithinItsBounds)
{
    const std::filesystem::path root(VELQUIN_CORPUS_DIR);
    if (!std::filesystem::is_directory(root))
        GTEST_SKIP() << "no corpus at " << root;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        TValueSource source(entry.path().string());
        TTiffFile file;
        try {
            file.OpenSource(entry.path().string(), source);
        } catch (const EVelquinError&) {
            continue;
        }
        const TCheckReport report = checkFile(file, source);
        std::array<std::size_t, ProblemKindCount> listed{};
        for (const TProblem& p : report.Problems) {
            ASSERT_LT(p.Directory, static_cast<int>(file.Directories.size())) << entry.path();
            ++listed[static_cast<std::size_t>(p.Kind)];
        }
        std::uint64_t end = 0;
        for (const TPart& part : report.Layout) {
            ASSERT_LT(part.Range.Start, part.Range.End) << entry.path();
            ASSERT_LE(part.Range.End, source.Size()) << entry.path();
            if (part.Kind == TPartKind::Gap) // a gap begins where every part before it has ended
                ASSERT_GE(part.Range.Start, end) << entry.path();
            end = std::max(end, part.Range.End);
        }
        for (std::size_t k = 0; k < ProblemKindCount; ++k)
            ASSERT_EQ(listed[k], std::min<std::uint64_t>(report.Found[k], ProblemListLimit)) << entry.path();
    }
}

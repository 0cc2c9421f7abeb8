// The batch export read back as CSV: hostile names and values stay inside
// their fields, one record per page, and every Path cell leads to its file.
#include "batch/batchrun.h"
#include "batch/results.h"
#include "batch/searchlist.h"
#include "support/tempdir.h"
#include "support/tiffbuilder.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using Record = std::vector<std::string>;

/// A strict RFC 4180 reader: records end with CR LF outside quotes, a quoted
/// field doubles its '"'. Anything else after a closing quote is a failure.
std::vector<Record> readCsv(std::string_view text, char separator)
{
    std::vector<Record> records;
    Record record;
    std::size_t i = 0;
    while (i < text.size()) {
        std::string field;
        if (text[i] == '"') {
            for (++i;; ++i) {
                if (i >= text.size()) {
                    ADD_FAILURE() << "unclosed quote";
                    return records;
                }
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field.push_back('"');
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                field.push_back(text[i]);
            }
        } else {
            while (i < text.size() && text[i] != separator && text[i] != '\r' && text[i] != '"')
                field.push_back(text[i++]);
        }
        record.push_back(std::move(field));
        if (i < text.size() && text[i] == separator) {
            ++i;
        } else if (text.substr(i, 2) == "\r\n") {
            i += 2;
            records.push_back(std::move(record));
            record.clear();
        } else {
            ADD_FAILURE() << "stray byte after a field at " << i;
            return records;
        }
    }
    if (!record.empty())
        ADD_FAILURE() << "last record not ended";
    return records;
}

TestEntry ascii(TiffBuilder& b, std::uint16_t tag, std::string_view text)
{
    const std::string z = std::string(text) + '\0';
    const auto count = static_cast<std::uint32_t>(z.size());
    return count <= 4 ? TestEntry::Inline(tag, tAscii, count, z) : TestEntry::At(tag, tAscii, count, b.Data(z));
}

std::vector<std::uint8_t> describedTiff(std::string_view description, std::string_view software, int pages = 1)
{
    TiffBuilder b;
    for (int p = 0; p < pages; ++p)
        b.Page({ascii(b, 270, description), ascii(b, 305, software)});
    return b.Build();
}

struct CollectingHost : TBatchHost {
    std::string bytes;
    std::string Separator() override { return ","; }
    void ClearResults() override { bytes.clear(); }
    void AppendResultLine(const std::string& line) override { AppendSavedLine(bytes, line); }
    void ShowCounters(std::int64_t, std::int64_t) override {}
    void ShowStatus(const std::string&) override {}
    void ShowFile(const std::string&) override {}
    void ShowRefusal(const std::string&) override {}
    void ShowReaderMessage(const std::string&, const std::string&) override {}
};

} // namespace

TEST(BatchCsv, HostileNamesAndValuesReadBackOneRecordPerPage)
{
    const std::string ome = R"(<?xml version="1.0" encoding="UTF-8"?>)"
                            "\n"
                            R"(<OME xmlns="http://www.openmicroscopy.org/Schemas/OME/2016-06" Creator="x, y">)"
                            R"(<Image ID="Image:0" Name="a;b"><Pixels SizeX="2"/></Image></OME>)";
    const std::string forging = "\"\r\n\"/etc/passwd\",\"passwd\",\"1\",\"666";
    struct File {
        std::string name, description, software;
        int pages = 1;
    };
    const std::vector<File> files = {
        {"ome.ome.tif", ome, "bioformats", 2},
        {"forge.tif", forging, "sw"},
        {"quo\"te.tif", "say \"hi\"\nthen\rgo", "a\r\nb"},
        {"x\",\"y.tif", "", "\""},
        {"caf\xE9.tif", "e acute", ""},
        {"caf\xE8.tif", "e grave", ""},
        {"line\nbreak.tif", "lf", ""},
        {"line\r\nbreak.tif", "cr lf", ""},
        {"para\xE2\x80\xA9graph \xEF\xB7\x90.tif", "marks", ""},
    };
    TempDir dir;
    for (const File& f : files)
        dir.Write("tree/" + f.name, describedTiff(f.description, f.software, f.pages));
    const std::string root = (dir.Path() / "tree").string();

    TTagSearchList list;
    list.Clear();
    list.Add("270", "Desc \"quoted\"");
    list.Add("305", "Soft");
    CollectingHost host;
    TBatchRun run(list, host);
    TBatchOptions options;
    options.StartDir = root;
    ASSERT_EQ(run.Run(options), TBatchOutcome::Finished);

    const std::vector<Record> records = readCsv(host.bytes, ',');
    ASSERT_EQ(records.size(), 1 + files.size() + 1); // the header, and two pages of one file
    EXPECT_EQ(records[0], (Record{"Path", "Filename", "Page", "Desc \"quoted\"", "Soft"}));

    // Values: each break as CR LF, everything else as it stands.
    const auto crLf = [](std::string_view v) {
        std::string out;
        appendValueField(out, v);
        return readCsv(out + "\r\n", ',').at(0).at(0);
    };
    EXPECT_EQ(crLf("a\nb\rc\r\nd"), "a\r\nb\r\nc\r\nd");

    std::set<std::string> paths, names;
    for (std::size_t r = 1; r < records.size(); ++r) {
        const Record& rec = records[r];
        ASSERT_EQ(rec.size(), 5u) << "record " << r;
        const auto f = std::find_if(files.begin(), files.end(), [&](const File& x) { return x.name == rec[1]; });
        ASSERT_NE(f, files.end()) << rec[1];
        EXPECT_EQ(rec[0], root + "/" + f->name);
        EXPECT_EQ(rec[3], crLf(f->description));
        EXPECT_EQ(rec[4], crLf(f->software));
        paths.insert(rec[0] + "#" + rec[2]);
        names.insert(rec[1]);
    }
    EXPECT_EQ(paths.size(), records.size() - 1); // no two files share a cell
    EXPECT_EQ(names.size(), files.size());
}

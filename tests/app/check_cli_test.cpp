// velquin --check: one TAB line per finding or one JSON object per file, the
// batch walk's choice of files, and the exit status ingest scripts rely on.
#include "check/checkfile.h"
#include "support/clirun.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sstream>

namespace {

std::vector<std::uint8_t> sound()
{
    TiffBuilder b;
    return onePage(b, Page(b));
}

/// A warning only: ImageLength before ImageWidth, whose entry lies at at.
std::vector<std::uint8_t> unordered(std::uint32_t& at)
{
    TiffBuilder b;
    Page p(b);
    std::swap(p.entries[0], p.entries[1]);
    auto bytes = onePage(b, p);
    at = b.EntryOffset(0, 1);
    return bytes;
}

/// An error: the strip lies past the end of the file.
std::vector<std::uint8_t> broken()
{
    TiffBuilder b(true);
    return onePage(b, Page(b).set(TestEntry::Long(273, 100000)));
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

} // namespace

TEST(CheckCli, OneLinePerFindingAndTheWorstFileDecidesTheStatus)
{
    const TempDir dir;
    const std::string good = dir.Write("a.tif", sound());
    std::uint32_t at = 0;
    const std::string warned = dir.Write("b.tif", unordered(at));
    dir.Write("sub/c.TIFF", sound());
    dir.Write(".hidden/d.tif", broken()); // left out, like the batch walk does
    dir.Write("notes.txt", broken());
    CliRun r = RunCli({"--check", dir.Path().string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, warned + "\t1\twarning\tentry-order\t" + std::to_string(at) +
                         "\tImageWidth follows ImageLength in page 1; TIFF asks for entries in ascending tag order\n");
    EXPECT_EQ(r.err, "");

    const std::string failed = dir.Write("sub/e.tif", broken());
    r = RunCli({"--check", good, dir.Path().string() + "/sub"});
    EXPECT_EQ(r.status, 1);
    const auto found = lines(r.out);
    ASSERT_EQ(found.size(), 1u) << r.out;
    EXPECT_TRUE(found[0].starts_with(failed + "\t1\terror\tdata-past-end\t")) << found[0];

    // A file that is not TIFF outweighs any finding, and is told on standard error.
    const std::string fake = dir.Write("sub/f.tif", std::string_view("not a TIFF file"));
    r = RunCli({"--check", dir.Path().string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(lines(r.out).size(), 2u);
    EXPECT_EQ(r.err, "velquin: not TIFF " + fake + ": Not a valid tiff file\n");
    r = RunCli({"--check", dir.Path().string() + "/missing.tif"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.starts_with("velquin: not read ")) << r.err;
    // --quiet only sets the status.
    r = RunCli({"--check", failed, "--quiet"});
    EXPECT_EQ(r.status, 1);
    r = RunCli({"--check", dir.Path().string(), "--quiet"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out + r.err, "");
}

TEST(CheckCli, JobsChangeNothingButTheSpeed)
{
    const TempDir dir;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "f" + std::to_string(i) + ".tif";
        if (i % 7 == 3)
            dir.Write("sub" + std::to_string(i % 3) + "/" + name, std::string_view("not a TIFF file"));
        else
            dir.Write("sub" + std::to_string(i % 3) + "/" + name, i % 2 ? broken() : sound());
    }
    const CliRun one = RunCli({"--check", dir.Path().string(), "--jobs", "1"});
    const CliRun many = RunCli({"--check", dir.Path().string(), "--jobs", "4"});
    EXPECT_EQ(one.status, 2);
    EXPECT_EQ(many.status, one.status);
    EXPECT_EQ(many.out, one.out);
    EXPECT_EQ(many.err, one.err);
    EXPECT_EQ(lines(one.out).size(), 17u);
    EXPECT_EQ(RunCli({"--check", dir.Path().string(), "--jobs", "0"}).status, 2);
}

TEST(CheckCli, JsonGivesAnObjectPerFile)
{
    const TempDir dir;
    const std::string failed = dir.Write("e.tif", broken());
    const std::string fake = dir.Write("f.tif", std::string_view("II*"));
    const CliRun r = RunCli({"--check", failed, fake, "--json"});
    EXPECT_EQ(r.status, 2);
    const auto objects = lines(r.out);
    ASSERT_EQ(objects.size(), 2u);
    const auto first = nlohmann::json::parse(objects[0]);
    EXPECT_EQ(first["file"], failed);
    EXPECT_EQ(first["status"], "checked");
    EXPECT_EQ(first["byteOrder"], "MM");
    EXPECT_EQ(first["errors"], 1);
    const auto& problem = first["problems"].at(0);
    EXPECT_EQ(problem["identifier"], "data-past-end");
    EXPECT_EQ(problem["severity"], "error");
    EXPECT_EQ(problem["directory"], "1");
    EXPECT_EQ(problem["offset"], 100000);
    EXPECT_EQ(problem["length"], 8);
    EXPECT_TRUE(problem["entry"].is_number());
    EXPECT_TRUE(first["unlisted"].empty());
    const auto second = nlohmann::json::parse(objects[1]);
    EXPECT_EQ(second["status"], "not-tiff");
    EXPECT_EQ(second["reason"], "Stream read error");
}

TEST(CheckCli, FindingsPastTheListAreCountedOnALineOfTheirOwn)
{
    TiffBuilder b;
    b.Page(std::vector<TestEntry>(1500, TestEntry::Short(50000, 1, 1, 0)));
    const TempDir dir;
    const std::string path = dir.Write("many\tentries.tif", b.Build());
    const CliRun r = RunCli({"--check", path});
    const auto found = lines(r.out);
    const std::string escaped = dir.Path().string() + "/many\\x09entries.tif";
    EXPECT_EQ(std::count_if(found.begin(), found.end(),
                            [](const std::string& l) { return l.find("\tunknown-type\t") != std::string::npos; }),
              1001);
    EXPECT_NE(std::find(found.begin(), found.end(),
                        escaped + "\t-\twarning\tunknown-type\t-\t500 more like this are not listed"),
              found.end());
}

TEST(CheckCli, CommandLinesItDoesNotUnderstand)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--check"}, {"--check", "a.tif", "--json", "--quiet"}, {"--check", "a.tif", "--jsn"}}) {
        const CliRun r = RunCli(args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_NE(r.err.find("Usage:"), std::string::npos) << r.err;
    }
}

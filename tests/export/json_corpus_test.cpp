// Every file of the shared corpus of real and damaged TIFFs through --json,
// and every directory of it through --directory with --values, without a
// crash, a hang or a document that does not parse (sanitizer builds run this
// too).
#include "support/clirun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

TEST(JsonCorpus, EveryFileAndEveryDirectory)
{
    const std::filesystem::path root(VELQUIN_CORPUS_DIR);
    if (!std::filesystem::is_directory(root))
        GTEST_SKIP() << "no corpus at " << root;
    std::size_t documents = 0, directories = 0, bigTiff = 0;
    for (const auto& file : std::filesystem::recursive_directory_iterator(root)) {
        if (!file.is_regular_file())
            continue;
        const std::string path = file.path().string();
        SCOPED_TRACE(path);
        const CliRun json = RunCli({"--dump", path, "--json"});
        if (json.status == 1) {
            EXPECT_EQ(json.out, ""); // not TIFF: no document at all
            continue;
        }
        ASSERT_EQ(json.status, 0) << json.err;
        const nlohmann::json doc = nlohmann::json::parse(json.out);
        ++documents;
        bigTiff += doc["bigTiff"].get<bool>();
        for (const nlohmann::json& d : doc["directories"]) {
            ++directories;
            EXPECT_EQ(d["entries"].size() > 0, d["entryCount"].is_number() && d["entryCount"] > 0) << d["id"];
            const CliRun rows = RunCli({"--dump", path, "--directory", d["id"], "--values"});
            EXPECT_LE(rows.status, 1) << rows.err;
            EXPECT_NE(rows.out.find("\t\t\t" + std::string(d["kind"] == "page" ? "Current Page" : "Directory")),
                      std::string::npos);
        }
    }
    EXPECT_GT(documents, 600u);
    EXPECT_GT(directories, documents);
    EXPECT_GT(bigTiff, 0u);
}

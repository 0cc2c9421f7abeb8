// The manual page and the usage text that --help prints name the same
// options, each one described under the command it belongs to.
#include "support/clirun.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

/// The options ("--dump", "-h") that a line names, in order.
std::vector<std::string> optionsIn(const std::string& line)
{
    static const std::regex option(R"((?:^|[\s\[|,("])(--?[a-z][a-z0-9-]*))");
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(line.begin(), line.end(), option); it != std::sregex_iterator(); ++it)
        found.push_back((*it)[1]);
    return found;
}

/// Option -> the command it belongs to. A line naming "velquin" starts a
/// command, named by its first option ("" for the window); the lines below it
/// continue that command.
std::map<std::string, std::string> usageOptions(const std::string& usage)
{
    std::map<std::string, std::string> result;
    std::istringstream in(usage);
    std::string command;
    for (std::string line; std::getline(in, line);) {
        const auto options = optionsIn(line);
        if (line.find("velquin") != std::string::npos)
            command = options.empty() ? "" : options.front();
        for (const std::string& o : options)
            result.emplace(o, command);
    }
    return result;
}

/// Roff source to plain text, as far as option names need: "\-" is "-", font changes go.
std::string plain(const std::string& roff)
{
    static const std::regex font(R"(\\f[BIRP])");
    std::string text = std::regex_replace(roff, font, "");
    for (std::size_t at = 0; (at = text.find("\\-", at)) != std::string::npos;)
        text.erase(at, 1);
    return text;
}

struct ManPage {
    std::set<std::string> commands;             ///< options in the headings of command sections
    std::map<std::string, std::string> options; ///< option item -> command of its section
};

/// Commands are .SS sections; their options are .TP items, named first on the item's tag line.
ManPage readManPage(const std::string& path)
{
    ManPage page;
    std::ifstream in(path);
    EXPECT_TRUE(in) << path;
    bool inSection = false;
    std::string command;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(".SH", 0) == 0) {
            inSection = false;
        } else if (line.rfind(".SS", 0) == 0) {
            const auto heading = optionsIn(plain(line.substr(3)));
            page.commands.insert(heading.begin(), heading.end());
            command = heading.empty() ? "" : heading.front();
            inSection = true;
        } else if (line.rfind(".TP", 0) == 0 && inSection && std::getline(in, line)) {
            const auto named = optionsIn(plain(line));
            if (!named.empty())
                page.options.emplace(named.front(), command);
        }
    }
    return page;
}

const std::string kManPage = std::string(VELQUIN_SOURCE_DIR) + "/packaging/velquin.1";

} // namespace

TEST(ManPage, DescribesEveryOptionOfTheUsageUnderItsCommand)
{
    const CliRun help = RunCli({"--help"});
    ASSERT_EQ(help.status, 0);
    const auto usage = usageOptions(help.out);
    ASSERT_EQ(usage.count("--dump"), 1u) << help.out;
    ASSERT_EQ(usage.count("--hex"), 1u) << help.out;
    EXPECT_EQ(usage.at("--hex"), "--dump");

    const ManPage page = readManPage(kManPage);
    for (const auto& [option, command] : usage) {
        if (page.commands.count(option))
            continue;
        const auto item = page.options.find(option);
        if (item == page.options.end()) {
            ADD_FAILURE() << option << " is in the usage text but not described in " << kManPage;
            continue;
        }
        EXPECT_EQ(item->second, command) << option << " is described under another command";
    }
}

TEST(ManPage, DescribesNoLongOptionTheUsageLacks)
{
    // The usage text names the long options only; short aliases such as -h
    // are for the manual page alone.
    const auto usage = usageOptions(RunCli({"--help"}).out);
    const ManPage page = readManPage(kManPage);
    ASSERT_FALSE(page.options.empty());
    std::set<std::string> described = page.commands;
    for (const auto& item : page.options)
        described.insert(item.first);
    for (const std::string& option : described) {
        if (option.rfind("--", 0) != 0)
            continue;
        EXPECT_EQ(usage.count(option), 1u) << option << " is described but velquin --help does not list it";
    }
}

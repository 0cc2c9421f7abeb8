#pragma once

#include "app/cli.h"

#include <sstream>
#include <string>
#include <vector>

/// One run of the command line, with what it wrote.
struct CliRun {
    int status;
    std::string out, err;
};

inline CliRun RunCli(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    const int status = RunCommandLine(args, out, err);
    return {status, out.str(), err.str()};
}

/// The lines of a command's output, without their line ends.
inline std::vector<std::string> OutputLines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

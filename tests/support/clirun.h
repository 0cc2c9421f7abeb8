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

#include "app/cli.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!IsCommandLineMode(args) && !args.empty())
        args.insert(args.begin(), "--dump"); // until the window exists, a file is dumped
    return RunCommandLine(args, std::cout, std::cerr);
}

// The command line. The window lives in the sibling executable velquin-gui,
// started in this process's place, so --dump and --batch start without
// loading Qt: on a tree of small files that start-up would cost as much as
// the reading.
#include "app/cli.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string siblingPath(const char* name)
{
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return name;
    std::string path(self, static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    return path.substr(0, slash + 1) + name;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (IsCommandLineMode(args)) {
        std::ios::sync_with_stdio(false);
        return RunCommandLine(args, std::cout, std::cerr);
    }
    // Without a display the window's toolkit aborts; say why instead.
    const auto isSet = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY") && !isSet("QT_QPA_PLATFORM")) {
        std::cerr << "velquin: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n"
                     "velquin --help lists the command-line uses.\n";
        return 1;
    }
    const std::string gui = siblingPath("velquin-gui");
    ::execv(gui.c_str(), argv);
    std::cerr << "velquin: cannot start the window (" << gui << "): " << std::strerror(errno)
              << "\nvelquin --help lists the command-line uses.\n";
    return 1;
}

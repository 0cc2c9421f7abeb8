#include "shell/shellexecute.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

std::string lowerAscii(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

/// Windows passes a path with blanks as one argument by quoting it; here an
/// argument list keeps it whole, so one pair of enclosing quotes is dropped.
std::string unquote(std::string_view file)
{
    if (file.size() >= 2 && file.front() == '"' && file.back() == '"')
        file = file.substr(1, file.size() - 2);
    return std::string(file);
}

bool isExecutableFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

/// "https:", "mailto:" and the like: a scheme of two or more characters.
bool looksLikeAddress(std::string_view text)
{
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon < 2 || !std::isalpha(static_cast<unsigned char>(text[0])))
        return false;
    return std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

TLaunchPlan fails(int code)
{
    return {std::nullopt, code};
}

/// The calculators of Linux refuse arguments they do not know (a file name
/// makes most of them exit at once), while the Windows calculator ignores its
/// command line; so the parameters of "calc.EXE" stop here.
TLaunchPlan planCalculator(const TShellRequest& request, const TDesktopShellConfig& config)
{
    for (const std::string& name : config.Calculators) {
        std::string path = FindProgram(name, config.SearchPath);
        if (!path.empty())
            return {TLaunchCommand{{std::move(path)}, request.Directory, false}, ShellExecuteSucceeded};
    }
    return fails(2);
}

TLaunchPlan planOpen(const std::string& target, const TShellRequest& request, const TDesktopShellConfig& config)
{
    const std::string opener = FindProgram(config.Opener, config.SearchPath);
    if (opener.empty())
        return fails(31); // no opener, no associations at all
    return {TLaunchCommand{{opener, target}, request.Directory, true}, ShellExecuteSucceeded};
}

int codeForOpenerStatus(int status)
{
    if (WIFEXITED(status)) {
        switch (WEXITSTATUS(status)) {
        case 0:
            return ShellExecuteSucceeded;
        case 2: // "one of the files passed on the command line did not exist"
            return 2;
        default: // no tool for the type, or the tool failed to open it
            return 31;
        }
    }
    return 31;
}

/// Spawn attributes and file actions, released however the start ends.
class TSpawnSetup {
public:
    explicit TSpawnSetup(const std::string& directory)
    {
        posix_spawn_file_actions_init(&Actions);
        posix_spawnattr_init(&Attributes);
        // A launched program takes no input from us, keeps none of our signal
        // settings, and lives in a session of its own, so that an interrupt
        // meant for us in a terminal leaves it running.
        posix_spawn_file_actions_addopen(&Actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (!directory.empty())
            posix_spawn_file_actions_addchdir_np(&Actions, directory.c_str());
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&Attributes, &none);
        sigset_t all;
        sigfillset(&all);
        posix_spawnattr_setsigdefault(&Attributes, &all);
        short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_SETSID
        flags |= POSIX_SPAWN_SETSID;
#endif
        posix_spawnattr_setflags(&Attributes, flags);
    }
    ~TSpawnSetup()
    {
        posix_spawnattr_destroy(&Attributes);
        posix_spawn_file_actions_destroy(&Actions);
    }
    TSpawnSetup(const TSpawnSetup&) = delete;
    TSpawnSetup& operator=(const TSpawnSetup&) = delete;

    posix_spawn_file_actions_t Actions;
    posix_spawnattr_t Attributes;
};

} // namespace

TDesktopShellConfig TDesktopShellConfig::FromEnvironment()
{
    TDesktopShellConfig config;
    const char* path = std::getenv("PATH");
    config.SearchPath = path ? path : "/usr/local/bin:/usr/bin:/bin";
    return config;
}

std::string FindProgram(std::string_view name, std::string_view searchPath)
{
    if (name.empty())
        return {};
    if (name.find('/') != std::string_view::npos) {
        std::error_code error;
        const std::string path = std::filesystem::absolute(std::string(name), error).string();
        return !error && isExecutableFile(path) ? path : std::string();
    }
    while (!searchPath.empty()) {
        const auto colon = searchPath.find(':');
        const std::string_view folder = searchPath.substr(0, colon);
        searchPath = colon == std::string_view::npos ? std::string_view() : searchPath.substr(colon + 1);
        // An empty entry would mean the current folder: never look there.
        if (folder.empty())
            continue;
        std::string candidate = std::string(folder) + "/" + std::string(name);
        if (isExecutableFile(candidate))
            return candidate;
    }
    return {};
}

int ShellCodeForErrno(int error)
{
    switch (error) {
    case ENOENT:
        return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return 3;
    case EACCES:
    case EPERM:
        return 5;
    case ENOMEM:
    case E2BIG:
        return 8;
    case ENOEXEC:
        return 11;
    case ETXTBSY:
        return 26;
    case ELIBACC:
    case ELIBBAD:
        return 32;
    default: // out of processes, descriptors or anything else the system ran short of
        return 0;
    }
}

TLaunchPlan PlanShellExecute(const TShellRequest& request, const TDesktopShellConfig& config)
{
    const std::string verb = lowerAscii(request.Verb);
    if (!verb.empty() && verb != "open")
        return fails(31); // no program is registered for any other verb
    const std::string file = unquote(request.File);
    if (file.empty())
        return fails(2);
    if (!request.Directory.empty()) {
        struct stat st {};
        if (::stat(request.Directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return fails(3);
    }

    if (lowerAscii(file) == "calc.exe")
        return planCalculator(request, config);

    std::filesystem::path path(file);
    if (path.is_relative() && !request.Directory.empty())
        path = std::filesystem::path(request.Directory) / path;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    struct stat st {};
    if (!error && ::stat(absolute.c_str(), &st) == 0) {
        if (::access(absolute.c_str(), R_OK) != 0)
            return fails(ShellCodeForErrno(errno));
        // An absolute path never starts with "-", so the opener cannot take it for an option.
        return planOpen(absolute.string(), request, config);
    }
    const int statError = error ? ENOENT : errno;
    if (looksLikeAddress(file))
        return planOpen(file, request, config);
    return fails(ShellCodeForErrno(statError));
}

int RunLaunchCommand(const TLaunchCommand& command, std::chrono::milliseconds wait, std::vector<pid_t>& children)
{
    if (command.Argv.empty() || command.Argv.front().empty())
        return 2;
    std::vector<char*> argv;
    for (const std::string& argument : command.Argv)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    int started = 0;
    {
        TSpawnSetup setup(command.Directory);
        started = posix_spawn(&pid, argv.front(), &setup.Actions, &setup.Attributes, argv.data(), environ);
    }
    if (started != 0)
        return ShellCodeForErrno(started);
    if (!command.WaitForOutcome) {
        children.push_back(pid);
        return ShellExecuteSucceeded;
    }

    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        int status = 0;
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid)
            return codeForOpenerStatus(status);
        if (ended < 0 && errno != EINTR)
            return ShellExecuteSucceeded; // collected elsewhere; it did start
        if (std::chrono::steady_clock::now() >= deadline) {
            children.push_back(pid); // the opener runs the program itself
            return ShellExecuteSucceeded;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void ReapChildren(std::vector<pid_t>& children)
{
    std::erase_if(children, [](pid_t pid) {
        int status = 0;
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        return ended == pid || (ended < 0 && errno == ECHILD);
    });
}

TDesktopShell::~TDesktopShell()
{
    ReapChildren(m_children);
}

int TDesktopShell::ShellExecute(const TShellRequest& request)
{
    ReapChildren(m_children);
    const TLaunchPlan plan = PlanShellExecute(request, m_config);
    if (!plan.Command)
        return plan.Code;
    return RunLaunchCommand(*plan.Command, m_config.OpenerWait, m_children);
}

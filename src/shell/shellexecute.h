#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// Starting things "through the shell": a document with the program the
// desktop associates with it, a web or mail address with the desktop's
// browser or mail program, or a program by name. Requests and results keep the
// Windows shell's shape (verb "open", a result above 32 for success, 32 or
// less for a failure code that RaiseLaunchError explains); on Linux the
// desktop's opener (xdg-open) stands in for the associations.

/// Show commands a request may carry; the window manager has the last word.
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWDEFAULT = 10;

/// What a successful start returns (any value above 32 means success).
inline constexpr int ShellExecuteSucceeded = 42;

/// Whose window a launch is started from; only the Windows shell uses it.
enum class TLaunchOwner { None, Application, MainWindow };

struct TShellRequest {
    TLaunchOwner Owner = TLaunchOwner::None;
    std::string Verb;
    /// A document path (possibly between double quotes, the Windows way of
    /// keeping blanks inside one argument), an address, or a program.
    std::string File;
    std::string Parameters;
    std::string Directory;
    int ShowCommand = SW_SHOWNORMAL;
    bool operator==(const TShellRequest&) const = default;
};

/// The shell the launches go through; tests put a recorder in its place.
class TShell {
public:
    virtual ~TShell() = default;
    /// Starts what the request names; above 32 on success, else a failure code.
    virtual int ShellExecute(const TShellRequest& request) = 0;
};

/// A program run by argument list: never through a command interpreter, so
/// blanks and quotes reach the program as they are.
struct TLaunchCommand {
    std::vector<std::string> Argv; ///< Argv[0]: the program's full path
    std::string Directory;         ///< empty: ours
    /// The opener's exit status tells whether the document could be opened.
    bool WaitForOutcome = false;
    bool operator==(const TLaunchCommand&) const = default;
};

/// Either the command that carries out a request, or the failure code that
/// stops it before anything runs.
struct TLaunchPlan {
    std::optional<TLaunchCommand> Command;
    int Code = ShellExecuteSucceeded;
};

struct TDesktopShellConfig {
    /// The colon-separated folders where programs are looked up ($PATH).
    std::string SearchPath;
    /// Opens a document or address with the desktop's associated program.
    std::string Opener = "xdg-open";
    /// Stand-ins for "calc.EXE", the first one found is started.
    std::vector<std::string> Calculators{"gnome-calculator", "kcalc",     "galculator",
                                         "qalculate-gtk",    "mate-calc", "xcalc"};
    /// How long to wait for the opener's verdict. Some openers hand over and
    /// exit at once; others run the program themselves and are left running.
    std::chrono::milliseconds OpenerWait{1500};

    /// The defaults with SearchPath taken from the environment.
    static TDesktopShellConfig FromEnvironment();
};

/// The full path of an executable program: a name with a slash is taken as
/// it stands, any other is looked up in searchPath. Empty when none is found.
std::string FindProgram(std::string_view name, std::string_view searchPath);

/// How the desktop shell would carry out a request; looks at the file system
/// but starts nothing.
TLaunchPlan PlanShellExecute(const TShellRequest& request, const TDesktopShellConfig& config);

/// Maps an errno from starting a program, or from looking at its file, to
/// the shell's result code.
int ShellCodeForErrno(int error);

/// Starts the command; returns ShellExecuteSucceeded or a failure code. A
/// child still running when this returns is added to children, for
/// ReapChildren to collect once it ends.
int RunLaunchCommand(const TLaunchCommand& command, std::chrono::milliseconds wait, std::vector<pid_t>& children);
/// Collects the children that have ended, without waiting for the others.
void ReapChildren(std::vector<pid_t>& children);

/// The Linux desktop behind TShell.
class TDesktopShell : public TShell {
public:
    explicit TDesktopShell(TDesktopShellConfig config = TDesktopShellConfig::FromEnvironment())
        : m_config(std::move(config))
    {
    }
    ~TDesktopShell() override;
    TDesktopShell(const TDesktopShell&) = delete;
    TDesktopShell& operator=(const TDesktopShell&) = delete;

    int ShellExecute(const TShellRequest& request) override;

private:
    TDesktopShellConfig m_config;
    std::vector<pid_t> m_children;
};

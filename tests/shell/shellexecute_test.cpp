// The Linux shell: how requests become argument lists, and real starts of
// small programs and stand-in openers written into a temporary folder.
#include "shell/launches.h"
#include "shell/shellexecute.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string writeProgram(const TempDir& dir, const std::string& relative, std::string_view text)
{
    const std::string path = dir.Write(relative, text);
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    return path;
}

std::string readText(const fs::path& path)
{
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// A folder "bin" with a stand-in opener that writes each argument on a line
/// of its own into "args" beside itself and exits with the given status.
struct TDesktop {
    explicit TDesktop(int openerStatus = 0)
    {
        Opener = writeProgram(Dir, "bin/xdg-open",
                              "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args\"\nexit " +
                                  std::to_string(openerStatus) + "\n");
        Config.SearchPath = (Dir.Path() / "bin").string();
        Config.OpenerWait = 5s;
    }
    std::string args() const { return readText(Dir.Path() / "bin/args"); }

    TempDir Dir;
    std::string Opener;
    TDesktopShellConfig Config;
};

TLaunchCommand program(std::string path)
{
    return {{std::move(path)}, "", false};
}

TShellRequest open(std::string file, std::string directory = "")
{
    return {TLaunchOwner::None, "open", std::move(file), "", std::move(directory), SW_SHOWNORMAL};
}

} // namespace

TEST(FindProgram, LooksOnlyAtExecutableFilesInTheSearchPath)
{
    TempDir dir;
    const std::string tool = writeProgram(dir, "b/tool", "#!/bin/sh\n");
    dir.Write("a/tool", "not executable");
    fs::create_directories(dir.Path() / "c/tool"); // a folder is no program
    const std::string a = (dir.Path() / "a").string(), b = (dir.Path() / "b").string(), c = (dir.Path() / "c").string();

    EXPECT_EQ(FindProgram("tool", a + ":" + c + ":" + b), tool);
    EXPECT_EQ(FindProgram("tool", a + ":" + c), "");
    EXPECT_EQ(FindProgram("tool", ""), "");
    EXPECT_EQ(FindProgram(tool, ""), tool); // a path is taken as it stands
    EXPECT_EQ(FindProgram("", b), "");

    // An empty entry (the current folder) is never searched.
    const fs::path here = fs::current_path();
    fs::current_path(dir.Path() / "b");
    EXPECT_EQ(FindProgram("tool", ":" + a), "");
    fs::current_path(here);
}

TEST(PlanShellExecute, DocumentsAndAddressesGoToTheOpener)
{
    TDesktop desktop;
    const std::string scan = desktop.Dir.Write("My Scans/page 1.tif", "II*");

    // The quotes keep the path whole on Windows; here it is one argument.
    TLaunchPlan plan = PlanShellExecute(open("\"" + scan + "\""), desktop.Config);
    ASSERT_TRUE(plan.Command);
    EXPECT_EQ(*plan.Command, (TLaunchCommand{{desktop.Opener, scan}, "", true}));

    plan = PlanShellExecute(open(SupportMailAddress()), desktop.Config);
    ASSERT_TRUE(plan.Command);
    EXPECT_EQ(plan.Command->Argv, (std::vector<std::string>{desktop.Opener, SupportMailAddress()}));
    plan = PlanShellExecute(open("https://www.velquin.example.com/"), desktop.Config);
    ASSERT_TRUE(plan.Command);
    EXPECT_EQ(plan.Command->Argv[1], "https://www.velquin.example.com/");

    // A relative name is made absolute, in the request's folder when it has one.
    plan = PlanShellExecute(open("page 1.tif", (desktop.Dir.Path() / "My Scans").string()), desktop.Config);
    ASSERT_TRUE(plan.Command);
    EXPECT_EQ(plan.Command->Argv[1], scan);
    EXPECT_EQ(plan.Command->Directory, (desktop.Dir.Path() / "My Scans").string());
    const fs::path here = fs::current_path();
    fs::current_path(desktop.Dir.Path());
    desktop.Dir.Write("-h.tif", "II*");
    plan = PlanShellExecute(open("-h.tif"), desktop.Config);
    fs::current_path(here);
    ASSERT_TRUE(plan.Command);
    EXPECT_EQ(plan.Command->Argv[1], (desktop.Dir.Path() / "-h.tif").string()); // never an option
}

TEST(PlanShellExecute, FailuresBeforeAnythingStarts)
{
    TDesktop desktop;
    const std::string scan = desktop.Dir.Write("scan.tif", "II*");

    EXPECT_EQ(PlanShellExecute(open("\"" + scan + ".moved\""), desktop.Config).Code, 2);
    EXPECT_EQ(PlanShellExecute(open(scan + "/inside.tif"), desktop.Config).Code, 3);
    EXPECT_EQ(PlanShellExecute(open(""), desktop.Config).Code, 2);
    EXPECT_EQ(PlanShellExecute(open("\"\""), desktop.Config).Code, 2);
    EXPECT_EQ(PlanShellExecute(open(scan, scan + ".nofolder"), desktop.Config).Code, 3);

    TShellRequest print = open(scan);
    print.Verb = "print";
    EXPECT_EQ(PlanShellExecute(print, desktop.Config).Code, 31);

    TDesktopShellConfig noOpener = desktop.Config;
    noOpener.Opener = "velquin-no-such-opener";
    const TLaunchPlan plan = PlanShellExecute(open(scan), noOpener);
    EXPECT_FALSE(plan.Command);
    EXPECT_EQ(plan.Code, 31);
}

TEST(PlanShellExecute, CalculatorIsTheFirstOneFound)
{
    TDesktop desktop;
    desktop.Config.Calculators = {"gnome-calculator", "kcalc", "xcalc"};
    const std::string kcalc = writeProgram(desktop.Dir, "bin/kcalc", "#!/bin/sh\n");
    writeProgram(desktop.Dir, "bin/xcalc", "#!/bin/sh\n");

    TShellRequest calc{TLaunchOwner::None, "open", "calc.EXE", "/home/ann/scan.tif", "", SW_SHOWDEFAULT};
    TLaunchPlan plan = PlanShellExecute(calc, desktop.Config);
    ASSERT_TRUE(plan.Command);
    // The Linux calculators take no file: the parameter is not passed on.
    EXPECT_EQ(*plan.Command, (TLaunchCommand{{kcalc}, "", false}));

    calc.File = "CALC.exe";
    EXPECT_TRUE(PlanShellExecute(calc, desktop.Config).Command);

    desktop.Config.Calculators = {"gnome-calculator", "mate-calc"};
    plan = PlanShellExecute(calc, desktop.Config);
    EXPECT_FALSE(plan.Command);
    EXPECT_EQ(plan.Code, 2);
}

TEST(DesktopShell, OpenerReceivesThePathWhole)
{
    TDesktop desktop;
    const std::string scan = desktop.Dir.Write("My Scans/page \"1\".tif", "II*");
    TDesktopShell shell(desktop.Config);
    LaunchViewer(shell, scan); // throws on failure
    EXPECT_EQ(desktop.args(), scan + "\n");

    EmailSupport(shell);
    EXPECT_EQ(desktop.args(), SupportMailAddress() + "\n");
}

TEST(DesktopShell, OpenerStatusBecomesTheResult)
{
    for (const auto& [status, code] : {std::pair{2, 2}, {3, 31}, {4, 31}}) {
        TDesktop desktop(status);
        const std::string scan = desktop.Dir.Write("scan.tif", "II*");
        TDesktopShell shell(desktop.Config);
        EXPECT_EQ(shell.ShellExecute(open("\"" + scan + "\"")), code) << status;
    }
}

TEST(DesktopShell, RealProgramStarts)
{
    TDesktopShellConfig config = TDesktopShellConfig::FromEnvironment();
    config.SearchPath = "/usr/bin:/bin";
    config.Calculators = {"velquin-no-such-calculator", "true"};
    TDesktopShell shell(config);
    EXPECT_GT(shell.ShellExecute({TLaunchOwner::None, "open", "calc.EXE", "", "", SW_SHOWDEFAULT}), 32);
    EXPECT_NO_THROW(LaunchCalculator(shell, "/home/ann/scan.tif"));

    config.Calculators = {"velquin-no-such-calculator"};
    TDesktopShell none(config);
    EXPECT_EQ(none.ShellExecute({TLaunchOwner::None, "open", "calc.EXE", "", "", SW_SHOWDEFAULT}), 2);
}

TEST(RunLaunchCommand, StartFailuresMapToShellCodes)
{
    TempDir dir;
    std::vector<pid_t> children;
    EXPECT_EQ(RunLaunchCommand(program((dir.Path() / "missing").string()), 0ms, children), 2);
    EXPECT_EQ(RunLaunchCommand(program(dir.Write("plain", "#!/bin/sh\n")), 0ms, children), 5); // no execute bit
    EXPECT_EQ(RunLaunchCommand(program(writeProgram(dir, "junk", "neither a script nor a program")), 0ms, children),
              11);
    EXPECT_EQ(RunLaunchCommand({}, 0ms, children), 2);

    // A program still being written cannot be started.
    const std::string busy = writeProgram(dir, "busy", "#!/bin/sh\n");
    {
        std::ofstream writing(busy, std::ios::app);
        EXPECT_EQ(RunLaunchCommand(program(busy), 0ms, children), 26);
    }
    EXPECT_TRUE(children.empty());
}

TEST(RunLaunchCommand, RunsInTheRequestedFolder)
{
    TempDir dir;
    const std::string where = writeProgram(dir, "where", "#!/bin/sh\npwd > \"$1\"\n");
    fs::create_directories(dir.Path() / "work dir");
    const std::string out = (dir.Path() / "out").string();
    std::vector<pid_t> children;
    EXPECT_EQ(RunLaunchCommand({{where, out}, (dir.Path() / "work dir").string(), true}, 5s, children),
              ShellExecuteSucceeded);
    EXPECT_EQ(readText(out), (dir.Path() / "work dir").string() + "\n");
    EXPECT_TRUE(children.empty());
}

TEST(RunLaunchCommand, ProgramsLeftRunningAreCollectedLater)
{
    std::vector<pid_t> children;
    // An opener that does not return in time has started its program.
    EXPECT_EQ(RunLaunchCommand({{"/bin/sleep", "30"}, "", true}, 50ms, children), ShellExecuteSucceeded);
    ASSERT_EQ(children.size(), 1u);
    ReapChildren(children);
    EXPECT_EQ(children.size(), 1u); // still running

    ::kill(children[0], SIGTERM);
    for (int i = 0; i < 500 && !children.empty(); ++i) {
        std::this_thread::sleep_for(10ms);
        ReapChildren(children);
    }
    EXPECT_TRUE(children.empty());
}

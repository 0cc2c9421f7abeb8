#include "shell/launches.h"

#include "shell/launcherror.h"

namespace {

void reportFailure(int code)
{
    if (code <= 32)
        RaiseLaunchError(code);
}

} // namespace

std::string SupportMailAddress()
{
    std::string address = "mailto:";
    address += SupportMailbox;
    address += "?subject= Velquin reader Ver ";
    address += SupportVersionText;
    address += "&Body=";
    return address;
}

void LaunchViewer(TShell& shell, std::string_view path)
{
    const std::string quoted = "\"" + std::string(path) + "\"";
    reportFailure(shell.ShellExecute({TLaunchOwner::None, "open", quoted, "", "", SW_SHOWNORMAL}));
}

void LaunchCalculator(TShell& shell, std::string_view lastOpenName)
{
    reportFailure(
        shell.ShellExecute({TLaunchOwner::None, "open", "calc.EXE", std::string(lastOpenName), "", SW_SHOWDEFAULT}));
}

void StartHomepage(TShell& shell)
{
    shell.ShellExecute({TLaunchOwner::Application, "open", std::string(HomePageAddress), "", "", SW_SHOWNORMAL});
}

void EmailSupport(TShell& shell)
{
    shell.ShellExecute({TLaunchOwner::MainWindow, "open", SupportMailAddress(), "", "", SW_SHOWNORMAL});
}

#include "shell/launches.h"

#include "shell/launcherror.h"

namespace {

void reportFailure(int code)
{
    if (code <= 32)
        RaiseLaunchError(code);
}

std::string withReason(std::string text, int code)
{
    if (const auto reason = LaunchErrorText(code))
        text += "\n" + std::string(*reason);
    return text;
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

int StartHomepage(TShell& shell)
{
    return shell.ShellExecute({TLaunchOwner::Application, "open", std::string(HomePageAddress), "", "", SW_SHOWNORMAL});
}

int EmailSupport(TShell& shell)
{
    return shell.ShellExecute({TLaunchOwner::MainWindow, "open", SupportMailAddress(), "", "", SW_SHOWNORMAL});
}

std::string HomepageNotOpenedText(int code)
{
    return withReason("The web page could not be opened. Its address is " + std::string(HomePageAddress), code);
}

std::string SupportMailNotOpenedText(int code)
{
    return withReason("No mail program could be started. Please write to " + std::string(SupportMailbox), code);
}

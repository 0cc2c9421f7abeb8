// The four launches as requests to a recording shell, and the launch error table.
#include "shell/launcherror.h"
#include "shell/launches.h"

#include "support/recordingshell.h"

#include <gtest/gtest.h>

namespace {


std::string raisedText(int code)
{
    try {
        RaiseLaunchError(code);
    } catch (const ELaunchError& e) {
        EXPECT_EQ(e.Code, code);
        return e.what();
    }
    return "(nothing raised)";
}

} // namespace

TEST(LaunchError, CodesWithMessages)
{
    EXPECT_EQ(raisedText(0), "The operating system is out of memory or resources.");
    EXPECT_EQ(raisedText(2), "The viewer or file to launch was not found.");
    EXPECT_EQ(raisedText(3), "The specified path was not found.");
    EXPECT_EQ(raisedText(5), "The operating system denied access to the specified file.");
    EXPECT_EQ(raisedText(8), "There was not enough memory to complete the operation.");
    EXPECT_EQ(raisedText(11), "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image).");
    EXPECT_EQ(raisedText(26), "A sharing violation occurred.");
    EXPECT_EQ(raisedText(27), "The filename association is incomplete or invalid.");
    EXPECT_EQ(raisedText(28), "The DDE transaction could not be completed because the request timed out.");
    EXPECT_EQ(raisedText(29), "The DDE transaction failed.");
    EXPECT_EQ(raisedText(30), "The DDE transaction could not be completed because other DDE transactions were "
                              "being processed.");
    EXPECT_EQ(raisedText(31), "There is no application associated with the given filename extension.");
    EXPECT_EQ(raisedText(32), "The specified dynamic-link library was not found.");
    // The error handler's full stop rule adds nothing to these.
    EXPECT_EQ(WithFullStop(raisedText(31)), raisedText(31));
}

TEST(LaunchError, OtherCodesRaiseNothing)
{
    for (int code : {-1, 1, 4, 6, 7, 9, 10, 12, 17, 25, 33, 42, 1000}) {
        EXPECT_NO_THROW(RaiseLaunchError(code)) << code;
        EXPECT_FALSE(LaunchErrorText(code)) << code;
    }
}

TEST(Launches, ViewerGetsTheQuotedPath)
{
    TRecordingShell shell;
    LaunchViewer(shell, "/home/ann/My Scans/page 1.tif");
    ASSERT_EQ(shell.Requests.size(), 1u);
    EXPECT_EQ(shell.Requests[0],
              (TShellRequest{TLaunchOwner::None, "open", "\"/home/ann/My Scans/page 1.tif\"", "", "", SW_SHOWNORMAL}));
}

TEST(Launches, CalculatorGetsTheLastOpenedName)
{
    TRecordingShell shell;
    LaunchCalculator(shell, "/home/ann/scan.tif");
    LaunchCalculator(shell, "");
    ASSERT_EQ(shell.Requests.size(), 2u);
    EXPECT_EQ(shell.Requests[0],
              (TShellRequest{TLaunchOwner::None, "open", "calc.EXE", "/home/ann/scan.tif", "", SW_SHOWDEFAULT}));
    EXPECT_EQ(shell.Requests[1].Parameters, "");
}

TEST(Launches, HomepageAndSupportMail)
{
    EXPECT_EQ(SupportMailAddress(), "mailto:support@velquin.example.com?subject= Velquin reader Ver 5.1&Body=");

    TRecordingShell shell;
    StartHomepage(shell);
    EmailSupport(shell);
    ASSERT_EQ(shell.Requests.size(), 2u);
    EXPECT_EQ(shell.Requests[0], (TShellRequest{TLaunchOwner::Application, "open", "https://www.velquin.example.com/",
                                                "", "", SW_SHOWNORMAL}));
    EXPECT_EQ(shell.Requests[1],
              (TShellRequest{TLaunchOwner::MainWindow, "open", SupportMailAddress(), "", "", SW_SHOWNORMAL}));
}

TEST(Launches, FailuresOfViewerAndCalculatorAreReported)
{
    TRecordingShell shell;
    shell.Result = 31;
    EXPECT_THROW(LaunchViewer(shell, "/a.tif"), ELaunchError);
    shell.Result = 2;
    try {
        LaunchCalculator(shell, "");
        ADD_FAILURE() << "no error raised";
    } catch (const ELaunchError& e) {
        EXPECT_STREQ(e.what(), "The viewer or file to launch was not found.");
    }
    // Codes without a message, and any success, pass silently.
    for (int code : {4, 6, 25, 33}) {
        shell.Result = code;
        EXPECT_NO_THROW(LaunchViewer(shell, "/a.tif")) << code;
        EXPECT_NO_THROW(LaunchCalculator(shell, "")) << code;
    }
}

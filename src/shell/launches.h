#pragma once

#include "shell/shellexecute.h"

#include <string>
#include <string_view>

// The four things the main window starts through the shell. The viewer and
// the calculator report a failed start (ELaunchError, from RaiseLaunchError);
// the web page and the support mail return the shell's result, and the
// window says in words of its own when the desktop could not open them.

inline constexpr std::string_view HomePageAddress = "https://www.velquin.example.com/";
inline constexpr std::string_view SupportMailbox = "support@velquin.example.com";
/// The version the support mail's subject names.
inline constexpr std::string_view SupportVersionText = "5.1";

/// "mailto:<mailbox>?subject= Velquin reader Ver 5.1&Body=", not
/// percent-encoded: the blanks go to the mail program as they stand.
std::string SupportMailAddress();

/// Opens the file with its associated program. Throws ELaunchError.
void LaunchViewer(TShell& shell, std::string_view path);
/// Starts the calculator, with the name last chosen in the Open dialog as
/// its parameter (empty when none was chosen). Throws ELaunchError.
void LaunchCalculator(TShell& shell, std::string_view lastOpenName);
/// Both return the shell's result: above 32 when the start succeeded.
int StartHomepage(TShell& shell);
int EmailSupport(TShell& shell);

/// What a failed start of the home page or the support mail says: which
/// address could not be opened, where to turn instead, and the shell's words
/// for the code when it has some.
std::string HomepageNotOpenedText(int code);
std::string SupportMailNotOpenedText(int code);

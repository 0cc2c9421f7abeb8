#pragma once

#include "shell/shellexecute.h"

#include <string>
#include <string_view>

// The four things the main window starts through the shell. The viewer and
// the calculator report a failed start (ELaunchError, from RaiseLaunchError);
// the web page and the support mail fail silently.

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
void StartHomepage(TShell& shell);
void EmailSupport(TShell& shell);

#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

/// True when the arguments ask for a command-line mode that needs no display.
bool IsCommandLineMode(const std::vector<std::string>& args);

/// Runs --dump, --batch, --help or --version; returns the exit status.
/// args excludes the program name.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

/// One listing cell for a terminal: control characters as \xNN, "\" as "\\".
std::string EscapeCell(std::string_view utf8);
void AppendEscapedCell(std::string& out, std::string_view utf8);

inline constexpr const char* VelquinVersion = "5.2";

#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

/// True unless the arguments start the window: none at all, or a file name
/// first. An unknown option belongs to the command line, which refuses it.
bool IsCommandLineMode(const std::vector<std::string>& args);

/// Runs a command-line mode (--dump, --batch, --help, --version...); returns
/// the exit status: 2 for a command line it does not understand.
/// args excludes the program name.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

/// One listing cell for a terminal: control characters as \xNN, "\" as "\\".
std::string EscapeCell(std::string_view utf8);
void AppendEscapedCell(std::string& out, std::string_view utf8);
/// The same into out, which must have room for 4 x utf8.size() bytes (the
/// most an escape takes); returns the end of what was written.
char* WriteEscapedCell(char* out, std::string_view utf8);

inline constexpr const char* VelquinVersion = "5.2";

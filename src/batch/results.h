#pragma once

#include <string>
#include <string_view>

// The text of a batch run's results: lines of quoted fields joined by the
// separator as typed. Nothing inside a field is escaped or doubled.
//
// The window's results pane and the command line both hold UTF-8; a saved file
// holds every pane line followed by CR LF. One line of the run can hold line
// breaks of a value or a path: the pane shows them as breaks, so they are saved
// as CR LF as well, and the command line writes what Save would write.

/// Appends the field as '"' text '"'.
void AppendQuoted(std::string& line, std::string_view field);

/// Makes a built line fit for the pane: a NUL (it would cut the line short in
/// the pane and make the saved file binary) becomes one blank, and each byte
/// that is not part of valid UTF-8 (a file name in another encoding) becomes U+FFFD.
void MakePaneText(std::string& line);

/// Appends the bytes Save writes for one appended line: each place where the
/// pane breaks it (CR LF, CR, LF, U+2029) as CR LF, and CR LF after it.
void AppendSavedLine(std::string& out, std::string_view line);

/// The bytes Save writes for the pane's whole text (lines ended by LF): each
/// line followed by CR LF. A break at the very end adds no empty line.
std::string SavedResultsBytes(std::string_view paneText);

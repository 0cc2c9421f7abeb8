#pragma once

#include <string>
#include <string_view>

// The text of a batch run's results: one record per line of quoted fields
// joined by the separator as typed, read as CSV (RFC 4180) by spreadsheets and
// CSV libraries. Inside a field a '"' is written as '""'; nothing else is
// escaped, so a field without a '"' is written as it stands.
//
// Names (paths, file names, titles) keep their own bytes, also bytes that are
// not UTF-8, so every cell leads back to its file. A value text is written with
// each line break (CR LF, CR or LF) as CR LF and a NUL as one blank; the break
// stays inside its quoted field, and only the record ends at the line's end.

/// Appends the field quoted, each '"' doubled, its bytes otherwise unchanged.
void AppendQuoted(std::string& line, std::string_view field);

/// Appends a value text quoted as AppendQuoted does, with each line break as
/// CR LF and each NUL (which would make the saved file binary) as one blank.
void appendValueField(std::string& line, std::string_view value);

/// Appends the bytes Save writes for one record: the line and CR LF.
void AppendSavedLine(std::string& out, std::string_view line);

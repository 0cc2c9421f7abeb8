#pragma once

#include <QString>

#include <string>
#include <string_view>

// The results pane holds the exact bytes of the records, shown as text.
//
// The pane's text document breaks a line at CR, LF, U+2029, U+FDD0 and
// U+FDD1, its layout at U+2028, and a QString cannot hold bytes that are not
// UTF-8. So a record's CR LF (a line break inside a value) is shown as a
// break, and everything the pane would break or change is shown as a lone low
// surrogate, which valid text never holds: a byte that is not part of valid
// UTF-8 as U+DC80..U+DCFF (as Python's "surrogateescape" does), a bare CR as
// U+DC0D, a bare LF as U+DC0A, and U+2029, U+FDD0, U+FDD1, U+2028 as U+DC01,
// U+DC02, U+DC03, U+DC04. Save maps them back, so the saved file holds the
// bytes the command line writes.

/// One record (without its line end) as the pane shows it.
QString paneTextFromRecord(std::string_view record);
/// The same, appended to text.
void appendPaneText(QString& text, std::string_view record);

/// The bytes Save writes for the pane's raw text (blocks separated by U+2029):
/// each block followed by CR LF; an empty last block adds no line.
std::string savedBytesFromPaneText(const QString& rawText);

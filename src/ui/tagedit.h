#pragma once

class TForm1;

/// What a double click on a row of the tag listing does: refuses a row that
/// is not an ASCII tag or a field that can never be written, opens TEditForm
/// on the row's text and, after "Write to file" with a change, writes the text
/// into the file in place and lists the same page again. A refused or undone
/// write shows "Saving failed: " and its reason; the page is listed again
/// whenever the file may differ from the rows. A conversion or re-reading
/// error propagates.
void EditAsciiTagRow(TForm1& form, int row);

#pragma once

class TForm1;

/// What a double click on a row of the tag listing does: refuses a row that
/// is not an ASCII tag, opens TEditForm on the row's text and, after "Write
/// to file" with a change, writes the text into the file in place and lists
/// the same page again. A failed write shows "Saving failed..." and leaves
/// the listing as it was; a conversion or re-reading error propagates.
void EditAsciiTagRow(TForm1& form, int row);

#include "ui/tagedit.h"

#include "tiff/asciiedit.h"
#include "ui/editdlg.h"
#include "ui/main.h"
#include "ui/messages.h"
#include "ui/taglistmodel.h"

void EditAsciiTagRow(TForm1& form, int row)
{
    const auto& rows = form.ListModel->Rows();
    if (row < 0 || row >= static_cast<int>(rows.size()))
        return;
    // A copy: the rows are replaced when the file is listed again.
    const TListingRow cells = rows[static_cast<std::size_t>(row)];
    const std::string current = CurrentTextOf(cells, row);
    if (!IsEditableRow(cells)) {
        Messages::ShowMessage(QString::fromUtf8(NotAsciiText.data(), static_cast<qsizetype>(NotAsciiText.size())));
        return;
    }

    TEditForm dialog(&form);
    dialog.SetText(QString::fromStdString(current));
    if (dialog.exec() != QDialog::Accepted || !dialog.Modified() || !form.TiffFile)
        return;

    // The cells were written in the display mode in force; read them back in it.
    const TAsciiField field = FieldOfRow(cells, form.HexMode());
    const std::string path = form.TiffFile->FileName;
    try {
        WriteAsciiField(*form.TiffFile, field, dialog.Text().toStdString());
    } catch (const ESaveFailed&) {
        Messages::ShowError(QStringLiteral("Saving failed. Make sure this file is not read-only"));
        return;
    }
    form.LoadFile(QString::fromStdString(path), form.CurrentPage);
}

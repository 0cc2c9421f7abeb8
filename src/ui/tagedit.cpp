#include "ui/tagedit.h"

#include "tiff/asciiedit.h"
#include "ui/editdlg.h"
#include "ui/main.h"
#include "ui/messages.h"
#include "ui/taglistmodel.h"

namespace {

QString refusalText(std::string_view prefix, const ESaveFailed& refusal)
{
    return QString::fromUtf8(prefix.data(), static_cast<qsizetype>(prefix.size())) + QString::fromUtf8(refusal.what());
}

} // namespace

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
    if (!form.TiffFile)
        return;

    // The cells were written in the display mode in force; read them back in
    // it. A field that can never be written is refused before any typing.
    const TAsciiField field = FieldOfRow(cells, form.HexMode(), form.TiffFile->IsBigTiff());
    try {
        CheckAsciiField(*form.TiffFile, field);
    } catch (const ESaveFailed& e) {
        Messages::ShowError(refusalText(CannotEditPrefix, e));
        return;
    }

    TEditForm dialog(&form);
    dialog.SetText(QString::fromStdString(current), FieldRoom(field));
    if (dialog.exec() != QDialog::Accepted || !dialog.Modified())
        return;

    const std::string path = form.TiffFile->FileName;
    try {
        WriteAsciiField(*form.TiffFile, field, dialog.Text().toStdString());
    } catch (const ESaveFailed& e) {
        Messages::ShowError(refusalText(SaveFailedPrefix, e));
        // The rows must never show a text that is not in the file.
        if (!e.ListingStale())
            return;
    }
    form.LoadFile(QString::fromStdString(path), form.CurrentPage);
}

// The main window's directory tree: listing a directory below a page,
// entering one from the entry that points to it, going back up, and the
// detail pane that follows the current row.
#include "ui/main.h"

#include "tiff/asciiedit.h"
#include "tiff/detail.h"
#include "tiff/valuesource.h"
#include "ui/detailpane.h"
#include "ui/directoryselector.h"
#include "ui/messages.h"
#include "ui/tagedit.h"
#include "ui/taglistmodel.h"

#include <QTreeView>

void TForm1::ShowDirectory(int index)
{
    if (!TiffFile || index < 0 || static_cast<std::size_t>(index) >= TiffFile->Directories.size())
        return;
    const TDirectory& directory = TiffFile->Directories[static_cast<std::size_t>(index)];
    // A page is the Part of the window it always was: its listing, its arrows.
    if (directory.Kind == TDirectoryKind::Page)
        ShowPage(directory.Page + 1);
    else
        listDirectory(static_cast<std::size_t>(index));
    ShowFileInfo();
}

void TForm1::listDirectory(std::size_t index)
{
    // Value cells come from the file itself, and only from the file that was
    // read; without it the rows still show the structure.
    std::unique_ptr<TValueSource> source;
    QString unreadable;
    try {
        source = openValues(*TiffFile);
    } catch (const EVelquinError& e) {
        unreadable = QString::fromStdString(WithFullStop(e.what()));
    }
    // The arrows and the status bar go on speaking of the page it lies under.
    CurrentPage = pageNumberOf(*TiffFile, index);
    DetailPane->ShowNothing();
    ListModel->SetRows(buildDirectoryListing(*TiffFile, index, source.get(), m_hex).Rows);
    m_directory = index;
    m_subDirectory = true;
    DirectorySelector->ShowDirectory(m_directory);
    markProblemRows();
    if (!unreadable.isEmpty())
        Messages::ShowMessage(unreadable);
}

void TForm1::listAgain()
{
    if (m_subDirectory && m_directory)
        listDirectory(*m_directory);
    else
        ShowPage(CurrentPage);
}

void TForm1::DirectorySelectorChange(int index)
{
    Messages::Guarded([&] { ShowDirectory(index); });
    UpdateActions();
}

std::optional<std::size_t> TForm1::entryOfRow(int row) const
{
    if (!TiffFile || !m_directory || row < FirstTagRow)
        return std::nullopt;
    const auto entry = static_cast<std::size_t>(row - FirstTagRow);
    if (entry >= TiffFile->Directories[*m_directory].Entries.size())
        return std::nullopt;
    return entry;
}

void TForm1::ListView1SelectionChange()
{
    const std::optional<std::size_t> entry = entryOfRow(ListView1->currentIndex().row());
    if (entry)
        DetailPane->ShowEntry(*TiffFile, *m_directory, *entry);
    else
        DetailPane->ShowNothing();
}

bool TForm1::enterRow(int row)
{
    const std::optional<std::size_t> entry = entryOfRow(row);
    // Only an entry that names a sub-directory opens the file here: Enter on a
    // text stays the editor's, without a read.
    if (!entry || !namesSubDirectory(*TiffFile, *m_directory, *entry))
        return false;
    const std::unique_ptr<TValueSource> source = openValues(*TiffFile);
    const TPointer pointer = pointedDirectory(*TiffFile, *m_directory, *entry, *source);
    if (pointer.Directory) {
        ShowDirectory(static_cast<int>(*pointer.Directory));
        // Keys go on from the first entry: Enter again goes deeper.
        if (ListModel->rowCount() > FirstTagRow + 2)
            ListView1->setCurrentIndex(ListModel->index(FirstTagRow, 0));
        return true;
    }
    // The reader said why it left the directory unread.
    const auto said = std::find_if(m_readerMessages.begin(), m_readerMessages.end(), [&](const TReaderMessage& m) {
        return pointer.Offset != 0 && m.DirectoryOffset == pointer.Offset && !m.Sentence.empty();
    });
    std::string why = pointer.Offset == 0 ? "this entry points to no directory: its offset is 0"
                      : said != m_readerMessages.end()
                          ? said->Sentence
                          : "the directory at " + std::to_string(pointer.Offset) + " was not read";
    why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
    Messages::ShowMessage(QString::fromStdString(WithFullStop(why)));
    return true;
}

void TForm1::editRow(int row)
{
    if (!m_subDirectory) {
        EditAsciiTagRow(*this, row);
        return;
    }
    // The editor's checks and its re-listing are a page's: the rows of a
    // directory below one are never handed to it.
    const auto& rows = ListModel->Rows();
    const bool text =
        row >= 0 && row < static_cast<int>(rows.size()) && IsEditableRow(rows[static_cast<std::size_t>(row)]);
    Messages::ShowMessage(text ? tr("Only the texts of a page can be edited; this one lies in %1.")
                                     .arg(QString::fromStdString(TiffFile->Directories[*m_directory].Id))
                               : QString::fromUtf8(NotAsciiText.data(), static_cast<qsizetype>(NotAsciiText.size())));
}

void TForm1::showParentDirectory()
{
    if (m_subDirectory && m_directory)
        ShowDirectory(TiffFile->Directories[*m_directory].Parent);
}

#pragma once

#include <QComboBox>

#include <cstddef>
#include <optional>

class TTiffFile;
class TDirectoryListModel;

/// The directory selector beside the page arrows: every directory of the file
/// in the reader's order, each page ("Page 2") followed by the directories
/// below it ("2/exif", "2/exif/interop"), indented by depth in the list.
/// A model over the file's directories, so a file of many thousand pages
/// costs only the rows on view.
class TDirectorySelector : public QComboBox {
    Q_OBJECT
public:
    explicit TDirectorySelector(QWidget* parent = nullptr);

    /// The directories of file (nullptr: none). The file must stay alive until
    /// the next call.
    void SetFile(const TTiffFile* file);
    /// Marks the directory on view (an index in Directories; nothing for
    /// none) without reporting a choice.
    void ShowDirectory(std::optional<std::size_t> index);

signals:
    /// The user chose the directory at index in Directories.
    void directoryChosen(int index);

private:
    TDirectoryListModel* m_model;
};

#pragma once

#include <QWidget>

#include <cstddef>
#include <cstdint>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class TElidedLabel;
class TTiffFile;

/// The detail pane under the listing: the selected entry in full. Its type,
/// count and positions, every value a page at a time (enumerated values by
/// name), and the raw bytes of the values on view as a hex dump with their
/// file offsets. It reads the file only when an entry is shown or another
/// page is asked for; a file that changed since it was read gets a message
/// in place of its values.
class TDetailPane : public QWidget {
    Q_OBJECT
public:
    /// Values a page holds.
    static constexpr std::uint64_t PageItems = 256;

    explicit TDetailPane(QWidget* parent = nullptr);

    /// Shows entry `entry` of directory `directory` (an index in Directories)
    /// from its first value. The file must stay alive until ShowNothing or
    /// the next ShowEntry.
    void ShowEntry(const TTiffFile& file, std::size_t directory, std::size_t entry);
    /// Back to the hint that asks for a row; forgets the file.
    void ShowNothing();
    void ShowNextValues();
    void ShowPreviousValues();

    // ---- controls, named for tests
    TElidedLabel* lblDetailTitle = nullptr;
    QLabel* lblDetailFacts = nullptr; ///< type, count, positions, where it leads
    QPlainTextEdit* DetailValues = nullptr;
    QPlainTextEdit* DetailBytes = nullptr;
    QPushButton* btnPrevValues = nullptr;
    QPushButton* btnNextValues = nullptr;
    QLabel* lblValuesPage = nullptr;

private:
    void showPage(std::uint64_t first);
    void setPager(std::uint64_t first, std::uint64_t shown, std::uint64_t count);

    const TTiffFile* m_file = nullptr;
    std::size_t m_directory = 0;
    std::size_t m_entry = 0;
    std::uint64_t m_first = 0;
    std::uint64_t m_count = 0;
};

#include "ui/directoryselector.h"

#include "tiff/detail.h"
#include "tiff/dirkind.h"
#include "tiff/tiff.h"

#include <QAbstractListModel>
#include <QListView>
#include <QSignalBlocker>
#include <QStyledItemDelegate>

/// The file's directories as rows: the text a page or a directory goes by,
/// its depth below its page for the list's indentation.
class TDirectoryListModel : public QAbstractListModel {
public:
    static constexpr int DepthRole = Qt::UserRole + 1;

    using QAbstractListModel::QAbstractListModel;

    void SetFile(const TTiffFile* file)
    {
        beginResetModel();
        m_file = file;
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() || !m_file ? 0 : static_cast<int>(m_file->Directories.size());
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!m_file || !index.isValid() || index.row() >= rowCount())
            return {};
        const auto row = static_cast<std::size_t>(index.row());
        const TDirectory& d = m_file->Directories[row];
        if (role == Qt::DisplayRole)
            return d.Kind == TDirectoryKind::Page ? tr("Page %1").arg(QString::fromStdString(d.Id))
                                                  : QString::fromStdString(d.Id);
        if (role == Qt::ToolTipRole) {
            const std::string_view name = directoryKindName(d.Kind);
            QString kind = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
            kind[0] = kind[0].toUpper();
            return tr("%1 directory at offset %2; entries: %3").arg(kind).arg(d.Offset).arg(d.Entries.size());
        }
        if (role == DepthRole)
            return directoryDepth(*m_file, row);
        return {};
    }

private:
    const TTiffFile* m_file = nullptr;
};

namespace {

/// Indents the list's rows by their depth; the closed box shows the text alone.
class TIndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const int depth = index.data(TDirectoryListModel::DepthRole).toInt();
        option->text.prepend(QString(4 * depth, QLatin1Char(' ')));
    }
};

} // namespace

TDirectorySelector::TDirectorySelector(QWidget* parent) : QComboBox(parent), m_model(new TDirectoryListModel(this))
{
    setObjectName(QStringLiteral("DirectorySelector"));
    setToolTip(tr("The directory on view: a page, or a directory an entry of it points to"));
    setModel(m_model);
    setItemDelegate(new TIndentDelegate(this));
    // Wide enough for "12/subifd1/exif"; measuring every id of a long page
    // chain on each file would cost more than it gives.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(16);
    if (auto* list = qobject_cast<QListView*>(view()))
        list->setUniformItemSizes(true);
    setEnabled(false);
    connect(this, &QComboBox::activated, this, &TDirectorySelector::directoryChosen);
}

void TDirectorySelector::SetFile(const TTiffFile* file)
{
    const QSignalBlocker blocker(this);
    m_model->SetFile(file);
    setEnabled(m_model->rowCount() > 0);
    setCurrentIndex(-1);
}

void TDirectorySelector::ShowDirectory(std::optional<std::size_t> index)
{
    const QSignalBlocker blocker(this);
    setCurrentIndex(index && *index < static_cast<std::size_t>(m_model->rowCount()) ? static_cast<int>(*index) : -1);
}

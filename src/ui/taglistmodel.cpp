#include "ui/taglistmodel.h"

#include "ui/problemspane.h"

namespace {

const std::string kEmpty;

bool rightAligned(int column)
{
    return column == 1 || column == 2 || column == 6 || column == 7;
}

} // namespace

void TTagListModel::SetHexCaptions(bool hex)
{
    if (hex == m_hexCaptions)
        return;
    m_hexCaptions = hex;
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

QString TTagListModel::Caption(int column) const
{
    if (column < 0 || column >= ColumnCount)
        return {};
    const QString caption = QString::fromLatin1(Captions[static_cast<std::size_t>(column)]);
    // Tag Pos, Length and Value Pos: the cells the display mode writes.
    const bool switched = column == 1 || column == 6 || column == 7;
    return m_hexCaptions && switched ? caption + QStringLiteral(" (hex)") : caption;
}

void TTagListModel::SetRows(std::vector<TListingRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_marks.clear();
    endResetModel();
}

void TTagListModel::SetMarks(QHash<int, TRowMark> marks)
{
    m_marks = std::move(marks);
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(static_cast<int>(m_rows.size()) - 1, 0));
}

const TRowMark* TTagListModel::Mark(int row) const
{
    const auto found = m_marks.constFind(row);
    return found == m_marks.constEnd() ? nullptr : &*found;
}

const std::string& TTagListModel::Cell(int row, int column) const
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()) || column < 0)
        return kEmpty;
    const TListingRow& r = m_rows[static_cast<std::size_t>(row)];
    return column < static_cast<int>(r.size()) ? r[static_cast<std::size_t>(column)] : kEmpty;
}

QString TTagListModel::CellText(int row, int column) const
{
    const std::string& s = Cell(row, column);
    // A native list cell ends at its first NUL.
    const auto nul = s.find('\0');
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(nul == std::string::npos ? s.size() : nul));
}

int TTagListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TTagListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TTagListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    // Findings show in the Nr cell alone: the other cells stay as listed.
    const TRowMark* mark = index.column() == 0 ? Mark(index.row()) : nullptr;
    if (mark && role == Qt::DecorationRole)
        return SeverityIcon(mark->Severity);
    if (mark && role == Qt::ToolTipRole)
        return mark->Sentences;
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return CellText(index.row(), index.column());
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(rightAligned(index.column()) ? Qt::AlignRight | Qt::AlignVCenter
                                                                              : Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

QVariant TTagListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return Caption(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(rightAligned(section) ? Qt::AlignRight | Qt::AlignVCenter
                                                                       : Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

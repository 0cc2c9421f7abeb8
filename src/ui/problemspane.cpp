#include "ui/problemspane.h"

#include "ui/imagelist.h"
#include "ui/uiscale.h"

#include <QHeaderView>

#include <array>

QIcon SeverityIcon(TSeverity severity)
{
    switch (severity) {
    case TSeverity::Error:
        return ImageList1(ImgError);
    case TSeverity::Warning:
        return ImageList1(ImgWarning);
    case TSeverity::Note:
        break;
    }
    return ImageList1(ImgNote);
}

std::uint64_t ProblemTotal(const TCheckReport& report)
{
    return report.count(TSeverity::Error) + report.count(TSeverity::Warning) + report.count(TSeverity::Note);
}

namespace {

constexpr std::array<const char*, TProblemListModel::ColumnCount> kCaptions{"Severity", "Directory", "Identifier",
                                                                            "Offset", "Problem"};
constexpr std::array<int, TProblemListModel::SentenceColumn> kWidths{80, 80, 130, 70};

QString fromView(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

// ---------------------------------------------------------------- the model

void TProblemListModel::SetReport(const TCheckReport* report)
{
    beginResetModel();
    m_report = report;
    m_unlisted.clear();
    if (report)
        for (const TProblemKindInfo& kind : problemKindTable())
            if (const std::uint64_t more = report->unlisted(kind.Kind))
                m_unlisted.emplace_back(kind.Kind, more);
    endResetModel();
}

const TProblem* TProblemListModel::Problem(int row) const
{
    if (!m_report || row < 0 || static_cast<std::size_t>(row) >= m_report->Problems.size())
        return nullptr;
    return &m_report->Problems[static_cast<std::size_t>(row)];
}

int TProblemListModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_report)
        return 0;
    return static_cast<int>(m_report->Problems.size() + m_unlisted.size());
}

int TProblemListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

const TProblemKindInfo* TProblemListModel::kindOfRow(int row) const
{
    if (const TProblem* problem = Problem(row))
        return &problemKindInfo(problem->Kind);
    const std::size_t unlisted = static_cast<std::size_t>(row) - (m_report ? m_report->Problems.size() : 0);
    return row >= 0 && unlisted < m_unlisted.size() ? &problemKindInfo(m_unlisted[unlisted].first) : nullptr;
}

QString TProblemListModel::cellText(int row, int column) const
{
    const TProblemKindInfo* kind = kindOfRow(row);
    if (!kind)
        return {};
    const TProblem* problem = Problem(row);
    switch (column) {
    case SeverityColumn:
        return fromView(severityName(kind->Severity));
    case DirectoryColumn:
        return problem && !problem->DirectoryId.empty() ? QString::fromStdString(problem->DirectoryId)
                                                        : QStringLiteral("-");
    case IdentifierColumn:
        return fromView(kind->Identifier);
    case OffsetColumn:
        return problem && problem->Range.End > problem->Range.Start ? QString::number(problem->Range.Start)
                                                                    : QStringLiteral("-");
    case SentenceColumn:
        return problem ? QString::fromStdString(problem->Sentence)
                       : QStringLiteral("%1 more like this are not listed")
                             .arg(m_unlisted[static_cast<std::size_t>(row) - m_report->Problems.size()].second);
    default:
        return {};
    }
}

QVariant TProblemListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole || (role == Qt::ToolTipRole && index.column() == SentenceColumn))
        return cellText(index.row(), index.column());
    if (role == Qt::DecorationRole && index.column() == SeverityColumn)
        if (const TProblemKindInfo* kind = kindOfRow(index.row()))
            return SeverityIcon(kind->Severity);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(index.column() == OffsetColumn ? Qt::AlignRight | Qt::AlignVCenter
                                                                                : Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

QVariant TProblemListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(kCaptions[static_cast<std::size_t>(section)]);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(section == OffsetColumn ? Qt::AlignRight | Qt::AlignVCenter
                                                                         : Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

// ---------------------------------------------------------------- the pane

TProblemsPane::TProblemsPane(QWidget* parent) : QTreeView(parent), m_model(new TProblemListModel(this))
{
    setObjectName(QStringLiteral("ProblemsPane"));
    setModel(m_model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true); // up to a thousand findings of each kind
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The sentence takes the width left and is shortened to it; its tooltip holds it whole.
    header()->setStretchLastSection(false);
    for (int c = 0; c < TProblemListModel::SentenceColumn; ++c)
        header()->resizeSection(c, Scaled(kWidths[static_cast<std::size_t>(c)]));
    header()->setSectionResizeMode(TProblemListModel::SentenceColumn, QHeaderView::Stretch);
    connect(this, &QAbstractItemView::clicked, this, &TProblemsPane::choose);
    connect(this, &QAbstractItemView::activated, this, &TProblemsPane::choose);
    setVisible(false);
}

void TProblemsPane::SetReport(const TCheckReport* report)
{
    m_model->SetReport(report);
    setVisible(report && ProblemTotal(*report) > 0);
}

void TProblemsPane::choose(const QModelIndex& index)
{
    if (const TProblem* problem = m_model->Problem(index.row()))
        emit problemChosen(problem->Directory, problem->Entry);
}

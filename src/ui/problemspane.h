#pragma once

#include "check/checker.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QTreeView>

#include <cstdint>
#include <utility>
#include <vector>

/// The mark of a severity: the icon of the Problems pane and of flagged rows.
QIcon SeverityIcon(TSeverity severity);
/// Every finding of the report, listed or only counted.
std::uint64_t ProblemTotal(const TCheckReport& report);

/// The findings of a check as rows: severity, directory, identifier, offset
/// and sentence, as `velquin --check` prints them; then, for each kind whose
/// findings were capped, a row that counts the rest. A view over the report,
/// which must stay alive until the next SetReport.
class TProblemListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { SeverityColumn, DirectoryColumn, IdentifierColumn, OffsetColumn, SentenceColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    /// nullptr: no rows.
    void SetReport(const TCheckReport* report);
    /// The finding of a row; nullptr for a row that counts unlisted findings.
    const TProblem* Problem(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    /// The kind of a row, listed or counted; nullptr outside the rows.
    const TProblemKindInfo* kindOfRow(int row) const;
    QString cellText(int row, int column) const;

    const TCheckReport* m_report = nullptr;
    std::vector<std::pair<TProblemKind, std::uint64_t>> m_unlisted;
};

/// The Problems pane under the listing: every finding of the open file. It
/// hides itself for a file without any; a click on a finding (or Enter) asks
/// for its place in the listing.
class TProblemsPane : public QTreeView {
    Q_OBJECT
public:
    explicit TProblemsPane(QWidget* parent = nullptr);

    /// The findings of report (nullptr: none); it must stay alive until the next call.
    void SetReport(const TCheckReport* report);
    TProblemListModel* Model() const { return m_model; }

signals:
    /// A finding was chosen: its directory (an index in Directories, -1 for
    /// the file as a whole) and entry (-1 for none).
    void problemChosen(int directory, int entry);

private:
    void choose(const QModelIndex& index);

    TProblemListModel* m_model;
};

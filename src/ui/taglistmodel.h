#pragma once

#include "check/problems.h"
#include "tiff/listing.h"

#include <QAbstractTableModel>
#include <QHash>

#include <array>

/// What is wrong with the entry of a row: the worst severity of its
/// findings, which marks its Nr cell, and their sentences, one a line.
struct TRowMark {
    TSeverity Severity = TSeverity::Note;
    QString Sentences;
};

/// The rows of ListView1: a view over the listing the core built. Cells are
/// turned into QStrings only when the view asks for them, so a page of 65,535
/// entries costs no more than the rows on screen.
class TTagListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int ColumnCount = 8;
    static constexpr std::array<const char*, ColumnCount> Captions{"Nr",    "Tag Pos", "Tag nr", "Taginfo",
                                                                   "Value", "Type",    "Length", "Value Pos"};
    static constexpr std::array<int, ColumnCount> Widths{30, 60, 60, 150, 250, 100, 50, 60};

    using QAbstractTableModel::QAbstractTableModel;

    void SetRows(std::vector<TListingRow> rows);
    /// In hexadecimal mode the captions of Tag Pos, Length and Value Pos say so.
    void SetHexCaptions(bool hex);
    /// The caption as the header shows it in the current mode.
    QString Caption(int column) const;
    /// Marks rows (by index) that have findings; SetRows forgets them.
    void SetMarks(QHash<int, TRowMark> marks);
    /// nullptr for a row without findings.
    const TRowMark* Mark(int row) const;
    void Clear() { SetRows({}); }
    const std::vector<TListingRow>& Rows() const { return m_rows; }
    /// The cell's whole text (UTF-8), empty when the row has no such cell.
    const std::string& Cell(int row, int column) const;
    /// The cell as the list shows it: up to its first NUL.
    QString CellText(int row, int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<TListingRow> m_rows;
    QHash<int, TRowMark> m_marks;
    bool m_hexCaptions = false;
};

#pragma once

#include "tiff/listing.h"

#include <QAbstractTableModel>

#include <array>

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
    bool m_hexCaptions = false;
};

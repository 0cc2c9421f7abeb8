#pragma once

#include <QStyledItemDelegate>

class QTreeView;

/// Draws ListView1's cells. A right-aligned text too long for its column
/// runs on to the left over the empty cells before it, as in a spreadsheet:
/// row 0's "Filename" stands in the narrow Tag nr column, with nothing to
/// its left. A marked Nr cell carries its mark small at its right end, so
/// the number keeps its room in the narrow column.
class TListingDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TListingDelegate(QTreeView* view);

    /// The rectangle the cell's text may use: its own, widened over empty
    /// cells to the left as far as the text needs.
    QRect TextRoom(const QModelIndex& index) const;
    /// The horizontal room a cell's text needs beyond its width: the margins
    /// the style leaves on both sides.
    int TextMargins() const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    /// The side of the mark a Nr cell of a row with findings carries.
    int MarkSize() const;

private:
    void paintMarked(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index,
                     const QIcon& mark) const;

    QTreeView* m_view;
};

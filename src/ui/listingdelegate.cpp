#include "ui/listingdelegate.h"

#include <QFontMetricsF>
#include <QTreeView>

#include <cmath>

TListingDelegate::TListingDelegate(QTreeView* view) : QStyledItemDelegate(view), m_view(view) {}

int TListingDelegate::TextMargins() const
{
    // The style's text margin on each side, as the item view draws it.
    const int margin = m_view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_view) + 1;
    return 2 * margin;
}

QRect TListingDelegate::TextRoom(const QModelIndex& index) const
{
    QRect room = m_view->visualRect(index);
    const auto align = index.data(Qt::TextAlignmentRole).value<Qt::Alignment>();
    if (!(align & Qt::AlignRight))
        return room;
    const QString text = index.data(Qt::DisplayRole).toString();
    // Fractions count: a text a twentieth of a pixel too wide is elided.
    const int needed =
        static_cast<int>(std::ceil(QFontMetricsF(m_view->font()).horizontalAdvance(text))) + TextMargins();
    for (int c = index.column() - 1; c >= 0 && room.width() < needed; --c) {
        const QModelIndex left = index.siblingAtColumn(c);
        if (!left.data(Qt::DisplayRole).toString().isEmpty())
            break;
        room.setLeft(m_view->visualRect(left).left());
    }
    return room;
}

void TListingDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (const QIcon mark = index.data(Qt::DecorationRole).value<QIcon>(); !mark.isNull()) {
        paintMarked(painter, option, index, mark);
        return;
    }
    QStyleOptionViewItem widened(option);
    const QRect room = TextRoom(index);
    // The view's rectangles are in viewport coordinates, as option.rect is;
    // only the left edge moves.
    if (room.left() < option.rect.left())
        widened.rect.setLeft(option.rect.left() - (m_view->visualRect(index).left() - room.left()));
    QStyledItemDelegate::paint(painter, widened, index);
}

int TListingDelegate::MarkSize() const
{
    return std::max(8, m_view->fontMetrics().ascent() - 2);
}

void TListingDelegate::paintMarked(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index,
                                   const QIcon& mark) const
{
    // The cell as it stands, its number shortened only where the mark would
    // cover it; the style's own place for an icon would leave a 30-pixel
    // column no room for two digits.
    QStyleOptionViewItem cell(option);
    initStyleOption(&cell, index);
    cell.features &= ~QStyleOptionViewItem::HasDecoration;
    cell.icon = QIcon();
    const int side = MarkSize();
    // The text's left margin, the number, a pixel, the mark and a pixel.
    const int room = cell.rect.width() - TextMargins() / 2 - side - 2;
    if (cell.fontMetrics.horizontalAdvance(cell.text) > room)
        cell.text = cell.fontMetrics.elidedText(cell.text, Qt::ElideRight, std::max(room, 0));
    m_view->style()->drawControl(QStyle::CE_ItemViewItem, &cell, painter, m_view);
    mark.paint(painter, QRect(cell.rect.right() - side - 1, cell.rect.center().y() - side / 2, side, side));
}

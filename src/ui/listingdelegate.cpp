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
    QStyleOptionViewItem widened(option);
    const QRect room = TextRoom(index);
    // The view's rectangles are in viewport coordinates, as option.rect is;
    // only the left edge moves.
    if (room.left() < option.rect.left())
        widened.rect.setLeft(option.rect.left() - (m_view->visualRect(index).left() - room.left()));
    QStyledItemDelegate::paint(painter, widened, index);
}

void TListingDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (option->features & QStyleOptionViewItem::HasDecoration) {
        const int side = option->fontMetrics.ascent();
        option->decorationSize = QSize(side, side);
        option->decorationPosition = QStyleOptionViewItem::Right;
    }
}

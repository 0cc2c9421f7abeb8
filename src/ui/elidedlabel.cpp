#include "ui/elidedlabel.h"

#include "ui/uiscale.h"

#include <QPainter>
#include <QStyle>

TElidedLabel::TElidedLabel(const QString& text, QWidget* parent, int designedWidth)
    : QLabel(text, parent), m_designedWidth(designedWidth)
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

int TElidedLabel::NeededWidth() const
{
    const QMargins m = contentsMargins();
    // One pixel more than the advance: the last glyph may overhang it.
    return fontMetrics().horizontalAdvance(text()) + 1 + m.left() + m.right() + 2 * margin();
}

QSize TElidedLabel::sizeHint() const
{
    return {std::max(Scaled(m_designedWidth), NeededWidth()), QLabel::sizeHint().height()};
}

QSize TElidedLabel::minimumSizeHint() const
{
    // Room for an ellipsis: the layout may squeeze the label that far.
    const QMargins m = contentsMargins();
    return {fontMetrics().horizontalAdvance(QStringLiteral("\u2026")) + m.left() + m.right() + 2 * margin(),
            QLabel::minimumSizeHint().height()};
}

QString TElidedLabel::ShownText() const
{
    const int room = contentsRect().width() - 2 * margin();
    if (NeededWidth() <= width())
        return text();
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, room);
}

void TElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    drawFrame(&p);
    const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&p, room, QStyle::visualAlignment(layoutDirection(), alignment()), palette(), isEnabled(),
                          ShownText(), foregroundRole());
}

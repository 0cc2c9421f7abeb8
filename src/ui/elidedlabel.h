#pragma once

#include <QLabel>

/// A one-line label that asks for the room its whole text needs (at least
/// its designed width) and, only when its layout gives it less, shows the
/// text shortened in the middle, so both ends of a path stay in view.
/// text() is always the whole text.
class TElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit TElidedLabel(const QString& text = {}, QWidget* parent = nullptr, int designedWidth = 0);

    /// The width the whole text needs, frame and margins included.
    int NeededWidth() const;
    /// The text as it is drawn at the present width.
    QString ShownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_designedWidth;
};

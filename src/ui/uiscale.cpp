#include "ui/uiscale.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDesignTextHeight = 13.0; // an 8-point font at 96 dots per inch

int scale(int v, double s)
{
    return static_cast<int>(std::lround(v * s));
}

} // namespace

double UiScale(const QFont& font)
{
    return std::max(1.0, QFontMetricsF(font).height() / kDesignTextHeight);
}

int Scaled(int designed)
{
    return scale(designed, UiScale(QApplication::font()));
}

void ScaleFixedLayout(QWidget* top, double s)
{
    if (s == 1.0)
        return;
    for (QWidget* child : top->findChildren<QWidget*>()) {
        if (child->isWindow())
            continue;
        const QRect g = child->geometry();
        child->setGeometry(scale(g.x(), s), scale(g.y(), s), scale(g.width(), s), scale(g.height(), s));
    }
    top->resize(scale(top->width(), s), scale(top->height(), s));
}

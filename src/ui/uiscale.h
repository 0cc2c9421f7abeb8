#pragma once

class QFont;
class QWidget;

// The window's fixed sizes were designed in pixels for an 8-point font whose
// text is 13 pixels high. A larger platform font scales them by the ratio of
// the heights, so that text keeps its room; a smaller one leaves them as
// designed.

/// At least 1: the platform font's text height over 13 pixels.
double UiScale(const QFont& font);
/// A designed size in pixels, scaled for the application's font.
int Scaled(int designed);
/// Scales the size of top and the geometry of every widget inside it, as a
/// fixed layout grows with its font.
void ScaleFixedLayout(QWidget* top, double scale);

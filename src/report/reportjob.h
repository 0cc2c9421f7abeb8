#pragma once

#include "report/reportlayout.h"

#include <string>
#include <string_view>
#include <vector>

// The printed tag report drawn on an abstract canvas: the Qt layer puts a
// printer behind it, the tests a recorder. The canvas is a begun document;
// beginning and ending it, the job title, copies and orientation are the
// printer's business.

enum class TReportFont {
    Body,          ///< 10 point regular
    Caption,       ///< 10 point bold
    HeaderMeasure, ///< 8 point regular: the header line is measured in it...
    Header,        ///< 8 point bold: ...and printed in this
    Title,         ///< 18 point bold
    Notice,        ///< 10 point bold
};

class TReportCanvas {
public:
    virtual ~TReportCanvas() = default;

    virtual TPrintArea Area() const = 0;
    /// 1 on the first page, one more after each NewPage.
    virtual int PageNumber() const = 0;
    virtual void NewPage() = 0;

    virtual void SetFont(TReportFont font) = 0;
    /// Measures in the current font, in device pixels.
    virtual int TextWidth(std::string_view text) = 0;
    virtual int TextHeight(std::string_view text) = 0;
    /// Text whose top left corner is at origin, in the current font.
    virtual void DrawText(TReportPoint origin, std::string_view text) = 0;
    /// The same, showing only what falls inside clip.
    virtual void DrawClippedText(const TReportRect& clip, TReportPoint origin, std::string_view text) = 0;
    virtual void DrawLine(const TReportLine& line) = 0;
};

/// What the report prints: the listing's rows as they stand (a row may have
/// fewer cells than there are columns), the columns' captions and on-screen
/// widths, the open file's path and today's date in the short format.
struct TReportSource {
    std::vector<std::vector<std::string>> Rows;
    std::vector<std::string> Captions;
    std::vector<int> ColumnWidths;
    std::string FilePath;
    std::string Date;
};

/// Draws every page on the canvas. A listing without rows draws nothing.
/// Whatever the canvas throws ends the job and reaches the caller.
void PrintReport(TReportCanvas& canvas, const TReportSource& source);

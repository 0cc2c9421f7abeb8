#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

// The arithmetic of the printed tag report. Every measure comes from the
// printer's page size and physical offsets, so the layout is the same at any
// resolution: h is the width of an A4 sheet in twenty-firsts (about one
// centimetre) and v its height in 28.215ths. All positions are device pixels
// with the origin at the top left of the printable area.

/// The printable area and the printer's physical offsets, in device pixels.
struct TPrintArea {
    int Width = 0;
    int Height = 0;
    int OffsetX = 0;
    int OffsetY = 0;
};

struct TReportPoint {
    int X = 0;
    int Y = 0;
    bool operator==(const TReportPoint&) const = default;
};

/// A clipping rectangle; one with Right <= Left or Bottom <= Top shows nothing.
struct TReportRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    bool operator==(const TReportRect&) const = default;
};

struct TReportLine {
    TReportPoint From;
    TReportPoint To;
    bool operator==(const TReportLine&) const = default;
};

/// The rows one printed page holds: [FirstRow, FirstRow + RowCount).
struct TReportPageRows {
    int Page = 0; ///< 1-based
    int FirstRow = 0;
    int RowCount = 0;
};

/// Nearest integer, a value exactly halfway going to the even neighbour.
int RoundEven(double value);

class TReportLayout {
public:
    /// columnWidths are the on-screen widths of the listing's columns (a
    /// negative width counts as 0); lineHeight is the height of the body font.
    /// Never throws: a line height taller than the page still gives one row
    /// per page, and columns whose widths sum to 0 share the width evenly.
    TReportLayout(const TPrintArea& area, std::span<const int> columnWidths, int lineHeight, int rowCount);

    double UnitH() const { return m_h; }
    double UnitV() const { return m_v; }
    int ColumnCount() const { return static_cast<int>(m_edges.size()) - 1; }
    /// x[0..n]: the left edge of each column and the right edge of the last.
    const std::vector<int>& Edges() const { return m_edges; }
    int RightMargin() const { return m_rightMargin; }
    int Top() const { return m_top; }
    int LineHeight() const { return m_lineHeight; }
    int RowsPerPage() const { return m_rowsPerPage; }
    int PageCount() const { return m_pageCount; }
    int RowCount() const { return m_rowCount; }
    int InsetH() const { return m_insetH; }
    int InsetV() const { return m_insetV; }
    int InsetRule() const { return m_insetRule; }

    /// The rows of each page; empty when the listing has no rows.
    std::vector<TReportPageRows> Pages() const;

    /// Vertical rules at the inner column edges. On the last page they end one
    /// line below its last row; on the others at the foot of a full page.
    std::vector<TReportLine> ColumnRules(int page, int firstRow) const;
    /// The rule under the captions, reaching an inset past the outer edges.
    TReportLine CaptionRule() const;
    /// Where a caption of the given width starts so that it is centred.
    TReportPoint CaptionOrigin(int column, int captionWidth) const;
    TReportRect CaptionClip(int column) const;
    /// A cell of the row at line k (1 for the first row of a page).
    TReportPoint CellOrigin(int column, int line) const;
    TReportRect CellClip(int column, int line) const;

    /// The header line ends at the right margin; its width is measured in the
    /// regular face although it is printed in bold.
    TReportPoint HeaderOrigin(int measuredWidth) const;
    /// Centred when the header line starts left of the centred title's right
    /// end plus a margin, else at the left margin.
    TReportPoint TitleOrigin(int titleWidth, int headerX) const;
    TReportPoint NoticeOrigin() const;

private:
    int m_width;
    double m_h;
    double m_v;
    std::vector<int> m_edges;
    int m_rightMargin;
    int m_top;
    int m_lineHeight;
    int m_rowsPerPage;
    int m_pageCount;
    int m_rowCount;
    int m_insetH;
    int m_insetV;
    int m_insetRule;
};

inline constexpr std::string_view ReportTitle = "Tiff Header Report";
inline constexpr std::string_view ReportNotice = "Printed with Velquin, the TIFF tag viewer - www.velquin.example.com";
/// The text whose height is the report's line height.
inline constexpr std::string_view LineHeightSample = "dummy";

/// "File: <path>      Date: <date>  Page: <page> / <pages>".
std::string ReportHeaderText(std::string_view path, std::string_view date, int page, int pageCount);

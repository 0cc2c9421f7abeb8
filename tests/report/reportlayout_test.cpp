// The report's arithmetic, checked against a worked page of 4800 x 6800 pixels.
#include "report/reportlayout.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

namespace {

constexpr TPrintArea Sheet{4800, 6800, 100, 100};
// The listing's columns at their widths at start: Nr, Tag Pos, Tag nr,
// Taginfo, Value, Type, Length, Value Pos.
constexpr std::array<int, 8> StartWidths{30, 60, 60, 150, 250, 100, 50, 60};

} // namespace

TEST(RoundEven, HalvesGoToTheEvenNeighbour)
{
    EXPECT_EQ(RoundEven(0.5), 0);
    EXPECT_EQ(RoundEven(1.5), 2);
    EXPECT_EQ(RoundEven(2.5), 2);
    EXPECT_EQ(RoundEven(-0.5), 0);
    EXPECT_EQ(RoundEven(-1.5), -2);
    EXPECT_EQ(RoundEven(-2.4), -2);
    EXPECT_EQ(RoundEven(55.595), 56);
    EXPECT_EQ(RoundEven(161.29), 161);
    EXPECT_EQ(RoundEven(std::nan("")), 0);
    EXPECT_EQ(RoundEven(1e300), std::numeric_limits<int>::max());
    EXPECT_EQ(RoundEven(-1e300), std::numeric_limits<int>::min());
}

TEST(ReportLayout, WorkedExample)
{
    const TReportLayout l(Sheet, StartWidths, 100, 10);
    EXPECT_NEAR(l.UnitH(), 238.095, 0.001);
    EXPECT_NEAR(l.UnitV(), 248.094, 0.001);
    EXPECT_EQ(l.Edges(), (std::vector<int>{357, 518, 841, 1164, 1970, 3314, 3852, 4121, 4444}));
    EXPECT_EQ(l.RightMargin(), 4443); // the last edge lies one pixel past it
    EXPECT_EQ(l.Top(), 620);
    EXPECT_EQ(l.RowsPerPage(), 56);
    EXPECT_EQ(l.InsetH(), 24);
    EXPECT_EQ(l.InsetV(), 25);
    EXPECT_EQ(l.InsetRule(), 12);
    EXPECT_EQ(l.HeaderOrigin(1000).Y, 124);
    EXPECT_EQ(l.TitleOrigin(1000, 0).Y, 248);
    EXPECT_EQ(l.NoticeOrigin(), (TReportPoint{238, 447}));
}

TEST(ReportLayout, FrameAndCellsOfTheWorkedExample)
{
    const TReportLayout l(Sheet, StartWidths, 100, 10);
    // Captions centred in their column, clipped an inset inside its edges.
    EXPECT_EQ(l.CaptionOrigin(0, 41), (TReportPoint{357 + 80 - 20, 595}));
    EXPECT_EQ(l.CaptionClip(0), (TReportRect{381, 595, 494, 695}));
    EXPECT_EQ(l.CaptionRule(), (TReportLine{{333, 708}, {4468, 708}}));
    // Row k of a page stands at T + k*L.
    EXPECT_EQ(l.CellOrigin(4, 1), (TReportPoint{1994, 720}));
    EXPECT_EQ(l.CellClip(4, 3), (TReportRect{1994, 920, 3290, 1020}));
    // Rules only at the seven inner edges.
    const auto rules = l.ColumnRules(1, 0);
    ASSERT_EQ(rules.size(), 7u);
    EXPECT_EQ(rules.front(), (TReportLine{{518, 620}, {518, 620 + 12 * 100}}));
    EXPECT_EQ(rules.back().From.X, 4121);
}

TEST(ReportLayout, HeaderEndsAtTheRightMarginAndDecidesTheTitle)
{
    const TReportLayout l(Sheet, StartWidths, 100, 10);
    EXPECT_EQ(l.HeaderOrigin(1000).X, 4443 - 1000);
    EXPECT_EQ(l.HeaderOrigin(1001).X, 4443 - 1000); // an odd width loses its last pixel

    // Title 1000 wide: the test point is half(1000 + 4800) + rnd(0.75h) = 2900 + 179.
    EXPECT_EQ(l.TitleOrigin(1000, 3078), (TReportPoint{1900, 248})); // centred
    EXPECT_EQ(l.TitleOrigin(1000, 3079), (TReportPoint{238, 248}));  // left margin
}

TEST(ReportLayout, PagesSplitAtRowsPerPage)
{
    // A line height of 139 gives R = rnd(5559.5 / 139) = 40 on the same sheet.
    const TReportLayout full(Sheet, StartWidths, 139, 40);
    ASSERT_EQ(full.RowsPerPage(), 40);
    EXPECT_EQ(full.PageCount(), 1);
    ASSERT_EQ(full.Pages().size(), 1u);
    EXPECT_EQ(full.Pages()[0].RowCount, 40);
    // The last page's rules end one line below its last row.
    EXPECT_EQ(full.ColumnRules(1, 0)[0].To.Y, 620 + 42 * 139);

    const TReportLayout over(Sheet, StartWidths, 139, 41);
    EXPECT_EQ(over.PageCount(), 2);
    const auto pages = over.Pages();
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].RowCount, 40);
    EXPECT_EQ(pages[1].Page, 2);
    EXPECT_EQ(pages[1].FirstRow, 40);
    EXPECT_EQ(pages[1].RowCount, 1);
    EXPECT_EQ(over.ColumnRules(1, 0)[0].To.Y, 620 + 41 * 139); // a full page
    EXPECT_EQ(over.ColumnRules(2, 40)[0].To.Y, 620 + 3 * 139);

    const TReportLayout none(Sheet, StartWidths, 139, 0);
    EXPECT_EQ(none.PageCount(), 1);
    EXPECT_TRUE(none.Pages().empty());
}

TEST(ReportLayout, ColumnsFollowTheirScreenWidths)
{
    std::array<int, 8> widths = StartWidths;
    widths[3] = 0; // Taginfo narrowed away
    const TReportLayout narrowed(Sheet, widths, 100, 10);
    EXPECT_EQ(narrowed.Edges()[3], narrowed.Edges()[4]);
    EXPECT_TRUE(narrowed.CellClip(3, 1).IsEmpty());
    EXPECT_TRUE(narrowed.CaptionClip(3).IsEmpty());

    widths = StartWidths;
    widths[4] = 500; // Value widened
    const TReportLayout wide(Sheet, widths, 100, 10);
    const TReportLayout start(Sheet, StartWidths, 100, 10);
    const auto width = [](const TReportLayout& l, int c) { return l.Edges()[c + 1] - l.Edges()[c]; };
    EXPECT_GT(width(wide, 4), width(start, 4));
    for (int c : {0, 1, 2, 3, 5, 6, 7})
        EXPECT_LT(width(wide, c), width(start, c)) << c;
    EXPECT_NEAR(wide.Edges().back(), 4443, 8); // still spans the printable width
}

TEST(ReportLayout, DegenerateInputsStillEnd)
{
    // A line taller than the page: one row per page.
    const TReportLayout tall(Sheet, StartWidths, 100000, 3);
    EXPECT_EQ(tall.RowsPerPage(), 1);
    EXPECT_EQ(tall.PageCount(), 3);
    EXPECT_EQ(tall.Pages().size(), 3u);

    const TReportLayout zeroLine(Sheet, StartWidths, 0, 3);
    EXPECT_GE(zeroLine.RowsPerPage(), 1);

    // No width on screen at all: the columns share the printable width.
    const std::array<int, 4> hidden{0, 0, 0, -5};
    const TReportLayout even(Sheet, hidden, 100, 3);
    EXPECT_EQ(even.Edges(), (std::vector<int>{357, 1379, 2401, 3423, 4445}));

    const TReportLayout noColumns(Sheet, std::span<const int>(), 100, 3);
    EXPECT_EQ(noColumns.ColumnCount(), 0);
    EXPECT_TRUE(noColumns.ColumnRules(1, 0).empty());
}

TEST(ReportLayout, HeaderText)
{
    EXPECT_EQ(ReportHeaderText("/scans/My Scans/page 1.tif", "31.12.24", 2, 3),
              "File: /scans/My Scans/page 1.tif      Date: 31.12.24  Page: 2 / 3");
}

// The report drawn on a canvas that records what it is asked to do.
#include "report/reportjob.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace {

struct TDrawn {
    int Page;
    TReportFont Font;
    TReportPoint At;
    std::string Text;
    TReportRect Clip; ///< empty for unclipped text
};

class TRecordingCanvas : public TReportCanvas {
public:
    explicit TRecordingCanvas(int lineHeight) : m_lineHeight(lineHeight) {}

    TPrintArea Area() const override { return {4800, 6800, 100, 100}; }
    int PageNumber() const override { return m_page; }
    void NewPage() override { ++m_page; }
    void SetFont(TReportFont font) override { m_font = font; }
    // Ten pixels a character; the bold faces a little wider, as on paper.
    int TextWidth(std::string_view text) override
    {
        const bool bold = m_font != TReportFont::Body && m_font != TReportFont::HeaderMeasure;
        return static_cast<int>(text.size()) * (bold ? 11 : 10);
    }
    int TextHeight(std::string_view) override { return m_font == TReportFont::Body ? m_lineHeight : 0; }
    void DrawText(TReportPoint origin, std::string_view text) override
    {
        Texts.push_back({m_page, m_font, origin, std::string(text), {}});
    }
    void DrawClippedText(const TReportRect& clip, TReportPoint origin, std::string_view text) override
    {
        if (FailOnText == text)
            throw std::runtime_error("The printer is out of paper");
        Texts.push_back({m_page, m_font, origin, std::string(text), clip});
    }
    void DrawLine(const TReportLine& line) override { Lines.emplace_back(m_page, line); }

    std::vector<TDrawn> Texts;
    std::vector<std::pair<int, TReportLine>> Lines;
    std::string FailOnText = "\x01";

    const TDrawn* find(std::string_view text, int page = 0) const
    {
        for (const TDrawn& d : Texts)
            if (d.Text == text && (page == 0 || d.Page == page))
                return &d;
        return nullptr;
    }
    std::vector<const TDrawn*> onPage(int page, TReportFont font) const
    {
        std::vector<const TDrawn*> found;
        for (const TDrawn& d : Texts)
            if (d.Page == page && d.Font == font)
                found.push_back(&d);
        return found;
    }

private:
    int m_lineHeight;
    int m_page = 1;
    TReportFont m_font = TReportFont::Body;
};

TReportSource listingOf(int rows)
{
    TReportSource s;
    s.Captions = {"Nr", "Tag Pos", "Tag nr", "Taginfo", "Value", "Type", "Length", "Value Pos"};
    s.ColumnWidths = {30, 60, 60, 150, 250, 100, 50, 60};
    s.FilePath = "/scans/My Scans/page 1.tif";
    s.Date = "31.12.24";
    s.Rows.push_back({"", "", "Filename", "page 1.tif"}); // a header row: four cells
    s.Rows.push_back({});                                 // an empty row: none
    for (int r = 2; r < rows; ++r)
        s.Rows.push_back({std::to_string(r), "8", "256", "ImageWidth", "row " + std::to_string(r), "Short", "1", "18"});
    s.Rows.resize(static_cast<std::size_t>(rows));
    return s;
}

} // namespace

// L = 139 gives 40 rows a page on this sheet.
TEST(ReportJob, FortyOneRowsMakeTwoPages)
{
    TRecordingCanvas canvas(139);
    PrintReport(canvas, listingOf(41));
    EXPECT_EQ(canvas.PageNumber(), 2);

    const TDrawn* header1 = canvas.find("File: /scans/My Scans/page 1.tif      Date: 31.12.24  Page: 1 / 2");
    const TDrawn* header2 = canvas.find("File: /scans/My Scans/page 1.tif      Date: 31.12.24  Page: 2 / 2");
    ASSERT_TRUE(header1 && header2);
    EXPECT_EQ(header1->Page, 1);
    EXPECT_EQ(header2->Page, 2);
    EXPECT_EQ(header2->Font, TReportFont::Header);
    // Measured in the regular face (10 a character), not the bold one it is printed in.
    EXPECT_EQ(header2->At, (TReportPoint{4443 - 2 * (static_cast<int>(header2->Text.size()) * 10 / 2), 124}));

    // Page 2 holds the last row at line 1, and its rules reach three lines below T.
    const TDrawn* last = canvas.find("row 40");
    ASSERT_TRUE(last);
    EXPECT_EQ(last->Page, 2);
    EXPECT_EQ(last->At, (TReportPoint{1970 + 24, 620 + 139}));
    int rulesOnPage2 = 0;
    for (const auto& [page, line] : canvas.Lines) {
        if (page != 2 || line.From.X != line.To.X)
            continue;
        ++rulesOnPage2;
        EXPECT_EQ(line.From.Y, 620);
        EXPECT_EQ(line.To.Y, 620 + 3 * 139);
    }
    EXPECT_EQ(rulesOnPage2, 7);

    // Every page has its frame: captions, title and notice.
    for (int page : {1, 2}) {
        EXPECT_EQ(canvas.onPage(page, TReportFont::Caption).size(), 8u) << page;
        EXPECT_TRUE(canvas.find(ReportTitle, page)) << page;
        EXPECT_TRUE(canvas.find(ReportNotice, page)) << page;
    }
    const TDrawn* notice = canvas.find(ReportNotice);
    EXPECT_EQ(notice->At, (TReportPoint{238, 447}));
    EXPECT_EQ(notice->Font, TReportFont::Notice);
}

TEST(ReportJob, FortyRowsFitOnePage)
{
    TRecordingCanvas canvas(139);
    PrintReport(canvas, listingOf(40));
    EXPECT_EQ(canvas.PageNumber(), 1);
    EXPECT_TRUE(canvas.find("File: /scans/My Scans/page 1.tif      Date: 31.12.24  Page: 1 / 1"));
    const TDrawn* last = canvas.find("row 39");
    ASSERT_TRUE(last);
    EXPECT_EQ(last->At.Y, 620 + 40 * 139);
    // 40 rows of 8 cells each, every cell drawn, short rows with empty text.
    EXPECT_EQ(canvas.onPage(1, TReportFont::Body).size(), 40u * 8u);
    EXPECT_TRUE(canvas.find("page 1.tif"));
}

TEST(ReportJob, CellsAreLeftAlignedAndCaptionsCentred)
{
    TRecordingCanvas canvas(100);
    PrintReport(canvas, listingOf(3));
    const TDrawn* caption = canvas.find("Value");
    ASSERT_TRUE(caption);
    EXPECT_EQ(caption->Font, TReportFont::Caption);
    // Value spans 1970..3314; "Value" is 55 wide in bold.
    EXPECT_EQ(caption->At, (TReportPoint{1970 + 672 - 27, 595}));
    EXPECT_EQ(caption->Clip, (TReportRect{1994, 595, 3290, 695}));
    const TDrawn* cell = canvas.find("ImageWidth");
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->At, (TReportPoint{1164 + 24, 620 + 3 * 100}));
    EXPECT_EQ(cell->Clip, (TReportRect{1188, 920, 1946, 1020}));
}

TEST(ReportJob, TitleMovesWithTheHeaderLine)
{
    // Title 18 x 11 = 198 wide: the test point is half(198 + 4800) + 179 = 2678.
    TRecordingCanvas shortPath(100);
    PrintReport(shortPath, listingOf(3));
    EXPECT_EQ(shortPath.find(ReportTitle)->At, (TReportPoint{238, 248}));

    TReportSource source = listingOf(3);
    source.FilePath = "/" + std::string(300, 'd') + "/scan.tif";
    TRecordingCanvas longPath(100);
    PrintReport(longPath, source);
    EXPECT_EQ(longPath.find(ReportTitle)->At, (TReportPoint{(4800 - 198) / 2, 248}));
}

TEST(ReportJob, NarrowedColumnPrintsNothing)
{
    TReportSource source = listingOf(3);
    source.ColumnWidths[3] = 0; // Taginfo
    TRecordingCanvas canvas(100);
    PrintReport(canvas, source);
    EXPECT_FALSE(canvas.find("ImageWidth"));
    EXPECT_FALSE(canvas.find("Taginfo"));
    EXPECT_TRUE(canvas.find("row 2"));
}

TEST(ReportJob, NoRowsDrawNothing)
{
    TRecordingCanvas canvas(100);
    PrintReport(canvas, listingOf(0));
    EXPECT_TRUE(canvas.Texts.empty());
    EXPECT_TRUE(canvas.Lines.empty());
    EXPECT_EQ(canvas.PageNumber(), 1);
}

TEST(ReportJob, CanvasFailureEndsTheJob)
{
    TRecordingCanvas canvas(100);
    canvas.FailOnText = "row 2";
    EXPECT_THROW(PrintReport(canvas, listingOf(5)), std::runtime_error);
    EXPECT_FALSE(canvas.find("row 3"));
}

#include "report/reportjob.h"

namespace {

std::string_view cellText(const std::vector<std::string>& row, std::size_t column)
{
    return column < row.size() ? std::string_view(row[column]) : std::string_view();
}

void printFrame(TReportCanvas& canvas, const TReportLayout& layout, const TReportSource& source, int firstRow)
{
    const int page = canvas.PageNumber();
    for (const TReportLine& rule : layout.ColumnRules(page, firstRow))
        canvas.DrawLine(rule);

    canvas.SetFont(TReportFont::Caption);
    for (int c = 0; c < layout.ColumnCount(); ++c) {
        const TReportRect clip = layout.CaptionClip(c);
        const std::string_view caption = cellText(source.Captions, static_cast<std::size_t>(c));
        if (!clip.IsEmpty())
            canvas.DrawClippedText(clip, layout.CaptionOrigin(c, canvas.TextWidth(caption)), caption);
    }
    canvas.DrawLine(layout.CaptionRule());

    const std::string header = ReportHeaderText(source.FilePath, source.Date, page, layout.PageCount());
    canvas.SetFont(TReportFont::HeaderMeasure);
    const TReportPoint headerAt = layout.HeaderOrigin(canvas.TextWidth(header));
    canvas.SetFont(TReportFont::Header);
    canvas.DrawText(headerAt, header);

    canvas.SetFont(TReportFont::Title);
    canvas.DrawText(layout.TitleOrigin(canvas.TextWidth(ReportTitle), headerAt.X), ReportTitle);

    canvas.SetFont(TReportFont::Notice);
    canvas.DrawText(layout.NoticeOrigin(), ReportNotice);
    canvas.SetFont(TReportFont::Body);
}

} // namespace

void PrintReport(TReportCanvas& canvas, const TReportSource& source)
{
    canvas.SetFont(TReportFont::Body);
    const TReportLayout layout(canvas.Area(), source.ColumnWidths, canvas.TextHeight(LineHeightSample),
                               static_cast<int>(source.Rows.size()));

    for (const TReportPageRows& page : layout.Pages()) {
        if (page.Page > 1)
            canvas.NewPage();
        printFrame(canvas, layout, source, page.FirstRow);
        for (int line = 1; line <= page.RowCount; ++line) {
            const auto& row = source.Rows[static_cast<std::size_t>(page.FirstRow + line - 1)];
            for (int c = 0; c < layout.ColumnCount(); ++c) {
                const TReportRect clip = layout.CellClip(c, line);
                if (!clip.IsEmpty())
                    canvas.DrawClippedText(clip, layout.CellOrigin(c, line),
                                           cellText(row, static_cast<std::size_t>(c)));
            }
        }
    }
}

#include "report/reportlayout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

int half(int k)
{
    return k / 2; // C++ division drops the remainder towards zero
}

} // namespace

int RoundEven(double value)
{
    constexpr double lowest = std::numeric_limits<int>::min();
    constexpr double highest = std::numeric_limits<int>::max();
    if (std::isnan(value))
        return 0;
    value = std::clamp(value, lowest, highest);
    const double below = std::floor(value);
    const double fraction = value - below;
    double result = below;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0))
        result = below + 1.0;
    return static_cast<int>(std::min(result, highest));
}

TReportLayout::TReportLayout(const TPrintArea& area, std::span<const int> columnWidths, int lineHeight, int rowCount)
    : m_width(area.Width), m_h((area.Width + 2.0 * area.OffsetX) / 21.0),
      m_v((area.Height + 2.0 * area.OffsetY) / 28.215), m_lineHeight(std::max(lineHeight, 1)),
      m_rowCount(std::max(rowCount, 0))
{
    const int left = RoundEven(1.5 * m_h);
    m_rightMargin = area.Width - RoundEven(1.5 * m_h);
    const double free = static_cast<double>(m_rightMargin) - left;

    long long sum = 0;
    for (int w : columnWidths)
        sum += std::max(w, 0);
    m_edges.reserve(columnWidths.size() + 1);
    m_edges.push_back(left);
    for (int w : columnWidths) {
        // With no width on screen at all there is no proportion to keep; an
        // even share still prints every column.
        const double share =
            sum > 0 ? std::max(w, 0) / static_cast<double>(sum) : 1.0 / static_cast<double>(columnWidths.size());
        m_edges.push_back(m_edges.back() + RoundEven(share * free));
    }

    m_top = RoundEven(2.5 * m_v);
    m_rowsPerPage = std::max(RoundEven((area.Height - 5.0 * m_v) / m_lineHeight), 1);
    const long long pages = (static_cast<long long>(m_rowCount) + m_rowsPerPage - 1) / m_rowsPerPage;
    m_pageCount = static_cast<int>(std::max(pages, 1LL));
    m_insetH = RoundEven(0.1 * m_h);
    m_insetV = RoundEven(0.1 * m_v);
    m_insetRule = RoundEven(0.05 * m_v);
}

std::vector<TReportPageRows> TReportLayout::Pages() const
{
    std::vector<TReportPageRows> pages;
    for (int first = 0, page = 1; first < m_rowCount; first += m_rowsPerPage, ++page)
        pages.push_back({page, first, std::min(m_rowsPerPage, m_rowCount - first)});
    return pages;
}

std::vector<TReportLine> TReportLayout::ColumnRules(int page, int firstRow) const
{
    const long long lines =
        page == m_pageCount ? static_cast<long long>(m_rowCount) - firstRow + 2 : m_rowsPerPage + 1LL;
    const int bottom = static_cast<int>(m_top + lines * m_lineHeight);
    std::vector<TReportLine> rules;
    for (std::size_t c = 1; c + 1 < m_edges.size(); ++c)
        rules.push_back({{m_edges[c], m_top}, {m_edges[c], bottom}});
    return rules;
}

TReportLine TReportLayout::CaptionRule() const
{
    const int y = m_top + m_lineHeight - m_insetRule;
    return {{m_edges.front() - m_insetH, y}, {m_edges.back() + m_insetH, y}};
}

TReportPoint TReportLayout::CaptionOrigin(int column, int captionWidth) const
{
    const int left = m_edges.at(static_cast<std::size_t>(column));
    const int right = m_edges.at(static_cast<std::size_t>(column) + 1);
    return {left + half(right - left) - half(captionWidth), m_top - m_insetV};
}

TReportRect TReportLayout::CaptionClip(int column) const
{
    const int left = m_edges.at(static_cast<std::size_t>(column));
    const int right = m_edges.at(static_cast<std::size_t>(column) + 1);
    return {left + m_insetH, m_top - m_insetV, right - m_insetH, m_top + m_lineHeight - m_insetV};
}

TReportPoint TReportLayout::CellOrigin(int column, int line) const
{
    return {m_edges.at(static_cast<std::size_t>(column)) + m_insetH, m_top + line * m_lineHeight};
}

TReportRect TReportLayout::CellClip(int column, int line) const
{
    const int left = m_edges.at(static_cast<std::size_t>(column));
    const int right = m_edges.at(static_cast<std::size_t>(column) + 1);
    const int top = m_top + line * m_lineHeight;
    return {left + m_insetH, top, right - m_insetH, top + m_lineHeight};
}

TReportPoint TReportLayout::HeaderOrigin(int measuredWidth) const
{
    return {m_rightMargin - 2 * half(measuredWidth), RoundEven(0.5 * m_v)};
}

TReportPoint TReportLayout::TitleOrigin(int titleWidth, int headerX) const
{
    const int y = RoundEven(m_v);
    if (headerX < half(titleWidth + m_width) + RoundEven(0.75 * m_h))
        return {half(m_width - titleWidth), y};
    return {RoundEven(m_h), y};
}

TReportPoint TReportLayout::NoticeOrigin() const
{
    return {RoundEven(m_h), RoundEven(1.8 * m_v)};
}

std::string ReportHeaderText(std::string_view path, std::string_view date, int page, int pageCount)
{
    std::string text = "File: ";
    text += path;
    text += "      Date: ";
    text += date;
    text += "  Page: " + std::to_string(page) + " / " + std::to_string(pageCount);
    return text;
}

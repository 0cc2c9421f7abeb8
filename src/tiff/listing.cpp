#include "tiff/listing.h"

#include "tiff/codepage.h"
#include "tiff/errors.h"
#include "tiff/tiff.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>

std::string_view ExtractFileName(std::string_view path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

namespace {

/// Text for the cells of one row, side by side in place of a string each.
class TCellText {
public:
    /// The decimal text of a number.
    std::string_view Decimal(std::int32_t value) { return keep(WriteNumberText(next(), value, false)); }
    /// A position or count: NumberText's 32-bit cell, whole in a BigTIFF file.
    std::string_view Number(const TTiffFile& file, std::int64_t value, bool hex)
    {
        if (file.IsBigTiff())
            return keep(WriteWideNumberText(next(), static_cast<std::uint64_t>(value), hex));
        return Classic(static_cast<std::int32_t>(value), hex);
    }
    std::string_view Classic(std::int32_t value, bool hex) { return keep(WriteNumberText(next(), value, hex)); }

private:
    char* next() { return m_bytes + m_used; }
    std::string_view keep(char* end)
    {
        const std::string_view text(next(), static_cast<std::size_t>(end - next()));
        m_used += text.size();
        return text;
    }
    // The numbers of a row: Nr, Tag Pos, Tag nr, Length, Value Pos.
    char m_bytes[5 * kNumberTextRoom];
    std::size_t m_used = 0;
};

/// The cells of a read entry's row, the numbers' texts kept in text; name is its Taginfo.
std::array<std::string_view, 8> tagCells(TCellText& text, const TTiffFile& file, int nr, const TTag& tag,
                                         std::string_view name, bool hex)
{
    // A braced list is evaluated in order, so the numbers' texts lie side by side.
    return {text.Decimal(nr),
            text.Number(file, tag.EntryPos, hex),
            text.Decimal(tag.Number()),
            name,
            tag.ValueText,
            tag.TypeName(),
            text.Number(file, tag.Count, hex),
            text.Number(file, tag.ValuePos, hex)};
}

/// The cells of an unread entry's row: its Nr and Tag Pos and an empty Tag nr.
std::array<std::string_view, 3> unreadCells(TCellText& text, int nr, const TTag& tag, bool hex)
{
    return {text.Decimal(nr), text.Classic(static_cast<std::int32_t>(tag.EntryPos), hex), ""};
}

} // namespace

bool ForEachListingRow(const TTiffFile& file, int page, bool hex, const std::function<void(TListingCells)>& row)
{
    const auto emit = [&row](std::initializer_list<std::string_view> cells) { row({cells.begin(), cells.size()}); };
    const std::string pages = std::to_string(file.PageCount());
    const std::string current = std::to_string(page);
    emit({"", "", "Filename", ExtractFileName(file.FileName)});
    emit({"", "", "", "Total Pages", pages});
    emit({"", "", "", "Current Page", current});
    emit({"", "", "", "Header Byte order", file.ByteOrderText()});
    emit({});

    const TTiffPage* p = file.Pages.GetPage(page - 1);
    if (!p)
        return true;
    int nr = 0;
    for (const TTag& tag : p->Tags) {
        ++nr;
        TCellText text;
        if (!tag.IsRead()) {
            // No number, so no name: the listing ends here, after the cells
            // that could be written before the name was looked up.
            row(unreadCells(text, nr, tag, hex));
            return true;
        }
        row(tagCells(text, file, nr, tag, tag.TagName(), hex));
    }
    emit({});
    emit({"", "", "", BannerTitle, BannerText});
    return false;
}

std::vector<TListingRow> HeaderRows(const TTiffFile& file, std::string_view label, std::string text)
{
    std::vector<TListingRow> rows;
    rows.push_back({"", "", "Filename", std::string(ExtractFileName(file.FileName))});
    rows.push_back({"", "", "", "Total Pages", std::to_string(file.PageCount())});
    rows.push_back({"", "", "", std::string(label), std::move(text)});
    rows.push_back({"", "", "", "Header Byte order", std::string(file.ByteOrderText())});
    rows.emplace_back();
    return rows;
}

void AppendTagRow(std::vector<TListingRow>& rows, const TTiffFile& file, int nr, const TTag& tag, std::string_view name,
                  bool hex)
{
    TCellText text;
    const auto cells = tagCells(text, file, nr, tag, name, hex);
    rows.emplace_back(cells.begin(), cells.end());
}

TListingRow UnreadTagRow(int nr, const TTag& tag, bool hex)
{
    TCellText text;
    const auto cells = unreadCells(text, nr, tag, hex);
    return {cells.begin(), cells.end()};
}

void AppendClosingRows(std::vector<TListingRow>& rows)
{
    rows.emplace_back();
    rows.push_back({"", "", "", std::string(BannerTitle), std::string(BannerText)});
}

TListing BuildListing(const TTiffFile& file, int page, bool hex)
{
    TListing out;
    if (const TTiffPage* p = file.Pages.GetPage(page - 1))
        out.Rows.reserve(FirstTagRow + static_cast<std::size_t>(p->Tags.Count()) + 2);
    out.Failed = ForEachListingRow(file, page, hex,
                                   [&out](TListingCells cells) { out.Rows.emplace_back(cells.begin(), cells.end()); });
    return out;
}

std::string FileNamePanelText(std::string_view path)
{
    // Counted in characters, not bytes, so a path with accents is cut cleanly.
    const std::size_t length = Utf8Length(path);
    if (length < 30)
        return "Filename: " + std::string(path);
    // "..." and the last 31 characters: a path of exactly 30 shows whole.
    std::size_t skip = length > 31 ? length - 31 : 0;
    std::size_t i = 0;
    while (skip > 0) {
        ++i;
        while (i < path.size() && (static_cast<unsigned char>(path[i]) & 0xC0) == 0x80)
            ++i;
        --skip;
    }
    return "..." + std::string(path.substr(i));
}

std::string PagesPanelText(int currentPage, int pageCount)
{
    return "Page " + std::to_string(currentPage) + " of " + std::to_string(pageCount);
}

namespace {

long double millimetres(std::int32_t pixels, std::int32_t perInch)
{
    if (perInch == 0)
        throw EMathError(pixels == 0 ? "Invalid floating point operation" : "Floating point division by zero");
    return static_cast<long double>(pixels) / perInch * 25.4L;
}

std::string fixed2(long double v, std::string_view separator)
{
    // to_chars ignores the C locale, which a GUI toolkit may have changed.
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
    std::string s(buf, r.ptr);
    if (s.size() < 8)
        s.insert(0, 8 - s.size(), ' ');
    const auto dot = s.find('.');
    if (dot != std::string::npos)
        s.replace(dot, 1, separator);
    return s;
}

} // namespace

std::string FileInfoPanelText(const TTiffPage& page, std::string_view decimalSeparator)
{
    // All four values first, in this order: it decides which error a page
    // with several bad values reports.
    const std::int32_t w = page.ImageWidth();
    const std::int32_t l = page.ImageLength();
    const std::int32_t x = page.XResolution();
    const std::int32_t y = page.YResolution();
    const long double width = millimetres(w, x);
    const long double length = millimetres(l, y);
    return "Width: " + fixed2(width, decimalSeparator) + " mm;" + "  Length: " + fixed2(length, decimalSeparator) +
           " mm";
}

std::string SizePanelText(const TTiffPage& page, std::string_view decimalSeparator)
{
    // Walked in the order FileInfoPanelText takes the values, so the first
    // value that stops it is the one named.
    static constexpr std::pair<std::uint16_t, std::string_view> kValues[] = {
        {256, "ImageWidth"}, {257, "ImageLength"}, {282, "XResolution"}, {283, "YResolution"}};
    std::int32_t v[4] = {};
    for (std::size_t i = 0; i < 4; ++i) {
        const auto& [number, name] = kValues[i];
        const TTag* tag = page.FindTag(number);
        try {
            v[i] = tag ? StrToInt(tag->ValueText) : 1;
        } catch (const EConvertError&) {
            const std::string_view text = tag->ValueText;
            const bool blank =
                std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) <= ' '; });
            return "Size: unknown, " + std::string(name) + (blank ? " is blank" : " is not a whole number");
        }
    }
    if (v[2] == 0)
        return "Size: unknown, XResolution is 0";
    if (v[3] == 0)
        return "Size: unknown, YResolution is 0";
    return FileInfoPanelText(page, decimalSeparator);
}

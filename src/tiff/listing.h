#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TTag;
class TTiffFile;
class TTiffPage;

// The tag table of the single-file view as plain rows of UTF-8 cells, in the
// column order Nr, Tag Pos, Tag nr, Taginfo, Value, Type, Length, Value Pos.
// The window, the printed report and `--dump` all show these rows.

using TListingRow = std::vector<std::string>;

/// Tag rows start here; rows 0 to 3 describe the file and row 4 is empty.
inline constexpr int FirstTagRow = 5;

inline constexpr std::string_view BannerTitle = "Velquin Ver 4.0";
inline constexpr std::string_view BannerText = "www.velquin.example.com";

struct TListing {
    std::vector<TListingRow> Rows;
    /// The page was missing or a tag had no row of its own ("Input file wrong");
    /// Rows holds what was built before the failure, without the closing rows:
    /// an unread entry leaves a row of its Nr and Tag Pos and an empty Tag nr.
    bool Failed = false;
};

/// Builds the rows for the 1-based page; never throws.
TListing BuildListing(const TTiffFile& file, int page, bool hex);

/// The cells of one row, valid only while the row is handed over.
using TListingCells = std::span<const std::string_view>;

/// The rows BuildListing builds, handed to row one at a time instead of kept
/// (a page of 65,535 entries lists without a string per cell); returns what
/// TListing::Failed would hold. Throws what row throws.
bool ForEachListingRow(const TTiffFile& file, int page, bool hex, const std::function<void(TListingCells)>& row);

/// Appends the row of a read entry: nr counts from 1, name is its Taginfo
/// (the dictionary's for a page, the kind's table below one).
void AppendTagRow(std::vector<TListingRow>& rows, const TTiffFile& file, int nr, const TTag& tag, std::string_view name,
                  bool hex);
/// The row of an entry that could not be read: its Nr and Tag Pos and an
/// empty Tag nr, where the listing ends.
TListingRow UnreadTagRow(int nr, const TTag& tag, bool hex);
/// Rows 0 to 4 with the given label and text in row 2 ("Current Page", "3").
std::vector<TListingRow> HeaderRows(const TTiffFile& file, std::string_view label, std::string text);
/// The empty row and the banner that close a listing.
void AppendClosingRows(std::vector<TListingRow>& rows);

/// Status-bar texts of the file name, page position and physical size.
std::string FileNamePanelText(std::string_view path);
std::string PagesPanelText(int currentPage, int pageCount);
/// "Width: ... mm;  Length: ... mm" with the given decimal separator.
/// Throws EConvertError for a value that is not a whole number and EMathError
/// for a resolution of 0.
std::string FileInfoPanelText(const TTiffPage& page, std::string_view decimalSeparator);

/// FileInfoPanelText, or "Size: unknown, ..." naming the value that stops
/// the computation (a resolution of 0, a size that is not a whole number);
/// never throws.
std::string SizePanelText(const TTiffPage& page, std::string_view decimalSeparator);

/// The file's name without its directory.
std::string_view ExtractFileName(std::string_view path);

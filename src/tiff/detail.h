#pragma once

// What the window shows of a file beyond the listing of a page: any directory
// of the tree in the listing's columns, and one entry in full. The values are
// read from the file when a view asks for them, a page of items at a time,
// and only while the file on disk is still the one that was read: positions
// taken from an earlier read would show another file's bytes as this one's.

#include "tiff/dirkind.h"
#include "tiff/errors.h"
#include "tiff/listing.h"
#include "tiff/values.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TTiffFile;
class TValueSource;

/// The file on disk is no longer the file that was read.
class EFileChanged : public EVelquinError {
public:
    EFileChanged() : EVelquinError("The file has changed since it was read (open it again)") {}
};

/// Throws EFileChanged unless source reads the file as file's read found it.
void checkSameFile(const TTiffFile& file, const TValueSource& source);

/// Opens file's path for its values. Throws EFOpenError when it cannot be
/// opened (it is gone, for one) and EFileChanged when it has changed.
std::unique_ptr<TValueSource> openValues(const TTiffFile& file);

/// The 1-based page a directory of the tree lies under (its own number for a page).
int pageNumberOf(const TTiffFile& file, std::size_t directory);
/// Index in Directories of the 1-based page's directory; nothing when the
/// file keeps no such directory.
std::optional<std::size_t> pageDirectory(const TTiffFile& file, int page);
/// Steps from the directory up to its page: 0 for a page.
int directoryDepth(const TTiffFile& file, std::size_t directory);

/// Items and text that a Value cell of a directory listing holds at most; the
/// detail pane shows the rest.
inline constexpr std::uint64_t CellItems = 8;
inline constexpr std::size_t CellTextBytes = 256;

/// The rows of any directory in the listing's columns: rows 0 to 3 name the
/// file, the directory, its kind and the byte order, row 4 is empty, then one
/// row per entry from FirstTagRow, an empty row (or one that says the
/// directory could not be read whole) and the banner. Taginfo comes
/// from the kind's table; Value holds the first values read through source
/// (left empty when source is null); positions and counts are written in the
/// display mode, whole in a BigTIFF file, and Value Pos is where the value
/// lies. Never throws for what the file holds.
TListing buildDirectoryListing(const TTiffFile& file, std::size_t directory, TValueSource* source, bool hex);

/// The Value cell of an entry from the first bytes of its value: up to
/// CellItems items joined by ", " and " …" when more follow; a text up to
/// its first NUL (CellTextBytes at most). "?" for a type without a size.
std::string entryValueCell(std::uint16_t type, std::uint64_t count, std::span<const std::uint8_t> bytes,
                           std::endian order);

/// Where an entry that names a sub-directory (SubIFDs, Exif, GPS,
/// Interoperability) leads.
struct TPointer {
    /// The entry names a sub-directory and its type holds offsets.
    bool IsPointer = false;
    /// The directory read at one of its offsets: the one read below this
    /// directory, else one met before (the entry closes a loop).
    std::optional<std::size_t> Directory;
    /// Its first offset; where no directory could be read, the one to name.
    std::uint64_t Offset = 0;
};

/// The entry names a sub-directory: a SubIFDs, Exif or GPS entry of a page or
/// a SubIFD, an Interoperability entry of an Exif directory, of a type that
/// holds offsets. Reads nothing.
bool namesSubDirectory(const TTiffFile& file, std::size_t directory, std::size_t entry);

/// Reads up to a few hundred of the entry's offsets through source.
TPointer pointedDirectory(const TTiffFile& file, std::size_t directory, std::size_t entry, TValueSource& source);

/// One entry in full, a page of its items at a time.
struct TEntryDetail {
    /// "ExposureTime (33434) in 1/exif"
    std::string Title;
    /// A line each: its type and count, where the entry and its value lie,
    /// where it leads.
    std::vector<std::string> Facts;
    /// The items on view, a line each: "[i] text", and " = name" after a
    /// named value; a text as its strings, each at the index of its first byte.
    std::vector<std::string> Values;
    /// The raw bytes of the items on view, 16 a line after their file offset.
    std::vector<std::string> Dump;
    TValuePage Page;             ///< the items on view
    std::uint64_t Count = 0;     ///< items in the value, as stored
    std::uint64_t BytesRead = 0; ///< what this page took from the file
};

/// "ExposureTime (33434) in 1/exif", "ImageWidth (256) on page 1"; for an
/// entry that lies past the end of the file, its number instead of its tag.
std::string entryTitle(const TTiffFile& file, std::size_t directory, std::size_t entry);

/// Entry `entry` of directory `directory` with the items [first, first +
/// pageItems). Throws EFileChanged when source does not read the file that
/// was read; nothing else for what the file holds.
TEntryDetail describeEntry(const TTiffFile& file, std::size_t directory, std::size_t entry, TValueSource& source,
                           std::uint64_t first, std::uint64_t pageItems);

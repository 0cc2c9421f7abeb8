#pragma once

#include "tiff/listing.h"

#include <cstddef>
#include <optional>
#include <string_view>

class TTiffFile;
class TValueSource;

// Any directory of the tree listed in the rows of a page's listing, so that
// one format serves the pages and the directories below them.

/// Index in file.Directories of the directory with this id ("2", "2/exif"),
/// or nothing.
std::optional<std::size_t> FindDirectory(const TTiffFile& file, std::string_view id);

/// Index in file.Directories of the 0-based page's directory, or nothing (the
/// file was read without its tree, or has no such page).
std::optional<std::size_t> PageDirectory(const TTiffFile& file, int pageIndex);

/// The rows of directory index of file. A page's are BuildListing's. A
/// directory below a page lists the same columns: row 2 names it
/// ("Directory", "2/exif"), Taginfo comes from its kind's table, and each
/// entry is read from source and decoded by the pages' rules; an entry that
/// cannot be read ends the rows as it ends a page's (Failed). source must be
/// the file that was read. Never throws but for memory.
TListing BuildDirectoryListing(const TTiffFile& file, std::size_t index, TValueSource& source, bool hex);

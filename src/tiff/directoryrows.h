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

/// The rows of directory index of file. A page's are BuildListing's; a
/// directory below a page lists the rows the window shows for it
/// (buildDirectoryListing). source must be the file that was read. Never
/// throws but for memory.
TListing BuildDirectoryListing(const TTiffFile& file, std::size_t index, TValueSource& source, bool hex);

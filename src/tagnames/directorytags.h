#pragma once

#include "tagnames/utagdescription.h"
#include "tiff/dirkind.h"

#include <cstdint>
#include <span>
#include <string_view>

/// Name of tag number in a directory of this kind; never fails. Pages and
/// SubIFDs use GetTagDescription unchanged. Exif directories share TIFF's
/// numbering, so a number outside the Exif table falls back to the page
/// dictionary; GPS and Interoperability directories number their tags
/// afresh (GPS tag 1 is not tag 1 of any other kind), so they fall back to
/// UnknownTagName.
std::string_view directoryTagName(TDirectoryKind kind, std::uint16_t number);

// The tables, sorted by number (for tests and for lists of known tags).
std::span<const TTagDescriptionRow> exifTagTable();
std::span<const TTagDescriptionRow> gpsTagTable();
std::span<const TTagDescriptionRow> interopTagTable();

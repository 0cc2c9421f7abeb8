#pragma once

#include <string_view>

/// What a directory is: a page of the chain, or a directory an entry points to.
enum class TDirectoryKind { Page, SubIfd, Exif, Gps, Interop };

/// The kind as a sentence names it: "page", "SubIFD", "Exif", "GPS", "Interoperability".
constexpr std::string_view directoryKindName(TDirectoryKind kind)
{
    switch (kind) {
    case TDirectoryKind::Page:
        return "page";
    case TDirectoryKind::SubIfd:
        return "SubIFD";
    case TDirectoryKind::Exif:
        return "Exif";
    case TDirectoryKind::Gps:
        return "GPS";
    case TDirectoryKind::Interop:
        return "Interoperability";
    }
    return "";
}

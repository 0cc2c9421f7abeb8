#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

/// What a directory is: a page of the chain, or a directory an entry points to.
enum class TDirectoryKind { Page, SubIfd, Exif, Gps, Interop };

/// The kind as ids, JSON and `--tags` items spell it: "page", "subifd", "exif", "gps", "interop".
constexpr std::string_view DirectoryKindWord(TDirectoryKind kind)
{
    constexpr std::string_view kWords[] = {"page", "subifd", "exif", "gps", "interop"};
    return kWords[static_cast<int>(kind)];
}

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

/// The directory an entry of a directory of kind parent points to, if any:
/// SubIFDs, Exif and GPS below a page or a SubIFD, Interoperability below Exif.
constexpr std::optional<TDirectoryKind> pointedKind(TDirectoryKind parent, std::uint16_t tag)
{
    if (parent == TDirectoryKind::Page || parent == TDirectoryKind::SubIfd) {
        if (tag == 330)
            return TDirectoryKind::SubIfd;
        if (tag == 34665)
            return TDirectoryKind::Exif;
        if (tag == 34853)
            return TDirectoryKind::Gps;
    }
    if (parent == TDirectoryKind::Exif && tag == 40965)
        return TDirectoryKind::Interop;
    return std::nullopt;
}

/// Types whose values are offsets: LONG and IFD, and in BigTIFF LONG8 and IFD8.
constexpr bool holdsOffsets(std::uint16_t type, bool bigTiff)
{
    return type == 4 || type == 13 || (bigTiff && (type == 16 || type == 18));
}

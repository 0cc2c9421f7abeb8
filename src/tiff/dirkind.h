#pragma once

#include <string_view>

/// What a directory is: a page of the chain, or a directory an entry points to.
enum class TDirectoryKind { Page, SubIfd, Exif, Gps, Interop };

/// The kind as ids, JSON and `--tags` items spell it: "page", "subifd", "exif", "gps", "interop".
constexpr std::string_view DirectoryKindWord(TDirectoryKind kind)
{
    constexpr std::string_view kWords[] = {"page", "subifd", "exif", "gps", "interop"};
    return kWords[static_cast<int>(kind)];
}

#include "tiff/directoryrows.h"

#include "tiff/detail.h"
#include "tiff/tiff.h"
#include "tiff/valuesource.h"

std::optional<std::size_t> FindDirectory(const TTiffFile& file, std::string_view id)
{
    for (std::size_t i = 0; i < file.Directories.size(); ++i)
        if (file.Directories[i].Id == id)
            return i;
    return std::nullopt;
}

TListing BuildDirectoryListing(const TTiffFile& file, std::size_t index, TValueSource& source, bool hex)
{
    const TDirectory& directory = file.Directories.at(index);
    if (directory.Kind == TDirectoryKind::Page)
        return BuildListing(file, directory.Page + 1, hex);
    // The rows the window shows for the directory, so the two never differ.
    return buildDirectoryListing(file, index, &source, hex);
}

#include "tiff/directoryrows.h"

#include "tagnames/directorytags.h"
#include "tiff/tiff.h"
#include "tiff/valuesource.h"

std::optional<std::size_t> FindDirectory(const TTiffFile& file, std::string_view id)
{
    for (std::size_t i = 0; i < file.Directories.size(); ++i)
        if (file.Directories[i].Id == id)
            return i;
    return std::nullopt;
}

std::optional<std::size_t> PageDirectory(const TTiffFile& file, int pageIndex)
{
    for (std::size_t i = 0; i < file.Directories.size(); ++i)
        if (file.Directories[i].Page == pageIndex)
            return i;
    return std::nullopt;
}

TListing BuildDirectoryListing(const TTiffFile& file, std::size_t index, TValueSource& source, bool hex)
{
    const TDirectory& directory = file.Directories.at(index);
    if (directory.Kind == TDirectoryKind::Page)
        return BuildListing(file, directory.Page + 1, hex);
    TListing out;
    out.Rows = HeaderRows(file, "Directory", directory.Id);
    int nr = 0;
    for (const TEntry& entry : directory.Entries) {
        ++nr;
        const TTag tag = source.ReadTag(file, entry.Position);
        if (!tag.IsRead()) {
            out.Rows.push_back(UnreadTagRow(nr, tag, hex));
            out.Failed = true;
            return out;
        }
        AppendTagRow(out.Rows, file, nr, tag, directoryTagName(directory.Kind, tag.Number()), hex);
    }
    AppendClosingRows(out.Rows);
    return out;
}

#pragma once

#include "tiff/dirkind.h"

#include <functional>
#include <optional>
#include <string_view>

class TTagSearchList;
class TTiffFile;
class TValueSource;

// Which entries a tag search entry finds. "256  Imagewidth" finds tag 256 in
// a page's own directory, as it always has. An entry whose number is named
// with a directory kind, "exif:36867  DateTimeOriginal" or "gps:2  Latitude",
// finds the tag in the directories of that kind below the page instead
// (Exif, GPS, Interoperability or SubIFD, at any depth, in the tree's order);
// those values are the one text a page's entry of the same type would show.

struct TTagItem {
    std::optional<TDirectoryKind> Kind; ///< none: the page's own directory
    int Number = -1;                    ///< -1: no tag matches (no digits, a leading zero, past 65535)

    friend bool operator==(const TTagItem&, const TTagItem&) = default;
};

/// "exif", "gps", "interop" or "subifd", letter case ignored; nothing for
/// any other word ("page" included: a page item has no kind).
std::optional<TDirectoryKind> DirectoryKindNamed(std::string_view word);

/// The item an entry text asks for. A known kind and a colon before the
/// digits name the kind; any other text is read by EntryTagNumber alone.
TTagItem TagItemOf(std::string_view entryText);

/// Some entry of the list names a kind, so a run must read every directory.
bool NamesDirectoryKind(const TTagSearchList& list);

/// Calls found(text) with the value text of every entry of the item's kind
/// and number below the 0-based page, reading them through source, which
/// must be the file that was read. Nothing for a page item, or a file read
/// without its tree.
void ForEachKindValue(const TTiffFile& file, int pageIndex, const TTagItem& item, TValueSource& source,
                      const std::function<void(std::string_view)>& found);

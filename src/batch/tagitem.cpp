#include "batch/tagitem.h"

#include "batch/searchlist.h"
#include "tiff/detail.h"
#include "tiff/directoryrows.h"
#include "tiff/tiff.h"
#include "tiff/valuesource.h"

namespace {

/// The tag number whose decimal text equals the digits exactly, or -1: a
/// leading zero, no digits or a number beyond 16 bits matches no tag.
int matchingTagNumber(std::string_view digits)
{
    if (digits.empty() || digits.size() > 5 || (digits.size() > 1 && digits[0] == '0'))
        return -1;
    int number = 0;
    for (const char c : digits) // EntryTagNumber gives digits only
        number = number * 10 + (c - '0');
    return number <= 0xFFFF ? number : -1;
}

} // namespace

std::optional<TDirectoryKind> DirectoryKindNamed(std::string_view word)
{
    for (const TDirectoryKind kind :
         {TDirectoryKind::SubIfd, TDirectoryKind::Exif, TDirectoryKind::Gps, TDirectoryKind::Interop})
        if (CompareTextIgnoringCase(word, DirectoryKindWord(kind)) == 0)
            return kind;
    return std::nullopt;
}

TTagItem TagItemOf(std::string_view entryText)
{
    // Every line of a run asks this of every entry; most begin with a digit.
    std::size_t first = 0;
    while (first < entryText.size() && static_cast<unsigned char>(entryText[first]) <= ' ')
        ++first;
    if (first < entryText.size() && (entryText[first] < '0' || entryText[first] > '9')) {
        const std::string_view text = TrimBlanksAndControls(entryText);
        const std::string_view head = text.substr(0, text.find(' '));
        const std::size_t colon = head.find(':');
        if (colon != std::string_view::npos) {
            if (const std::optional<TDirectoryKind> kind = DirectoryKindNamed(head.substr(0, colon)))
                return {kind, matchingTagNumber(EntryTagNumber(head.substr(colon + 1)))};
        }
    }
    return {std::nullopt, matchingTagNumber(EntryTagNumber(entryText))};
}

bool NamesDirectoryKind(const TTagSearchList& list)
{
    for (const TTagSearchEntry& entry : list.Entries())
        if (TagItemOf(entry.Text).Kind)
            return true;
    return false;
}

void ForEachKindValue(const TTiffFile& file, int pageIndex, const TTagItem& item, TValueSource& source,
                      const std::function<void(std::string_view)>& found)
{
    const std::optional<std::size_t> page = pageDirectory(file, pageIndex + 1);
    if (!item.Kind || item.Number < 0 || !page)
        return;
    // A page's tree follows it, up to the next page.
    for (std::size_t i = *page + 1; i < file.Directories.size(); ++i) {
        const TDirectory& directory = file.Directories[i];
        if (directory.Kind == TDirectoryKind::Page)
            break;
        if (directory.Kind != *item.Kind)
            continue;
        for (const TEntry& entry : directory.Entries) {
            if (entry.Stored < 2 || entry.Tag != item.Number)
                continue;
            const TTag tag = source.ReadTag(file, entry.Position);
            if (tag.IsRead())
                found(tag.ValueText);
        }
    }
}

#include "tiff/detail.h"

#include "tagnames/directorytags.h"
#include "tagnames/enumerations.h"
#include "tiff/codepage.h"
#include "tiff/tiff.h"
#include "tiff/valuesource.h"

#include <algorithm>
#include <limits>
#include <unordered_map>

namespace {

// Offsets of one entry looked at to find where it leads: SubIFDs lists are
// short, and a hostile count must not make a double click read megabytes.
constexpr std::uint64_t kPointerOffsets = 256;

constexpr std::uint16_t kAscii = 2;

std::uint64_t fieldBytes(const TTiffFile& file)
{
    return file.IsBigTiff() ? 8 : 4;
}

std::uint64_t entryBytes(const TTiffFile& file)
{
    return file.IsBigTiff() ? 20 : 12;
}

std::endian orderOf(const TTiffFile& file)
{
    return file.IsBigEndian() ? std::endian::big : std::endian::little;
}

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b)
{
    return a > std::numeric_limits<std::uint64_t>::max() - b ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

/// A position or count cell: the listing's 32-bit cell, whole in a BigTIFF file.
std::string numberCell(const TTiffFile& file, std::uint64_t value, bool hex)
{
    return file.IsBigTiff() ? WideNumberText(value, hex)
                            : NumberText(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)), hex);
}

/// "1102 (0x44E)": the pane is read in both modes at once.
std::string positionText(std::uint64_t pos)
{
    return std::to_string(pos) + " (0x" + WideNumberText(pos, true) + ")";
}

/// The entry's value position is known: in its own field, or the whole entry was read.
bool valueKnown(const TTiffFile& file, const TEntry& e)
{
    return e.Inline || e.Stored >= entryBytes(file);
}

/// A name from a table, without the blanks that pad "Unknown Tag".
std::string trimmed(std::string_view name)
{
    const auto end = name.find_last_not_of(' ');
    return std::string(name.substr(0, end == std::string_view::npos ? 0 : end + 1));
}

/// A string as the pane shows it: in quotes, with control characters as \xNN
/// so that one string stays on one line.
std::string quoted(std::string_view utf8)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            if (c == '\\' || c == '"')
                out += '\\';
            out += ch;
        }
    }
    return out + "\"";
}

/// "[12] ": an item's index, as the values are listed.
std::string indexText(std::uint64_t i)
{
    std::string text(1, '[');
    text += std::to_string(i);
    text += "] ";
    return text;
}

std::string bytesText(std::uint64_t n)
{
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

std::string valueCellOf(const TTiffFile& file, const TEntry& e, TValueSource& source)
{
    if (fieldTypeSize(e.Type) == 0)
        return "?";
    if (e.Count == 0)
        return "";
    const std::uint64_t want = e.Type == kAscii ? std::min<std::uint64_t>(e.Count, CellTextBytes)
                                                : valueByteCount(e.Type, std::min(e.Count, CellItems));
    const std::vector<std::uint8_t> bytes = source.Read(e.ValueOffset, static_cast<std::size_t>(want));
    return entryValueCell(e.Type, e.Count, bytes, orderOf(file));
}

TListingRow entryRow(const TTiffFile& file, const TDirectory& d, std::size_t i, TValueSource* source, bool hex)
{
    const TEntry& e = d.Entries[i];
    TListingRow row{std::to_string(i + 1), numberCell(file, e.Position, hex)};
    if (e.Stored == 0) {
        row.insert(row.end(), {"", "", "(past the end of the file)"});
        return row;
    }
    const bool named = e.Stored >= 2;
    const bool typed = e.Stored >= 4;
    const bool counted = e.Stored >= 4 + fieldBytes(file);
    row.push_back(named ? std::to_string(e.Tag) : "");
    row.push_back(named ? std::string(directoryTagName(d.Kind, e.Tag)) : "");
    if (!valueKnown(file, e))
        row.push_back("(cut by the end of the file)");
    else
        row.push_back(source ? valueCellOf(file, e, *source) : "");
    row.push_back(typed ? std::string(fieldTypeName(e.Type)) : "");
    row.push_back(counted ? numberCell(file, e.Count, hex) : "");
    row.push_back(valueKnown(file, e) ? numberCell(file, e.ValueOffset, hex) : "");
    return row;
}

/// Where the value lies and how much of it the file holds.
std::string valueFact(const TTiffFile& file, const TEntry& e, std::uint64_t fileSize)
{
    if (fieldTypeSize(e.Type) == 0)
        return "Value: of a type without a known size; its field holds " + bytesText(fieldBytes(file)) + " at " +
               positionText(e.ValueOffset);
    if (e.Count == 0)
        return "Value: none (count 0)";
    const std::uint64_t bytes = e.ValueBytes();
    std::string fact = "Value: " + bytesText(bytes);
    if (!valueKnown(file, e))
        return fact + ", at an offset cut off by the end of the file";
    fact += " at " + positionText(e.ValueOffset);
    if (e.Inline)
        fact += ", inside the entry";
    const std::string size = " (" + bytesText(fileSize) + ")";
    if (e.ValueOffset >= fileSize)
        return fact + ", past the end of the file" + size;
    if (bytes > fileSize - e.ValueOffset)
        fact += "; only " + std::to_string(fileSize - e.ValueOffset) + " of them lie in the file" + size;
    return fact;
}

/// The strings of the text bytes on view, each at the index of its first
/// byte; empty strings (NULs in a row, padding) only where nothing else is.
void addStrings(TEntryDetail& out, const TDirectory& d, const TEntry& e, std::span<const std::uint8_t> bytes,
                std::uint64_t first)
{
    if (bytes.empty())
        return;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= bytes.size(); ++i) {
        if (i < bytes.size() && bytes[i] != 0)
            continue;
        if (i > start || out.Values.empty()) {
            std::string text;
            AppendCp1252AsUtf8(text, bytes.data() + start, i - start);
            std::string line = indexText(first + start) + quoted(text);
            if (const auto name = enumerationName(d.Kind, e.Tag, std::string_view(text)))
                line += " = " + *name;
            out.Values.push_back(std::move(line));
        }
        start = i + 1;
    }
}

void addItems(TEntryDetail& out, const TTiffFile& file, const TDirectory& d, const TEntry& e,
              std::span<const std::uint8_t> bytes)
{
    const TValueDecoder items(bytes, e.Type, out.Page.Count, orderOf(file));
    out.Values.reserve(items.size() + 1);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const TValueItem item = items.item(i);
        std::string line = indexText(out.Page.First + i) + itemText(item);
        if (const auto value = integerValue(item))
            if (const auto name = enumerationName(d.Kind, e.Tag, *value))
                line += " = " + *name;
        out.Values.push_back(std::move(line));
    }
    if (items.size() < out.Page.Count)
        out.Values.push_back("(the values from [" + std::to_string(out.Page.First + items.size()) +
                             "] on lie past the end of the file)");
}

} // namespace

void checkSameFile(const TTiffFile& file, const TValueSource& source)
{
    if (source.Stamp() != file.Stamp)
        throw EFileChanged();
}

std::unique_ptr<TValueSource> openValues(const TTiffFile& file)
{
    auto source = std::make_unique<TValueSource>(file.FileName);
    checkSameFile(file, *source);
    return source;
}

int pageNumberOf(const TTiffFile& file, std::size_t directory)
{
    if (directory >= file.Directories.size())
        return 0;
    // Parents come before their children, so the walk up ends.
    const TDirectory* d = &file.Directories[directory];
    while (d->Parent >= 0 && static_cast<std::size_t>(d->Parent) < directory) {
        directory = static_cast<std::size_t>(d->Parent);
        d = &file.Directories[directory];
    }
    return d->Page + 1;
}

std::optional<std::size_t> pageDirectory(const TTiffFile& file, int page)
{
    for (std::size_t i = 0; i < file.Directories.size(); ++i)
        if (file.Directories[i].Page == page - 1 && page > 0)
            return i;
    return std::nullopt;
}

int directoryDepth(const TTiffFile& file, std::size_t directory)
{
    int depth = 0;
    while (directory < file.Directories.size()) {
        const int parent = file.Directories[directory].Parent;
        if (parent < 0 || static_cast<std::size_t>(parent) >= directory)
            break;
        directory = static_cast<std::size_t>(parent);
        ++depth;
    }
    return depth;
}

TListing buildDirectoryListing(const TTiffFile& file, std::size_t directory, TValueSource* source, bool hex)
{
    TListing out;
    if (directory >= file.Directories.size()) {
        out.Failed = true;
        return out;
    }
    const TDirectory& d = file.Directories[directory];
    auto& rows = out.Rows;
    rows.push_back({"", "", "Filename", std::string(ExtractFileName(file.FileName))});
    rows.push_back({"", "", "", "Directory", d.Id});
    rows.push_back({"", "", "", "Kind", std::string(directoryKindName(d.Kind))});
    rows.push_back({"", "", "", "Header Byte order", std::string(file.ByteOrderText())});
    rows.emplace_back();
    rows.reserve(rows.size() + d.Entries.size() + 2);
    for (std::size_t i = 0; i < d.Entries.size(); ++i)
        rows.push_back(entryRow(file, d, i, source, hex));
    // A directory that could not be read whole says so where its entries end.
    if (!d.StoredCount)
        rows.push_back({"", "", "", "", "(the directory lies past the end of the file)"});
    else if (!d.Complete)
        rows.push_back({"", "", "", "", "(the directory runs past the end of the file)"});
    else
        rows.emplace_back();
    rows.push_back({"", "", "", std::string(BannerTitle), std::string(BannerText)});
    return out;
}

std::string entryValueCell(std::uint16_t type, std::uint64_t count, std::span<const std::uint8_t> bytes,
                           std::endian order)
{
    if (fieldTypeSize(type) == 0)
        return "?";
    if (count == 0)
        return "";
    if (bytes.empty())
        return "(past the end of the file)";
    if (type == kAscii) {
        const auto nul = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
        std::string text;
        AppendCp1252AsUtf8(text, bytes.data(), static_cast<std::size_t>(nul - bytes.begin()));
        // More text than the cell shows: past the bytes read, or after a NUL.
        const bool more = nul == bytes.end() ? count > bytes.size()
                                             : std::any_of(nul, bytes.end(), [](std::uint8_t b) { return b != 0; });
        return more ? text + "…" : text;
    }
    const TValueDecoder items(bytes, type, std::min(count, CellItems), order);
    if (items.size() == 0)
        return "(past the end of the file)";
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i ? ", " : "") + items.text(i);
    return count > items.size() ? text + ", …" : text;
}

bool namesSubDirectory(const TTiffFile& file, std::size_t directory, std::size_t entry)
{
    if (directory >= file.Directories.size() || entry >= file.Directories[directory].Entries.size())
        return false;
    const TDirectory& d = file.Directories[directory];
    const TEntry& e = d.Entries[entry];
    // The reader's rule for following an entry, so the two never disagree.
    return pointedKind(d.Kind, e.Tag) && holdsOffsets(e.Type, file.IsBigTiff()) && e.Count != 0 &&
           e.Stored >= entryBytes(file);
}

TPointer pointedDirectory(const TTiffFile& file, std::size_t directory, std::size_t entry, TValueSource& source)
{
    TPointer out;
    if (!namesSubDirectory(file, directory, entry))
        return out;
    const TDirectory& d = file.Directories[directory];
    const TEntry& e = d.Entries[entry];
    const std::optional<TDirectoryKind> kind = pointedKind(d.Kind, e.Tag);
    checkSameFile(file, source);
    out.IsPointer = true;
    const std::uint64_t n = std::min(e.Count, kPointerOffsets);
    const std::vector<std::uint8_t> bytes =
        source.Read(e.ValueOffset, static_cast<std::size_t>(valueByteCount(e.Type, n)));
    const TValueDecoder values(bytes, e.Type, n, orderOf(file));
    // Each offset's place in the entry: the first that leads somewhere wins.
    std::unordered_map<std::uint64_t, std::size_t> places;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto offset = std::get<std::uint64_t>(values.item(i));
        if (offset != 0)
            places.emplace(offset, i);
        if (out.Offset == 0)
            out.Offset = offset;
    }
    std::size_t bestChild = places.size();
    std::size_t bestOther = places.size();
    std::optional<std::size_t> other;
    for (std::size_t k = 0; k < file.Directories.size(); ++k) {
        const TDirectory& t = file.Directories[k];
        const auto place = places.find(t.Offset);
        if (place == places.end())
            continue;
        if (t.Parent == static_cast<int>(directory) && t.Kind == *kind) {
            if (place->second < bestChild) {
                bestChild = place->second;
                out.Directory = k;
            }
        } else if (place->second < bestOther) {
            bestOther = place->second;
            other = k;
        }
    }
    if (!out.Directory)
        out.Directory = other;
    return out;
}

std::string entryTitle(const TTiffFile& file, std::size_t directory, std::size_t entry)
{
    const TDirectory& d = file.Directories.at(directory);
    const TEntry& e = d.Entries.at(entry);
    const std::string where = d.Kind == TDirectoryKind::Page ? "on page " + d.Id : "in " + d.Id;
    if (e.Stored < 2)
        return "Entry " + std::to_string(entry + 1) + " " + where;
    return trimmed(directoryTagName(d.Kind, e.Tag)) + " (" + std::to_string(e.Tag) + ") " + where;
}

TEntryDetail describeEntry(const TTiffFile& file, std::size_t directory, std::size_t entry, TValueSource& source,
                           std::uint64_t first, std::uint64_t pageItems)
{
    checkSameFile(file, source);
    TEntryDetail out;
    const TDirectory& d = file.Directories.at(directory);
    const TEntry& e = d.Entries.at(entry);
    const std::uint64_t fileSize = source.Size();
    out.Title = entryTitle(file, directory, entry);
    if (e.Stored < 4) {
        out.Facts.push_back(e.Stored == 0
                                ? "The entry at " + positionText(e.Position) + " lies past the end of the file"
                                : "The entry at " + positionText(e.Position) + " is cut by the end of the file: only " +
                                      bytesText(e.Stored) + " of it lie in the file");
        return out;
    }
    const bool counted = e.Stored >= 4 + fieldBytes(file);
    out.Count = counted ? e.Count : 0;
    out.Facts.push_back("Type: " + std::string(fieldTypeName(e.Type)) + " (code " + std::to_string(e.Type) + ")" +
                        (counted ? ", count " + std::to_string(e.Count) : std::string()));
    std::string entryFact = "Entry: " + bytesText(entryBytes(file)) + " at " + positionText(e.Position);
    if (e.Stored < entryBytes(file))
        entryFact += "; only " + std::to_string(e.Stored) + " of them lie in the file";
    out.Facts.push_back(std::move(entryFact));
    if (!counted)
        return out;
    out.Facts.push_back(valueFact(file, e, fileSize));

    const TPointer pointer = pointedDirectory(file, directory, entry, source);
    if (pointer.Directory)
        out.Facts.push_back("Leads to: " + file.Directories[*pointer.Directory].Id + " (Enter opens it)");
    else if (pointer.IsPointer && pointer.Offset == 0)
        out.Facts.push_back("Leads to: nothing (its offset is 0)");
    else if (pointer.IsPointer)
        out.Facts.push_back("Leads to: the directory at " + positionText(pointer.Offset) + ", which was not read");

    if (!valueKnown(file, e))
        return out;
    if (fieldTypeSize(e.Type) == 0) {
        // No items to decode; the field's own bytes are still worth seeing.
        const std::vector<std::uint8_t> field = source.Read(e.ValueOffset, static_cast<std::size_t>(fieldBytes(file)));
        out.BytesRead = field.size();
        out.Dump = hexDump(field, e.ValueOffset);
        return out;
    }
    out.Page = valuePage(e.Type, e.Count, first, pageItems);
    if (out.Page.Count == 0)
        return out;
    const std::uint64_t at = saturatingAdd(e.ValueOffset, out.Page.ByteOffset);
    // The page's bytes only: a read bounded by the caller's page and the file's size.
    const std::vector<std::uint8_t> bytes = source.Read(at, static_cast<std::size_t>(out.Page.ByteCount));
    out.BytesRead = bytes.size();
    if (e.Type == kAscii) {
        addStrings(out, d, e, bytes, out.Page.First);
        if (bytes.size() < out.Page.ByteCount)
            out.Values.push_back("(the text from [" + std::to_string(out.Page.First + bytes.size()) +
                                 "] on lies past the end of the file)");
    } else {
        addItems(out, file, d, e, bytes);
    }
    out.Dump = hexDump(bytes, at);
    return out;
}

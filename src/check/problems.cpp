#include "check/problems.h"

#include <charconv>

namespace {

using enum TProblemKind;
using enum TSeverity;

// Identifiers are part of the command line's output: a row may gain a kind,
// but an identifier never changes its meaning.
constexpr std::array<TProblemKindInfo, ProblemKindCount> kKinds{{
    {NoPages, "no-pages", Error, "the header's first-directory offset is 0: the file holds no page"},
    {DirectoryOffsetOdd, "directory-offset-odd", Warning,
     "{dir} starts at {at}, an odd position; TIFF asks for directories on word boundaries"},
    {DirectoryPastEnd, "directory-past-end", Error,
     "{dir} would start at {at}, past the end of the file ({size} bytes)"},
    {DirectoryCut, "directory-cut", Error, "{dir} at {at} is cut by the end of the file ({size} bytes): {detail}"},
    {NextOffsetCut, "next-offset-cut", Warning,
     "the next-directory offset of {dir} at {at} is cut by the end of the file ({size} bytes); readers end the "
     "chain of directories there"},
    {DirectoryLoop, "directory-loop", Error,
     "{detail} of {dir} leads back to {other}: readers without a guard never leave the loop"},
    {DirectoryShared, "directory-shared", Warning,
     "{detail} of {dir} points to {other}, which is reached from another place as well"},
    {EntryCountZero, "entry-count-zero", Warning, "{dir} at {at} holds no entries"},
    {Overlap, "overlap", Error, "{detail} and {other} overlap in {length} bytes at {at}"},
    {SharedBytes, "shared-bytes", Note, "{detail} and {other} are the same {length} bytes at {at}"},
    {ValuePastEnd, "value-past-end", Error,
     "the value of {tag} in {dir} ({length} bytes at {at}) runs past the end of the file ({size} bytes)"},
    {ValueOffsetOdd, "value-offset-odd", Warning,
     "the value of {tag} in {dir} starts at {at}, an odd position; TIFF asks for values on word boundaries"},
    {DataPastEnd, "data-past-end", Error,
     "{detail} of {dir} ({length} bytes at {at}) runs past the end of the file ({size} bytes)"},
    {DataShort, "data-short", Error, "{detail} of {dir} holds {n} bytes where an uncompressed {other} needs {m}"},
    {UnknownType, "unknown-type", Warning, "{tag} in {dir} has the unknown field type {n}; readers skip it"},
    {EntryOrder, "entry-order", Warning,
     "{tag} follows {other} in {dir}; TIFF asks for entries in ascending tag order"},
    {DuplicateTag, "duplicate-tag", Warning, "{tag} appears {detail} in {dir}; readers use the first"},
    {AsciiNoNul, "ascii-no-nul", Warning, "{tag} in {dir} does not end with a NUL; TIFF ends every text with one"},
    {AsciiInnerNul, "ascii-inner-nul", Note,
     "{tag} in {dir} holds text after a NUL; most readers show only what comes before it"},
    {DateTimeFormat, "datetime-format", Warning,
     "{tag} in {dir} reads \"{detail}\", not the form \"YYYY:MM:DD HH:MM:SS\""},
    {CountWrong, "count-wrong", Error, "{tag} in {dir} has a count of {n} where TIFF asks for {m}"},
    {SamplesCount, "samples-count", Warning,
     "{tag} in {dir} has a count of {n} for {m} samples per pixel; TIFF asks for a value per sample"},
    {StripCount, "strip-count", Error, "{tag} in {dir} has a count of {n} where {detail} {m}"},
    {TileCount, "tile-count", Error, "{tag} in {dir} has a count of {n} where {detail} {m}"},
    {WrongType, "wrong-type", Error, "{tag} in {dir} is stored as {detail}; TIFF asks for {other}"},
    {OtherType, "other-type", Warning,
     "{tag} in {dir} is stored as {detail} where TIFF asks for {other}; most readers convert it"},
    {RationalZero, "rational-zero", Warning, "{tag} in {dir} divides by zero: value {n} has the denominator 0"},
    {MissingField, "missing-field", Error, "{dir} has no {tag}, which every image needs"},
    {MissingResolution, "missing-resolution", Note, "{dir} has no {tag}; {detail}"},
    {ChecksLimited, "checks-limited", Note,
     "values and strips from {dir} on were not checked: the file's directories share them so much that checking "
     "them all would take many times the file's size"},
}};

void appendNumber(std::string& out, std::uint64_t value)
{
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

} // namespace

const std::array<TProblemKindInfo, ProblemKindCount>& problemKindTable()
{
    return kKinds;
}

const TProblemKindInfo& problemKindInfo(TProblemKind kind)
{
    return kKinds[static_cast<std::size_t>(kind)];
}

std::string_view severityName(TSeverity severity)
{
    switch (severity) {
    case Error:
        return "error";
    case Warning:
        return "warning";
    case Note:
        return "note";
    }
    return "";
}

std::string problemSentence(TProblemKind kind, const TSentenceFacts& facts)
{
    const std::string_view text = problemKindInfo(kind).Sentence;
    std::string out;
    out.reserve(text.size() + 32);
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t open = text.find('{', i);
        const std::size_t close = open == std::string_view::npos ? open : text.find('}', open);
        if (close == std::string_view::npos) {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, open - i));
        const std::string_view name = text.substr(open + 1, close - open - 1);
        if (name == "dir")
            out += facts.Dir;
        else if (name == "tag")
            out += facts.Tag;
        else if (name == "other")
            out += facts.Other;
        else if (name == "detail")
            out += facts.Detail;
        else if (name == "at")
            appendNumber(out, facts.At);
        else if (name == "length")
            appendNumber(out, facts.Length);
        else if (name == "size")
            appendNumber(out, facts.Size);
        else if (name == "n")
            appendNumber(out, facts.N);
        else if (name == "m")
            appendNumber(out, facts.M);
        i = close + 1;
    }
    if (!out.empty() && out[0] >= 'a' && out[0] <= 'z')
        out[0] = static_cast<char>(out[0] - 'a' + 'A');
    return out;
}

#include "batch/results.h"

#include <cstdint>

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

/// Length of the valid UTF-8 sequence at text[i], or 0 when it is not one.
std::size_t validSequenceLength(std::string_view text, std::size_t i)
{
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = at(i);
    std::size_t n;
    unsigned char low = 0x80, high = 0xBF; // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        if (lead == 0xE0)
            low = 0xA0; // no overlong forms
        else if (lead == 0xED)
            high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F; // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (i + n > text.size() || at(i + 1) < low || at(i + 1) > high)
        return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (at(i + k) < 0x80 || at(i + k) > 0xBF)
            return 0;
    return n;
}

/// Length of the line break at line[i], or 0. Besides CR LF, CR and LF, the
/// pane also breaks at U+2029 (paragraph separator) and at U+FDD0 and U+FDD1,
/// which its text document takes as frame marks.
std::size_t lineBreakLength(std::string_view line, std::size_t i)
{
    const char c = line[i];
    if (c == '\n')
        return 1;
    if (c == '\r')
        return i + 1 < line.size() && line[i + 1] == '\n' ? 2 : 1;
    const std::string_view rest = line.substr(i, 3);
    if (rest == "\xE2\x80\xA9" || rest == "\xEF\xB7\x90" || rest == "\xEF\xB7\x91")
        return 3;
    return 0;
}

} // namespace

void AppendQuoted(std::string& line, std::string_view field)
{
    line.push_back('"');
    line.append(field);
    line.push_back('"');
}

void MakePaneText(std::string& line)
{
    bool plain = true;
    for (const char c : line)
        if (c == '\0' || static_cast<unsigned char>(c) >= 0x80) {
            plain = false;
            break;
        }
    if (plain)
        return;

    std::string out;
    out.reserve(line.size());
    for (std::size_t i = 0; i < line.size();) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c < 0x80) {
            out.push_back(c == 0 ? ' ' : static_cast<char>(c));
            ++i;
        } else if (const std::size_t n = validSequenceLength(line, i)) {
            out.append(line, i, n);
            i += n;
        } else {
            out.append(kReplacement);
            ++i;
        }
    }
    line.swap(out);
}

void AppendSavedLine(std::string& out, std::string_view line)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < line.size();) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        const std::size_t n = c == '\r' || c == '\n' || c == 0xE2 || c == 0xEF ? lineBreakLength(line, i) : 0;
        if (n == 0) {
            ++i;
            continue;
        }
        out.append(line, start, i - start).append("\r\n");
        i += n;
        start = i;
    }
    out.append(line, start).append("\r\n");
}

std::string SavedResultsBytes(std::string_view paneText)
{
    std::string out;
    if (paneText.empty())
        return out;
    // A break at the very end closes the last line; it does not open another.
    if (paneText.back() == '\n')
        paneText.remove_suffix(paneText.size() >= 2 && paneText[paneText.size() - 2] == '\r' ? 2 : 1);
    else if (paneText.back() == '\r')
        paneText.remove_suffix(1);
    out.reserve(paneText.size() + paneText.size() / 32 + 2);
    AppendSavedLine(out, paneText);
    return out;
}

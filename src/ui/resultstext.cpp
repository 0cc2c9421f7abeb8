#include "ui/resultstext.h"

namespace {

constexpr char16_t kBareCr = 0xDC0D;
constexpr char16_t kBareLf = 0xDC0A;
constexpr char16_t kByteEscape = 0xDC00; // + the byte, for 0x80..0xFF
// U+2029, U+FDD0, U+FDD1 and U+2028 in order, stood in for by U+DC01..U+DC04.
constexpr char32_t kBreakingCharacters[] = {0x2029, 0xFDD0, 0xFDD1, 0x2028};
constexpr char16_t kBreakingStandIn = 0xDC01;

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

char32_t decode(std::string_view text, std::size_t i, std::size_t n)
{
    const auto at = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(text[i + k])); };
    if (n == 2)
        return (at(0) & 0x1F) << 6 | (at(1) & 0x3F);
    if (n == 3)
        return (at(0) & 0x0F) << 12 | (at(1) & 0x3F) << 6 | (at(2) & 0x3F);
    return (at(0) & 0x07) << 18 | (at(1) & 0x3F) << 12 | (at(2) & 0x3F) << 6 | (at(3) & 0x3F);
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | c >> 6));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | c >> 12));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | c >> 18));
        out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

/// Bytes that the pane shows as they stand, one character each. Without an
/// early exit the loop is vectorised: most records are plain ASCII.
bool isPlainAscii(std::string_view record)
{
    unsigned char special = 0;
    for (const char c : record) {
        const auto b = static_cast<unsigned char>(c);
        special |= (b & 0x80) | (b == '\r') | (b == '\n');
    }
    return special == 0;
}

} // namespace

QString paneTextFromRecord(std::string_view record)
{
    QString text;
    appendPaneText(text, record);
    return text;
}

void appendPaneText(QString& text, std::string_view record)
{
    if (isPlainAscii(record)) {
        text.append(QLatin1StringView(record.data(), static_cast<qsizetype>(record.size())));
        return;
    }
    text.reserve(text.size() + static_cast<qsizetype>(record.size()));
    for (std::size_t i = 0; i < record.size();) {
        const auto c = static_cast<unsigned char>(record[i]);
        if (c == '\r' && i + 1 < record.size() && record[i + 1] == '\n') {
            text += QLatin1Char('\n');
            i += 2;
        } else if (c == '\r' || c == '\n') {
            text += QChar(c == '\r' ? kBareCr : kBareLf);
            ++i;
        } else if (c < 0x80) {
            // A run of plain ASCII at once.
            std::size_t end = i + 1;
            while (end < record.size() && static_cast<unsigned char>(record[end]) < 0x80 && record[end] != '\r' &&
                   record[end] != '\n')
                ++end;
            text.append(QLatin1StringView(record.data() + i, static_cast<qsizetype>(end - i)));
            i = end;
        } else if (const std::size_t n = validSequenceLength(record, i)) {
            const char32_t code = decode(record, i, n);
            char16_t standIn = 0;
            for (std::size_t k = 0; k < std::size(kBreakingCharacters); ++k)
                if (code == kBreakingCharacters[k])
                    standIn = static_cast<char16_t>(kBreakingStandIn + k);
            // Not QString::fromUcs4: it would take a U+FEFF for a byte-order mark and drop it.
            if (standIn != 0) {
                text += QChar(standIn);
            } else if (QChar::requiresSurrogates(code)) {
                text += QChar(QChar::highSurrogate(code));
                text += QChar(QChar::lowSurrogate(code));
            } else {
                text += QChar(static_cast<char16_t>(code));
            }
            i += n;
        } else {
            text += QChar(static_cast<char16_t>(kByteEscape + c));
            ++i;
        }
    }
}

std::string savedBytesFromPaneText(const QString& rawText)
{
    std::string out;
    out.reserve(static_cast<std::size_t>(rawText.size()) + static_cast<std::size_t>(rawText.size()) / 16 + 2);
    const qsizetype size = rawText.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = rawText.at(i).unicode();
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c == QChar::ParagraphSeparator) {
            out += "\r\n";
        } else if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(rawText.at(i + 1).unicode())) {
            appendUtf8(out, QChar::surrogateToUcs4(c, rawText.at(i + 1).unicode()));
            ++i;
        } else if (c >= kByteEscape + 0x80 && c <= kByteEscape + 0xFF) {
            out.push_back(static_cast<char>(c - kByteEscape));
        } else if (c == kBareCr || c == kBareLf) {
            out.push_back(c == kBareCr ? '\r' : '\n');
        } else if (c >= kBreakingStandIn && c < kBreakingStandIn + std::size(kBreakingCharacters)) {
            appendUtf8(out, kBreakingCharacters[c - kBreakingStandIn]);
        } else if (QChar::isSurrogate(c)) {
            appendUtf8(out, 0xFFFD); // a lone surrogate of the user's own: no byte stands for it
        } else {
            appendUtf8(out, c);
        }
    }
    // The last line is ended; an empty last block (a break at the very end) adds no line.
    if (!rawText.isEmpty() && rawText.back() != QChar::ParagraphSeparator)
        out += "\r\n";
    return out;
}

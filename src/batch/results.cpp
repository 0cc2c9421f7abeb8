#include "batch/results.h"

#include <algorithm>

namespace {

bool needsQuoteDoubling(std::string_view field)
{
    return field.find('"') != std::string_view::npos;
}

} // namespace

void AppendQuoted(std::string& line, std::string_view field)
{
    line.push_back('"');
    if (!needsQuoteDoubling(field)) {
        line.append(field);
    } else {
        for (const char c : field) {
            if (c == '"')
                line.push_back('"');
            line.push_back(c);
        }
    }
    line.push_back('"');
}

void appendValueField(std::string& line, std::string_view value)
{
    const bool plain = std::none_of(value.begin(), value.end(),
                                    [](char c) { return c == '"' || c == '\0' || c == '\r' || c == '\n'; });
    if (plain) {
        AppendQuoted(line, value);
        return;
    }
    line.push_back('"');
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '"') {
            line += "\"\"";
        } else if (c == '\0') {
            line.push_back(' ');
        } else if (c == '\r' || c == '\n') {
            line += "\r\n";
            if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n')
                ++i;
        } else {
            line.push_back(c);
        }
    }
    line.push_back('"');
}

void AppendSavedLine(std::string& out, std::string_view line)
{
    out.append(line).append("\r\n");
}

#include "batch/searchlist.h"

#include <algorithm>

namespace {

bool isBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

unsigned char foldCase(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

} // namespace

std::string_view TrimBlanksAndControls(std::string_view text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && isBlankOrControl(text[first]))
        ++first;
    while (last > first && isBlankOrControl(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

int CompareTextIgnoringCase(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char ca = foldCase(a[i]);
        const unsigned char cb = foldCase(b[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string EntryTagNumber(std::string_view entryText)
{
    std::string digits;
    for (const char c : TrimBlanksAndControls(entryText)) {
        if (c == ' ')
            break;
        if (c >= '0' && c <= '9')
            digits.push_back(c);
    }
    return digits;
}

std::string EntryTagName(std::string_view entryText)
{
    const std::size_t blank = entryText.find(' ');
    if (blank == std::string_view::npos)
        return {};
    return std::string(TrimBlanksAndControls(entryText.substr(blank + 1)));
}

bool TagNumberKeyPasses(char32_t typed)
{
    return (typed >= U'0' && typed <= U'9') || typed == 8;
}

// ---------------------------------------------------------------- TTagSearchList

TTagSearchList::TTagSearchList()
{
    Reset();
}

void TTagSearchList::SetChecked(int index, bool checked)
{
    if (index >= 0 && index < Count())
        m_entries[static_cast<std::size_t>(index)].Checked = checked;
}

void TTagSearchList::Select(int index)
{
    m_selected = index >= 0 && index < Count() ? index : -1;
}

bool TTagSearchList::CanAdd(std::string_view numberFieldText)
{
    return !TrimBlanksAndControls(numberFieldText).empty();
}

int TTagSearchList::insertEntry(TTagSearchEntry entry)
{
    auto at = m_entries.end();
    if (m_sorted)
        at = std::upper_bound(m_entries.begin(), m_entries.end(), entry.Text,
                              [](const std::string& text, const TTagSearchEntry& e) {
                                  return CompareTextIgnoringCase(text, e.Text) < 0;
                              });
    const int index = static_cast<int>(at - m_entries.begin());
    m_entries.insert(at, std::move(entry));
    // The selection follows its entry, as a list view's does.
    if (m_selected >= index)
        ++m_selected;
    return index;
}

int TTagSearchList::Add(std::string_view number, std::string_view title)
{
    std::string text;
    text.reserve(number.size() + 2 + title.size());
    text.append(number).append("  ").append(title);
    for (const TTagSearchEntry& e : m_entries)
        if (CompareTextIgnoringCase(e.Text, text) == 0)
            return -1;
    return insertEntry({std::move(text), true});
}

void TTagSearchList::DeleteSelected()
{
    if (m_selected < 0)
        return;
    m_entries.erase(m_entries.begin() + m_selected);
    m_selected = -1;
}

void TTagSearchList::Sort()
{
    std::stable_sort(m_entries.begin(), m_entries.end(), [](const TTagSearchEntry& a, const TTagSearchEntry& b) {
        return CompareTextIgnoringCase(a.Text, b.Text) < 0;
    });
    m_sorted = true;
}

void TTagSearchList::MoveUp()
{
    if (!CanMoveUp())
        return;
    std::swap(m_entries[static_cast<std::size_t>(m_selected)], m_entries[static_cast<std::size_t>(m_selected - 1)]);
    --m_selected;
}

void TTagSearchList::MoveDown()
{
    if (!CanMoveDown())
        return;
    std::swap(m_entries[static_cast<std::size_t>(m_selected)], m_entries[static_cast<std::size_t>(m_selected + 1)]);
    ++m_selected;
}

void TTagSearchList::Reset()
{
    Clear();
    for (const std::string_view text : DefaultTagEntries)
        insertEntry({std::string(text), false});
}

void TTagSearchList::Clear()
{
    m_entries.clear();
    m_selected = -1;
}

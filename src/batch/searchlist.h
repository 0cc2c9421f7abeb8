#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

// The tag search list of the Batch tab: which tags a batch run writes, in which
// order, and under which column titles. The window's list is a thin view over
// this model; the command line builds one from --tags.

/// One line of the list, "256  Imagewidth": the number as typed, two blanks, the title.
struct TTagSearchEntry {
    std::string Text; ///< UTF-8
    bool Checked = false;
};

/// The list's content at start and after Reset, all unchecked.
inline constexpr std::array<std::string_view, 9> DefaultTagEntries{
    "256  Imagewidth",  "257  Imageheight", "269  Description", "270  Name",  "282  XResolution",
    "283  YResolution", "305  Software",    "306  DateTime",    "315  Artist"};

/// Removes characters with codes 0 to 32 (blanks, control characters, NUL) from both ends.
std::string_view TrimBlanksAndControls(std::string_view text);

/// Orders texts character by character with ASCII letter case ignored; bytes
/// outside ASCII compare by value. Returns <0, 0 or >0.
int CompareTextIgnoringCase(std::string_view a, std::string_view b);

/// The digits an entry searches for: after trimming, digits are kept, a blank
/// ends the walk, anything else is skipped. Empty when the entry has none.
std::string EntryTagNumber(std::string_view entryText);

/// The column title: what follows the first blank, trimmed; empty without a blank.
std::string EntryTagName(std::string_view entryText);

/// The key filter of the tag number field: digits and backspace pass, every
/// other typed character is discarded.
bool TagNumberKeyPasses(char32_t typed);

class TTagSearchList {
public:
    /// Starts with the default entries, unchecked, unsorted, nothing selected.
    TTagSearchList();

    int Count() const { return static_cast<int>(m_entries.size()); }
    bool IsEmpty() const { return m_entries.empty(); }
    /// index must lie in [0, Count()).
    const TTagSearchEntry& Entry(int index) const { return m_entries.at(static_cast<std::size_t>(index)); }
    const std::vector<TTagSearchEntry>& Entries() const { return m_entries; }
    /// Ignored for an index outside the list.
    void SetChecked(int index, bool checked);

    /// -1 when nothing is selected.
    int Selected() const { return m_selected; }
    /// An index outside the list clears the selection.
    void Select(int index);
    bool SortedMode() const { return m_sorted; }

    // The update rules of the list's actions.
    static bool CanAdd(std::string_view numberFieldText);
    bool CanDelete() const { return m_selected >= 0; }
    bool CanSort() const { return !m_entries.empty(); }
    bool CanMoveUp() const { return m_selected > 0; }
    bool CanMoveDown() const { return m_selected >= 0 && m_selected + 1 < Count(); }

    /// Adds "number  title" checked, at the end or, in sorted mode, at its place
    /// in text order. Returns the new entry's index, or -1 when an entry of the
    /// same text (letter case ignored) exists; then nothing changes.
    int Add(std::string_view number, std::string_view title);
    /// Removes the selected entry and clears the selection; no-op without one.
    void DeleteSelected();
    /// Orders the entries by text, case ignored; the selection keeps its row; sorted mode goes on for good.
    void Sort();
    /// Moves the selected entry one place; it stays selected. No-op where the rule forbids it.
    void MoveUp();
    void MoveDown();
    /// The default entries again, unchecked; the selection is cleared. Sorted mode stays.
    void Reset();
    /// Removes every entry (the command line starts from an empty list).
    void Clear();

private:
    int insertEntry(TTagSearchEntry entry);

    std::vector<TTagSearchEntry> m_entries;
    int m_selected = -1;
    bool m_sorted = false;
};

// The tag search list: its entries, the list operations and their update rules.
#include "batch/searchlist.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> texts(const TTagSearchList& list)
{
    std::vector<std::string> out;
    for (const TTagSearchEntry& e : list.Entries())
        out.push_back(e.Text);
    return out;
}

std::vector<std::string> checkedTexts(const TTagSearchList& list)
{
    std::vector<std::string> out;
    for (const TTagSearchEntry& e : list.Entries())
        if (e.Checked)
            out.push_back(e.Text);
    return out;
}

const std::vector<std::string> kDefaults{"256  Imagewidth", "257  Imageheight", "269  Description",
                                         "270  Name",       "282  XResolution", "283  YResolution",
                                         "305  Software",   "306  DateTime",    "315  Artist"};

} // namespace

TEST(EntryText, NumberAndTitle)
{
    struct Case {
        const char* entry;
        const char* number;
        const char* title;
    };
    const Case cases[] = {
        {"256  Imagewidth", "256", "Imagewidth"},
        {"315  ", "315", ""},                                // added with an empty title
        {"0256  Width", "0256", "Width"},                    // leading zero kept (and never matches)
        {"  42  padded title \t", "42", "42  padded title"}, // the title follows the very first blank
        {"1a2b3 x", "123", "x"},                             // other characters are skipped
        {"12\t34  tab", "1234", "tab"},                      // only a blank ends the number
        {"nodigits  here", "", "here"},
        {"", "", ""},
        {"777", "777", ""}, // no blank: no title
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        EXPECT_EQ(EntryTagNumber(c.entry), c.number);
        EXPECT_EQ(EntryTagName(c.entry), c.title);
    }
    EXPECT_EQ(TrimBlanksAndControls(std::string_view("\0 x y\x1F\x20", 7)), "x y");
    EXPECT_EQ(TrimBlanksAndControls(std::string_view("\0\0", 2)), "");
}

TEST(EntryText, KeyFilterPassesDigitsAndBackspaceOnly)
{
    for (char32_t c = U'0'; c <= U'9'; ++c)
        EXPECT_TRUE(TagNumberKeyPasses(c));
    EXPECT_TRUE(TagNumberKeyPasses(8));
    for (const char32_t c : {U'a', U'-', U' ', U'+', U'\t', U'\r', char32_t(3), char32_t(22), char32_t(127),
                             U'\u0660' /* Arabic-Indic zero */, U'\uFF11' /* full-width one */})
        EXPECT_FALSE(TagNumberKeyPasses(c)) << static_cast<std::uint32_t>(c);
}

TEST(EntryText, CompareIgnoresAsciiCaseAndPutsBlankBeforeDigits)
{
    EXPECT_EQ(CompareTextIgnoringCase("ABC", "abc"), 0);
    EXPECT_LT(CompareTextIgnoringCase("25  x", "256  x"), 0);
    EXPECT_LT(CompareTextIgnoringCase("1000  x", "256  x"), 0);
    EXPECT_LT(CompareTextIgnoringCase("abc", "abcd"), 0);
    EXPECT_GT(CompareTextIgnoringCase("b", "A"), 0);
}

TEST(SearchList, StartsWithTheDefaultsUnchecked)
{
    const TTagSearchList list;
    EXPECT_EQ(texts(list), kDefaults);
    EXPECT_TRUE(checkedTexts(list).empty());
    EXPECT_EQ(list.Selected(), -1);
    EXPECT_FALSE(list.SortedMode());
    EXPECT_FALSE(list.CanDelete());
    EXPECT_FALSE(list.CanMoveUp());
    EXPECT_FALSE(list.CanMoveDown());
    EXPECT_TRUE(list.CanSort());
}

TEST(SearchList, AddAppendsCheckedAndIgnoresTheSameTextInAnyCase)
{
    TTagSearchList list;
    EXPECT_FALSE(TTagSearchList::CanAdd(""));
    EXPECT_FALSE(TTagSearchList::CanAdd(" \t "));
    EXPECT_TRUE(TTagSearchList::CanAdd(" 7 "));

    EXPECT_EQ(list.Add("315", "artist"), -1); // "315  Artist" is there already
    EXPECT_EQ(list.Count(), 9);
    EXPECT_TRUE(checkedTexts(list).empty());

    EXPECT_EQ(list.Add("315", "Painter"), 9); // same tag, another title: a second entry
    EXPECT_EQ(list.Add("33432", ""), 10);
    EXPECT_EQ(list.Add(" 12 ", "Spaced "), 11); // field texts are taken untrimmed
    EXPECT_EQ(checkedTexts(list), (std::vector<std::string>{"315  Painter", "33432  ", " 12   Spaced "}));
    EXPECT_EQ(EntryTagName(list.Entry(10).Text), "");
}

TEST(SearchList, DeleteAndMoveFollowTheSelection)
{
    TTagSearchList list;
    list.Select(0);
    EXPECT_FALSE(list.CanMoveUp());
    EXPECT_TRUE(list.CanMoveDown());
    list.SetChecked(0, true);
    list.MoveDown();
    EXPECT_EQ(list.Selected(), 1);
    EXPECT_EQ(list.Entry(1).Text, "256  Imagewidth");
    EXPECT_TRUE(list.Entry(1).Checked);
    EXPECT_FALSE(list.Entry(0).Checked);
    list.MoveUp();
    EXPECT_EQ(texts(list), kDefaults);
    EXPECT_EQ(list.Selected(), 0);
    list.MoveUp(); // not enabled on the first entry: nothing happens
    EXPECT_EQ(texts(list), kDefaults);

    list.Select(8);
    EXPECT_TRUE(list.CanMoveUp());
    EXPECT_FALSE(list.CanMoveDown());
    list.MoveDown();
    EXPECT_EQ(list.Selected(), 8);

    list.Select(3);
    ASSERT_TRUE(list.CanDelete());
    list.DeleteSelected();
    EXPECT_EQ(list.Count(), 8);
    EXPECT_EQ(list.Entry(3).Text, "282  XResolution");
    EXPECT_EQ(list.Selected(), -1);
    EXPECT_FALSE(list.CanDelete());
    EXPECT_FALSE(list.CanMoveUp());
    EXPECT_FALSE(list.CanMoveDown());

    list.Select(42); // outside the list: no selection
    EXPECT_EQ(list.Selected(), -1);
}

TEST(SearchList, SortIsTextualKeepsMarksAndRowAndSwitchesSortedModeOn)
{
    TTagSearchList list;
    list.Clear();
    EXPECT_FALSE(list.CanSort());
    list.Add("256", "Width");
    list.Add("1000", "Big");
    list.Add("25", "Small");
    list.SetChecked(0, false);
    list.Select(1); // "1000  Big"
    list.Sort();
    EXPECT_EQ(texts(list), (std::vector<std::string>{"1000  Big", "25  Small", "256  Width"}));
    EXPECT_EQ(checkedTexts(list), (std::vector<std::string>{"1000  Big", "25  Small"}));
    EXPECT_EQ(list.Selected(), 1); // the same row, now another entry
    EXPECT_TRUE(list.SortedMode());

    // Sorted mode: a new entry lands at its place and is the one checked; the
    // selected entry stays selected while rows move under it.
    EXPECT_EQ(list.Add("2", "Two"), 1);
    EXPECT_EQ(texts(list), (std::vector<std::string>{"1000  Big", "2  Two", "25  Small", "256  Width"}));
    EXPECT_EQ(checkedTexts(list), (std::vector<std::string>{"1000  Big", "2  Two", "25  Small"}));
    EXPECT_EQ(list.Entry(list.Selected()).Text, "25  Small");

    // Moving works in sorted mode without sorting again.
    list.MoveDown();
    EXPECT_EQ(texts(list), (std::vector<std::string>{"1000  Big", "2  Two", "256  Width", "25  Small"}));
    EXPECT_TRUE(list.SortedMode());
    list.Sort();
    EXPECT_EQ(list.Entry(3).Text, "256  Width");
}

TEST(SearchList, ResetRestoresTheDefaultsEvenInSortedMode)
{
    TTagSearchList list;
    list.Add("700", "XMP");
    list.SetChecked(2, true);
    list.Sort();
    list.Select(4);
    list.Reset();
    EXPECT_EQ(texts(list), kDefaults);
    EXPECT_TRUE(checkedTexts(list).empty());
    EXPECT_EQ(list.Selected(), -1);
    EXPECT_TRUE(list.SortedMode()); // never switched off while the program runs

    list.Clear();
    EXPECT_TRUE(list.IsEmpty());
    list.Reset();
    EXPECT_EQ(texts(list), kDefaults);
}

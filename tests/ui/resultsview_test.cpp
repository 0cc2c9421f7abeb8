// The results pane: a run's lines in the store and its view, taken into the
// editor when the user reaches for them, with the same text and bytes.
#include "ui/resultstext.h"
#include "ui/resultsview.h"
#include "uitest.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <memory>

namespace {

struct ResultsPaneTest : ::testing::Test {
    QPlainTextEdit* editor = new QPlainTextEdit; // the pane owns it
    std::unique_ptr<TResultsPane> pane = std::make_unique<TResultsPane>(editor);
    TResultsView* view = pane->View();

    ResultsPaneTest()
    {
        editor->setLineWrapMode(QPlainTextEdit::NoWrap);
        pane->resize(400, 200);
        pane->show();
    }

    void appendLines(int count, const char* prefix = "line ")
    {
        for (int i = 0; i < count; ++i)
            pane->Append(prefix + std::to_string(i));
        pane->Flush();
    }
};

/// Records that the pane breaks, escapes or stands in for, and plain ones.
const std::vector<std::string> kOddRecords = {
    "\"plain\",\"ascii\"",
    "\"a\r\nb\r\nc\",\"d\"",                                          // breaks inside a value: lines of their own
    "\"bare\rcr\",\"bare\nlf\"",                                      // shown as stand-ins, not breaks
    "\"caf\xE9\",\"\xFF\"",                                           // not UTF-8
    "\"\xE2\x80\xA9\",\"\xEF\xB7\x90\xEF\xB7\x91\",\"\xE2\x80\xA8\"", // what the document breaks at
    "\"\xC2\xA0nbsp\ttab\",\"\xF0\x9F\x98\x80\"",
    "",
    "\"after an empty line\"",
};

} // namespace

TEST_F(ResultsPaneTest, ARunFillsTheStoreAndTheViewFollowsTheEnd)
{
    // Many lines, and not one of them in a text document.
    appendLines(50'000);
    EXPECT_EQ(editor->document()->blockCount(), 1);
    EXPECT_TRUE(editor->document()->isEmpty());
    EXPECT_EQ(pane->currentWidget(), view);
    EXPECT_FALSE(pane->IsEmpty());
    EXPECT_TRUE(pane->IsModified());
    ASSERT_EQ(pane->Store().LineCount(), 50'000);
    EXPECT_EQ(pane->Store().Line(49'999), u"line 49999");
    EXPECT_EQ(pane->Store().LongestLine(), 10);

    // The view shows the last lines, and keeps showing them as lines come.
    EXPECT_GT(view->VisibleLines(), 2);
    EXPECT_EQ(view->FirstVisibleLine() + view->VisibleLines(), 50'000);
    appendLines(10, "more ");
    EXPECT_EQ(view->FirstVisibleLine() + view->VisibleLines(), 50'010);
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
    pane->Append(std::string(200, 'w')); // wider than the view: it scrolls sideways
    pane->Flush();
    EXPECT_EQ(pane->Store().LongestLine(), 200);
    EXPECT_GT(view->horizontalScrollBar()->maximum(), 0);

    // Scrolled up, it stays where the user put it.
    view->verticalScrollBar()->setValue(100);
    appendLines(10, "still more ");
    EXPECT_EQ(view->FirstVisibleLine(), 100);
}

TEST_F(ResultsPaneTest, AClickTakesTheSameTextIntoTheEditorAtTheLineShown)
{
    appendLines(1000);
    for (const std::string& record : kOddRecords)
        pane->Append(record);
    pane->Flush();
    const std::string bytes = pane->SavedBytes();
    const QString raw = pane->Store().RawText();
    const qsizetype lines = pane->Store().LineCount();

    // What the editor would hold had every record been appended to it.
    QPlainTextEdit appended;
    for (int i = 0; i < 1000; ++i)
        appended.appendPlainText(paneTextFromRecord("line " + std::to_string(i)));
    for (const std::string& record : kOddRecords)
        appended.appendPlainText(paneTextFromRecord(record));
    EXPECT_EQ(raw, appended.document()->toRawText());
    EXPECT_EQ(lines, appended.document()->blockCount());

    // A drag from the view: the press takes the text over, the drag selects in the editor.
    view->verticalScrollBar()->setValue(500);
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, QPoint(30, 6));
    ASSERT_TRUE(pane->IsMaterialised());
    QTest::mouseMove(view->viewport(), QPoint(30, 20));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, QPoint(30, 20));
    EXPECT_EQ(editor->document()->findBlock(editor->textCursor().anchor()).blockNumber(), 500);
    EXPECT_EQ(editor->textCursor().blockNumber(), 501);
    EXPECT_EQ(pane->currentWidget(), editor);
    EXPECT_EQ(pane->focusWidget(), editor);
    EXPECT_EQ(editor->document()->toRawText(), raw);
    EXPECT_EQ(editor->document()->blockCount(), lines);
    EXPECT_EQ(editor->verticalScrollBar()->value(), 500);
    EXPECT_EQ(pane->SavedBytes(), bytes);
    EXPECT_TRUE(pane->IsModified()); // not saved yet, as appended lines would be

    // Saved, then edited: the edit is unsaved, and Save writes it.
    pane->SetSaved();
    EXPECT_FALSE(pane->IsModified());
    QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(editor, "!");
    EXPECT_TRUE(pane->IsModified());
    EXPECT_EQ(pane->SavedBytes(), bytes.substr(0, bytes.size() - 2) + "!\r\n");
}

TEST_F(ResultsPaneTest, AKeyOrTabReachesTheEditorAndClearBringsTheViewBack)
{
    appendLines(3);
    // A key typed into the view is typed into the editor, at the first line shown.
    view->setFocus();
    QTest::keyClicks(view, "x");
    ASSERT_TRUE(pane->IsMaterialised());
    EXPECT_EQ(pane->SavedBytes(), "xline 0\r\nline 1\r\nline 2\r\n");

    // A new run: both empty, the view in front, nothing unsaved.
    pane->Clear();
    EXPECT_FALSE(pane->IsMaterialised());
    EXPECT_EQ(pane->currentWidget(), view);
    EXPECT_TRUE(pane->IsEmpty());
    EXPECT_FALSE(pane->IsModified());
    EXPECT_TRUE(editor->document()->isEmpty());
    EXPECT_EQ(pane->SavedBytes(), "");
    EXPECT_EQ(pane->Store().LineCount(), 0);
    EXPECT_EQ(pane->Store().LongestLine(), 0);

    // Lines of the new run go to the store again, and focus by Tab takes them over.
    appendLines(2, "new ");
    EXPECT_EQ(editor->document()->blockCount(), 1);
    EXPECT_EQ(view->focusPolicy(), Qt::StrongFocus);
    EXPECT_FALSE(view->accessibleName().isEmpty());
    QFocusEvent tabIn(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(view, &tabIn);
    ASSERT_TRUE(pane->IsMaterialised());
    EXPECT_EQ(editor->toPlainText(), "new 0\nnew 1");
    // Lines that come after that go to the editor.
    pane->Append("late");
    pane->Flush();
    EXPECT_EQ(editor->toPlainText(), "new 0\nnew 1\nlate");
}

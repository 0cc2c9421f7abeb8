// The Batch tab as a desktop user expects it: the highlight is the
// selection, the Tag nr field takes tag numbers and the editing keys, Enter
// adds, the starting directory follows the open file, results are not lost
// unasked, and Save offers a .csv name.
#include "support/tempdir.h"
#include "support/tiffbuilder.h"
#include "ui/batchtab.h"
#include "ui/main.h"
#include "ui/tagsearchmodel.h"
#include "uitest.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

void goIdle()
{
    emit QAbstractEventDispatcher::instance()->aboutToBlock();
}

QPoint rowCentre(const TBatchTab& tab, int row)
{
    return tab.listboxTags->visualRect(tab.SearchList()->index(row)).center();
}

class BatchUsabilityTest : public ::testing::Test {
protected:
    TempDir dir;
    MessageRecorder recorder;
};

} // namespace

TEST_F(BatchUsabilityTest, HighlightAndSelectionAgree)
{
    TBatchTab tab;
    tab.resize(800, 600);
    tab.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tab));
    QWidget* viewport = tab.listboxTags->viewport();
    auto clickAt = [&](QPoint at, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(viewport, Qt::LeftButton, modifiers, at);
        goIdle();
        const bool lit = tab.listboxTags->selectionModel()->hasSelection();
        EXPECT_EQ(tab.SearchList()->List().Selected() >= 0, lit);
        EXPECT_EQ(tab.BitBtnDeleteTagEntry->isEnabled(), lit);
        return lit;
    };
    EXPECT_TRUE(clickAt(rowCentre(tab, 2)));
    EXPECT_FALSE(clickAt(rowCentre(tab, 2), Qt::ControlModifier)); // Ctrl+click takes the highlight away
    EXPECT_FALSE(tab.spBtnMoveTagDown->isEnabled());
    tab.ActionDeleteTag->trigger(); // even when triggered, Delete finds nothing to remove
    EXPECT_EQ(tab.SearchList()->rowCount(), 9);
    EXPECT_TRUE(clickAt(rowCentre(tab, 4)));
    EXPECT_FALSE(clickAt(QPoint(5, viewport->height() - 3))); // empty space below the entries
}

TEST_F(BatchUsabilityTest, TagNrTakesTagNumbersAndTheEditingKeysAndEnterAdds)
{
    TBatchTab tab;
    QLineEdit* field = tab.edtTagNumber;
    QTest::keyClicks(field, "655359"); // the last digit would make a number no tag has
    EXPECT_EQ(field->text(), "65535");
    // Select all, copy, paste over, undo: the commands work, the number rule stays.
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "65535");
    QApplication::clipboard()->setText("270");
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(field->text(), "270");
    QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(field->text(), "65535");
    QApplication::clipboard()->setText("70000");
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(field->text(), "65535");
    field->clear();
    QTest::keyClicks(field, "0000315"); // leading zeros stay part of an entry and make no number larger
    EXPECT_EQ(field->text(), "0000315");

    // Enter in Description presses Add.
    QTest::keyClicks(tab.edtTagDescription, "Artist");
    QTest::keyClick(tab.edtTagDescription, Qt::Key_Return);
    ASSERT_EQ(tab.SearchList()->rowCount(), 10);
    EXPECT_EQ(tab.SearchList()->index(9).data().toString(), "0000315  Artist");
}

TEST_F(BatchUsabilityTest, StartingDirectoryFollowsTheOpenFileUntilTheUserSetsOne)
{
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 1)});
    const QString first = QString::fromStdString(dir.Write("a/one.tif", b.Build()));
    const QString second = QString::fromStdString(dir.Write("b/two.tif", b.Build()));
    const QString root = QString::fromStdString(dir.Path().string());

    TForm1 empty;
    EXPECT_EQ(empty.BatchTab->edtStartDir->text(), QDir::homePath());
    TForm1 form({first});
    EXPECT_EQ(form.BatchTab->edtStartDir->text(), root + "/a");
    form.LoadFile(second, 1);
    EXPECT_EQ(form.BatchTab->edtStartDir->text(), root + "/b");

    QTest::keyClicks(form.BatchTab->edtStartDir, "/x"); // the user's own choice stays
    form.LoadFile(first, 1);
    EXPECT_EQ(form.BatchTab->edtStartDir->text(), root + "/b/x");
}

TEST_F(BatchUsabilityTest, CloseAsksForUnsavedResultsAndSaveOffersCsv)
{
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 1)});
    dir.Write("one.tif", b.Build());
    const QString root = QString::fromStdString(dir.Path().string());
    TForm1 form;
    form.show();
    TBatchTab& tab = *form.BatchTab;
    tab.edtStartDir->setText(root);
    goIdle();
    tab.BitBtnStart->click();
    ASSERT_FALSE(tab.ResultsPane()->IsEmpty());

    // No: the window stays, with its results.
    recorder.questionAnswer = 0x00010000; // QMessageBox::No
    form.close();
    EXPECT_TRUE(form.isVisible());
    ASSERT_EQ(recorder.questions.size(), 1);
    EXPECT_TRUE(recorder.questions[0].contains("not been saved"));

    // Save suggests a .csv name in the starting directory; saved results close unasked.
    QString suggested;
    QTimer::singleShot(0, tab.SaveDialog1, [&] {
        suggested = tab.SaveDialog1->selectedFiles().value(0);
        static_cast<QDialog*>(tab.SaveDialog1)->accept();
    });
    goIdle();
    tab.SpeedButton2->click();
    EXPECT_EQ(suggested, root + "/results.csv");
    EXPECT_TRUE(QFileInfo::exists(root + "/results.csv"));
    EXPECT_FALSE(tab.HasUnsavedResults());

    form.close();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(recorder.questions.size(), 1);
    // A change after the save is unsaved again: a click takes the text into the editor.
    QTest::mouseClick(tab.ResultsPane()->View()->viewport(), Qt::LeftButton);
    QTest::keyClicks(tab.RedtResults, "note");
    EXPECT_TRUE(tab.HasUnsavedResults());
}

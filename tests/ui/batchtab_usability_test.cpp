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

bool highlighted(const TBatchTab& tab, int row)
{
    return tab.listboxTags->selectionModel()->isSelected(tab.SearchList()->index(row));
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
    const int count = tab.SearchList()->rowCount();

    QTest::mouseClick(viewport, Qt::LeftButton, {}, rowCentre(tab, 2));
    goIdle();
    EXPECT_TRUE(highlighted(tab, 2));
    EXPECT_EQ(tab.SearchList()->List().Selected(), 2);
    EXPECT_TRUE(tab.BitBtnDeleteTagEntry->isEnabled());

    // Ctrl+click on the highlighted row takes the highlight away: nothing is selected.
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, rowCentre(tab, 2));
    goIdle();
    EXPECT_FALSE(highlighted(tab, 2));
    EXPECT_EQ(tab.SearchList()->List().Selected(), -1);
    EXPECT_FALSE(tab.BitBtnDeleteTagEntry->isEnabled());
    EXPECT_FALSE(tab.spBtnMoveTagUp->isEnabled());
    EXPECT_FALSE(tab.spBtnMoveTagDown->isEnabled());
    tab.ActionDeleteTag->trigger(); // even when triggered, Delete finds nothing to remove
    EXPECT_EQ(tab.SearchList()->rowCount(), count);

    // A click on the empty space below the entries clears the highlight too.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, rowCentre(tab, 4));
    ASSERT_EQ(tab.SearchList()->List().Selected(), 4);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(5, viewport->height() - 3));
    goIdle();
    EXPECT_FALSE(tab.listboxTags->selectionModel()->hasSelection());
    EXPECT_EQ(tab.SearchList()->List().Selected(), -1);
    EXPECT_FALSE(tab.spBtnMoveTagDown->isEnabled());

    // The arrow keys select as they move.
    tab.listboxTags->setFocus();
    QTest::keyClick(tab.listboxTags, Qt::Key_Down);
    goIdle();
    const int row = tab.SearchList()->List().Selected();
    ASSERT_GE(row, 0);
    EXPECT_TRUE(highlighted(tab, row));
}

TEST_F(BatchUsabilityTest, TagNrTakesTagNumbersAndTheEditingKeys)
{
    TBatchTab tab;
    QLineEdit* field = tab.edtTagNumber;
    QTest::keyClicks(field, "65535");
    EXPECT_EQ(field->text(), "65535");
    QTest::keyClicks(field, "9"); // 655359: no tag has that number
    EXPECT_EQ(field->text(), "65535");
    field->setText("6553");
    field->setCursorPosition(4);
    QTest::keyClicks(field, "6");
    EXPECT_EQ(field->text(), "6553");
    QTest::keyClicks(field, "5");
    EXPECT_EQ(field->text(), "65535");

    // Select all, copy, paste over, undo: the commands work, the digits rule stays.
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(field->selectedText(), "65535");
    QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "65535");
    QApplication::clipboard()->setText("270");
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(field->text(), "270");
    QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(field->text(), "65535");
    QApplication::clipboard()->setText("70000");
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier); // too large, pasted or not
    EXPECT_EQ(field->text(), "65535");
    // Leading zeros stay part of an entry, as before; they do not make a number larger.
    field->clear();
    QTest::keyClicks(field, "0000315");
    EXPECT_EQ(field->text(), "0000315");
}

TEST_F(BatchUsabilityTest, EnterInDescriptionPressesAdd)
{
    TBatchTab tab;
    QTest::keyClicks(tab.edtTagDescription, "Orientation");
    QTest::keyClick(tab.edtTagDescription, Qt::Key_Return); // no number yet: Add is not allowed
    EXPECT_EQ(tab.SearchList()->rowCount(), 9);
    QTest::keyClicks(tab.edtTagNumber, "274");
    QTest::keyClick(tab.edtTagDescription, Qt::Key_Return);
    ASSERT_EQ(tab.SearchList()->rowCount(), 10);
    EXPECT_EQ(tab.SearchList()->index(9).data().toString(), "274  Orientation");
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
    ASSERT_FALSE(tab.RedtResults->toPlainText().isEmpty());

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

    // A change after the save counts as unsaved again; Yes closes all the same.
    form.show();
    tab.RedtResults->appendPlainText("note");
    EXPECT_TRUE(tab.HasUnsavedResults());
    recorder.questionAnswer = 0x00004000; // QMessageBox::Yes
    form.close();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(recorder.questions.size(), 2);
}

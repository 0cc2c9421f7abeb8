// The main window driven as a user would: start-up, open, drop, page
// navigation, display mode and status bar.
#include "support/tempdir.h"
#include "support/tiffbuilder.h"
#include "ui/imagelist.h"
#include "ui/main.h"
#include "ui/taglistmodel.h"
#include "uitest.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QFileDialog>
#include <QLabel>
#include <QMimeData>
#include <QRegularExpression>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

namespace {

/// Three pages: 2480 x 3508 at 300 dpi, then two small ones.
std::vector<std::uint8_t> threePageFile()
{
    TiffBuilder b;
    const auto res = b.Rational(300, 1);
    b.Page({TestEntry::Short(256, 2480), TestEntry::Short(257, 3508), TestEntry::At(282, tRational, 1, res),
            TestEntry::At(283, tRational, 1, res), TestEntry::Long(273, 8, 300)});
    b.Page({TestEntry::Short(256, 100), TestEntry::Short(257, 100)});
    b.Page({TestEntry::Short(256, 50)});
    return b.Build();
}

QString cell(const TForm1& form, int row, int column)
{
    return form.ListModel->CellText(row, column);
}

void drop(TForm1& form, const QStringList& paths)
{
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls << QUrl::fromLocalFile(p);
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent dropEvent(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &dropEvent);
}

class MainWindowTest : public ::testing::Test {
protected:
    TempDir dir;
    MessageRecorder recorder;
    QString tiff = QString::fromStdString(dir.Write("three pages.tif", threePageFile()));
    QString notTiff = QString::fromStdString(dir.Write("notes.tif", std::string_view("just some text")));
};

} // namespace

TEST_F(MainWindowTest, LaysOutTheWindow)
{
    TForm1 form;
    EXPECT_EQ(form.windowTitle(), "Velquin V5");
    EXPECT_EQ(form.size(), QSize(843, 668));
    ASSERT_NE(form.findChild<QTreeView*>("ListView1"), nullptr);
    for (const char* name : {"ToolButton1", "tbPrevious", "tbNext", "tbLauchImageViewer", "tb10", "tb16", "tbtnPrint",
                             "tbCalc", "tnInternet"})
        EXPECT_NE(form.findChild<QToolButton*>(name), nullptr) << name;
    EXPECT_EQ(form.tb16->toolTip(), "shhow values in HEX format (Ctrl+H)");
    EXPECT_EQ(form.tb10->toolTip(), "Show values in DEC format (Ctrl+D)");
    EXPECT_EQ(form.ToolButton1->toolTip(), "Open an exiting file");
    EXPECT_TRUE(form.tb10->isChecked());
    EXPECT_FALSE(form.tb16->isChecked());
    EXPECT_EQ(form.StatusText(0), "Filename");
    EXPECT_EQ(form.StatusText(1), "Pages");
    EXPECT_EQ(form.StatusText(2), "Fileinfo ");
    EXPECT_FALSE(form.Saveas1->isVisible());
    for (int c = 0; c < TTagListModel::ColumnCount; ++c)
        EXPECT_EQ(form.ListView1->header()->sectionSize(c), TTagListModel::Widths[static_cast<std::size_t>(c)]);
    EXPECT_EQ(form.ListModel->headerData(7, Qt::Horizontal, Qt::DisplayRole).toString(), "Value Pos");
    EXPECT_EQ(form.PageControl1->currentWidget(), form.TabSheetInfo);
    form.UpdateActions();
    EXPECT_FALSE(form.ActionNextPage->isEnabled());
    EXPECT_FALSE(form.ActionPrint->isEnabled());
    EXPECT_FALSE(form.ActionLaunchViewer->isEnabled());
    EXPECT_TRUE(form.ActionCalculator->isEnabled());
}

TEST_F(MainWindowTest, StartsWithTheFileOfTheCommandLine)
{
    TForm1 form({tiff, QStringLiteral("ignored.tif")});
    EXPECT_TRUE(recorder.messages.isEmpty());
    EXPECT_TRUE(recorder.errors.isEmpty());
    ASSERT_EQ(form.ListModel->rowCount(), 12);
    EXPECT_EQ(cell(form, 0, 2), "Filename");
    EXPECT_EQ(cell(form, 0, 3), "three pages.tif");
    EXPECT_EQ(cell(form, 1, 4), "3");
    EXPECT_EQ(cell(form, 5, 3), "ImageWidth");
    EXPECT_EQ(cell(form, 11, 3), "Velquin Ver 4.0");
    // The builder's pages lack fields a page needs: the findings are counted after the name.
    EXPECT_TRUE(QRegularExpression("^" + QRegularExpression::escape("..." + tiff.right(31)) + " - \\d+ problems$")
                    .match(form.StatusText(0))
                    .hasMatch())
        << form.StatusText(0).toStdString();
    EXPECT_EQ(form.StatusText(1), "Page 1 of 3");
    EXPECT_EQ(form.StatusText(2), "Width:   209.97 mm;  Length:   297.01 mm");
}

TEST_F(MainWindowTest, NonTiffArgumentShowsTheErrorAndStillTakesADrop)
{
    TForm1 form({notTiff});
    ASSERT_EQ(recorder.errors, QStringList{"Not a valid tiff file."});
    EXPECT_EQ(form.ListModel->rowCount(), 0);
    EXPECT_TRUE(form.acceptDrops());
    drop(form, {tiff});
    EXPECT_EQ(form.StatusText(1), "Page 1 of 3");
}

TEST_F(MainWindowTest, MissingPathOpensEmptyWithoutMessage)
{
    TForm1 form({QDir(QString::fromStdString(dir.Path().string())).filePath("none.tif")});
    EXPECT_TRUE(recorder.messages.isEmpty());
    EXPECT_TRUE(recorder.errors.isEmpty());
    EXPECT_EQ(form.TiffFile, nullptr);
    EXPECT_EQ(form.ListModel->rowCount(), 0);
}

TEST_F(MainWindowTest, StepsThroughPagesWithTheActionsStates)
{
    TForm1 form({tiff});
    struct Expect {
        bool next, prev;
    };
    const Expect states[] = {{true, false}, {true, true}, {false, true}};
    for (int page = 1; page <= 3; ++page) {
        form.UpdateActions();
        const Expect& e = states[page - 1];
        EXPECT_EQ(form.ActionNextPage->isEnabled(), e.next) << page;
        EXPECT_EQ(form.ActionPrevPage->isEnabled(), e.prev) << page;
        EXPECT_EQ(form.ActionNextPage->data().toInt(), e.next ? ImgNextPage : ImgNextPageDisabled);
        EXPECT_EQ(form.ActionPrevPage->data().toInt(), e.prev ? ImgPrevPage : ImgPrevPageDisabled);
        EXPECT_EQ(form.StatusText(1), QStringLiteral("Page %1 of 3").arg(page));
        EXPECT_EQ(cell(form, 2, 4), QString::number(page));
        if (e.next)
            form.ActionNextPage->trigger();
    }
    form.ActionPrevPage->trigger();
    EXPECT_EQ(form.CurrentPage, 2);
    EXPECT_EQ(form.StatusText(2), "Width:  2540.00 mm;  Length:  2540.00 mm");
    EXPECT_TRUE(recorder.messages.isEmpty());
}

TEST_F(MainWindowTest, OnePageFileDisablesBothNavigationActions)
{
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 1)});
    TForm1 form({QString::fromStdString(dir.Write("one.tif", b.Build()))});
    form.UpdateActions();
    EXPECT_FALSE(form.ActionNextPage->isEnabled());
    EXPECT_FALSE(form.ActionPrevPage->isEnabled());
    EXPECT_EQ(form.ActionNextPage->data().toInt(), 14);
    EXPECT_EQ(form.ActionPrevPage->data().toInt(), 13);
}

TEST_F(MainWindowTest, SwitchesBetweenDecimalAndHex)
{
    TForm1 form({tiff});
    QSignalSpy resets(form.ListModel, &QAbstractItemModel::modelReset);
    const QString status = form.StatusText(1);
    EXPECT_EQ(cell(form, 9, 6), "300");

    form.tb10->click(); // already pressed: nothing happens
    EXPECT_TRUE(form.tb10->isChecked());
    EXPECT_FALSE(form.tb16->isChecked());
    EXPECT_EQ(resets.count(), 0);

    form.tb16->click();
    EXPECT_TRUE(form.tb16->isChecked());
    EXPECT_FALSE(form.tb10->isChecked());
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(cell(form, 9, 6), "12C");
    EXPECT_EQ(cell(form, 9, 3), "StripOffsets");

    form.tb16->click(); // pressed again: stays pressed, no re-listing
    EXPECT_TRUE(form.tb16->isChecked());
    EXPECT_EQ(resets.count(), 1);

    form.ActionNextPage->trigger(); // the mode survives a page change
    form.ActionPrevPage->trigger();
    EXPECT_EQ(cell(form, 9, 6), "12C");

    form.tb10->click();
    EXPECT_EQ(cell(form, 9, 6), "300");
    EXPECT_EQ(form.StatusText(1), status);
}

TEST_F(MainWindowTest, ModeClickBeforeAnyFileOnlyMovesTheButtons)
{
    TForm1 form;
    form.tb16->click();
    EXPECT_TRUE(form.tb16->isChecked());
    EXPECT_EQ(form.ListModel->rowCount(), 0);
    EXPECT_TRUE(recorder.messages.isEmpty());
}

TEST_F(MainWindowTest, DropOpensOnlyTheFirstFileAndIgnoresFolders)
{
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 1)});
    const QString other = QString::fromStdString(dir.Write("other.tif", b.Build()));
    TForm1 form;
    drop(form, {QString::fromStdString(dir.Path().string())});
    EXPECT_EQ(form.TiffFile, nullptr);
    drop(form, {tiff, other, notTiff});
    ASSERT_NE(form.TiffFile, nullptr);
    EXPECT_EQ(form.TiffFile->FileName, tiff.toStdString());
    EXPECT_TRUE(recorder.errors.isEmpty());
    // A drop while page 3 is listed lists page 1 of the new file.
    form.ActionNextPage->trigger();
    form.ActionNextPage->trigger();
    drop(form, {other});
    EXPECT_EQ(form.CurrentPage, 1);
    EXPECT_EQ(form.StatusText(1), "Page 1 of 1");
}

TEST_F(MainWindowTest, StatusUsesTheLocaleDecimalSeparator)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TForm1 form({tiff});
    QLocale::setDefault(saved);
    EXPECT_EQ(form.StatusText(2), "Width:   209,97 mm;  Length:   297,01 mm");
}

TEST_F(MainWindowTest, FailedOpenAfterAGoodOneClearsEverything)
{
    TForm1 form({tiff});
    form.ActionNextPage->trigger();
    drop(form, {notTiff});
    EXPECT_EQ(recorder.errors, QStringList{"Not a valid tiff file."});
    EXPECT_EQ(form.ListModel->rowCount(), 0);
    EXPECT_EQ(form.StatusText(0), "Filename");
    EXPECT_EQ(form.StatusText(1), "Pages");
    form.UpdateActions();
    EXPECT_FALSE(form.ActionNextPage->isEnabled());
    EXPECT_FALSE(form.ActionPrevPage->isEnabled());
    // A mode switch lists the empty file: the header rows and "Input file wrong".
    form.tb16->click();
    EXPECT_EQ(form.ListModel->rowCount(), 5);
    EXPECT_EQ(cell(form, 1, 4), "0");
    EXPECT_EQ(recorder.messages, QStringList{"Input file wrong"});
}

TEST_F(MainWindowTest, OpenDialogTakesBothSpellingsAndKeepsTheName)
{
    TForm1 form;
    // Matched as the dialog's model does on Linux: letter case counts, so the
    // patterns themselves must allow both cases.
    const QStringList tiffPatterns = form.OPD->nameFilters().first().section('(', 1).chopped(1).split(' ');
    auto matches = [&](const char* name) {
        for (const QString& pattern : tiffPatterns) {
            const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern));
            if (re.match(QString::fromLatin1(name)).hasMatch())
                return true;
        }
        return false;
    };
    for (const char* name : {"a.tif", "b.TIFF", "c.Tif", "d.tiff"})
        EXPECT_TRUE(matches(name)) << name;
    for (const char* name : {"e.png", "f.tif.gz", "tif"})
        EXPECT_FALSE(matches(name)) << name;

    QTimer::singleShot(0, form.OPD, [&] {
        form.OPD->selectFile(tiff);
        static_cast<QDialog*>(form.OPD)->accept();
    });
    form.Open1->trigger();
    ASSERT_NE(form.TiffFile, nullptr);
    EXPECT_EQ(form.StatusText(1), "Page 1 of 3");
    EXPECT_EQ(form.OPD->selectedFiles().first(), tiff);

    // A typed name of a missing file opens an empty file object.
    const QString missing = QDir(QString::fromStdString(dir.Path().string())).filePath("typed.tif");
    QTimer::singleShot(0, form.OPD, [&] {
        auto* edit = form.OPD->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(edit, nullptr);
        edit->setText(missing);
        static_cast<QDialog*>(form.OPD)->accept();
    });
    form.Open1->trigger();
    EXPECT_EQ(recorder.messages, QStringList{"Input file wrong"});
    EXPECT_EQ(form.StatusText(1), "Page 1 of 0");
}

TEST_F(MainWindowTest, CopiesSelectedRowsAsTabSeparatedText)
{
    TForm1 form({tiff});
    form.ListView1->selectionModel()->select(form.ListModel->index(5, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    form.ListView1->selectionModel()->select(form.ListModel->index(1, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    form.ActionCopy->trigger();
    const QStringList lines = QApplication::clipboard()->text().split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], "Nr\tTag Pos\tTag nr\tTaginfo\tValue\tType\tLength\tValue Pos");
    EXPECT_EQ(lines[1], "\t\t\tTotal Pages\t3");
    EXPECT_TRUE(lines[2].startsWith("1\t")) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains("\t256\tImageWidth\t2480\tShort\t1\t"));
}

TEST_F(MainWindowTest, HintsLeaveTheStatusPanelsInPlace)
{
    TForm1 form({tiff});
    form.show();
    QStatusTipEvent tip(form.tb16->toolTip());
    QApplication::sendEvent(form.tb16, &tip);
    EXPECT_TRUE(form.statusBar()->currentMessage().isEmpty());
    EXPECT_TRUE(form.findChild<QLabel*>("StatusBar1Panel1")->isVisible());
    EXPECT_EQ(form.StatusText(1), "Page 1 of 3");
}

TEST_F(MainWindowTest, RepeatedPageDownStopsAtTheLastPage)
{
    // Key repeat can trigger the action again before the loop goes idle.
    TForm1 form({tiff});
    form.UpdateActions();
    for (int i = 0; i < 5; ++i)
        form.ActionNextPage->trigger();
    EXPECT_EQ(form.CurrentPage, 3);
    EXPECT_TRUE(recorder.messages.isEmpty());
    for (int i = 0; i < 5; ++i)
        form.ActionPrevPage->trigger();
    EXPECT_EQ(form.CurrentPage, 1);
}

TEST_F(MainWindowTest, EditFieldsLeaveDropsToTheWindow)
{
    TForm1 form;
    const auto edits = form.findChildren<QLineEdit*>();
    ASSERT_FALSE(edits.isEmpty());
    for (QLineEdit* edit : edits)
        EXPECT_FALSE(edit->acceptDrops()) << edit->objectName().toStdString();
    EXPECT_TRUE(form.acceptDrops());
}

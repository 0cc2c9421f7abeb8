// What the window says about the file on view: never another file's or
// page's text, no size box, the rows of a failed listing, the captions of the
// display mode, the title.
#include "support/tempdir.h"
#include "support/tiffbuilder.h"
#include "ui/batchtab.h"
#include "ui/main.h"
#include "ui/taglistmodel.h"
#include "uitest.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>

namespace {

class WindowTextsTest : public ::testing::Test {
protected:
    TempDir dir;
    MessageRecorder recorder;
    /// Page 1 measurable, page 2 with XResolution 0/1, page 3 without resolutions.
    QString file = [this] {
        TiffBuilder b;
        const auto res = b.Rational(300, 1), zero = b.Rational(0, 1);
        b.Page({TestEntry::Short(256, 2480), TestEntry::Short(257, 3508), TestEntry::At(282, tRational, 1, res),
                TestEntry::At(283, tRational, 1, res)});
        b.Page({TestEntry::Short(256, 512), TestEntry::At(282, tRational, 1, zero)});
        b.Page({TestEntry::Short(256, 100), TestEntry::Short(257, 100)});
        return QString::fromStdString(dir.Write("ome.tif", b.Build()));
    }();
};

} // namespace

TEST_F(WindowTextsTest, SizeThatCannotBeComputedIsSaidInItsPanelWithoutABox)
{
    TForm1 form({file});
    form.UpdateActions();
    const char* sizes[] = {"Width:   209.97 mm;  Length:   297.01 mm", "Size: unknown, XResolution is 0",
                           "Width:  2540.00 mm;  Length:  2540.00 mm"};
    for (int page = 1; page <= 3; ++page) {
        EXPECT_EQ(form.StatusText(1), QStringLiteral("Page %1 of 3").arg(page));
        EXPECT_EQ(form.StatusText(2), sizes[page - 1]);
        form.ActionNextPage->trigger();
    }
    form.ActionPrevPage->trigger();
    EXPECT_EQ(form.StatusText(2), sizes[1]); // not the text of page 3
    EXPECT_TRUE(recorder.errors.isEmpty());
    EXPECT_TRUE(recorder.messages.isEmpty());
}

TEST_F(WindowTextsTest, FailedListingKeepsThePartialRow)
{
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 1), TestEntry::Short(257, 1)});
    auto bytes = b.Build();
    Put16(bytes, b.DirOffset(0), 9, false); // claims entries past the end of the file
    TForm1 form({QString::fromStdString(dir.Write("cut.tif", bytes))});
    ASSERT_FALSE(recorder.messages.isEmpty()); // the reader's word on the directory, then the listing's
    EXPECT_EQ(recorder.messages.last(), "Input file wrong");
    // Entry 3 is read from the directory's end, entry 4 lies past the file: its Nr, Tag Pos 0, empty Tag nr.
    const auto& rows = form.ListModel->Rows();
    ASSERT_EQ(rows.size(), 9u);
    EXPECT_EQ(rows[7][0], "3");
    EXPECT_EQ(rows.back(), (TListingRow{"4", "0", ""}));
    EXPECT_EQ(form.ReportSource().Rows.back(), rows.back()); // and so does the printed report
}

TEST_F(WindowTextsTest, HexCaptionsOnScreenInCopiesAndInTheReport)
{
    TForm1 form({file});
    auto captions = [&](bool hex) {
        QStringList out{"Nr", "Tag Pos", "Tag nr", "Taginfo", "Value", "Type", "Length", "Value Pos"};
        for (int c : {1, 6, 7})
            out[c] += hex ? " (hex)" : "";
        return out;
    };
    auto check = [&](bool hex) {
        QStringList screen, printed;
        for (int c = 0; c < TTagListModel::ColumnCount; ++c)
            screen << form.ListView1->model()->headerData(c, Qt::Horizontal).toString();
        for (const std::string& c : form.ReportSource().Captions)
            printed << QString::fromStdString(c);
        form.ListView1->selectionModel()->select(form.ListModel->index(5, 0),
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        form.ActionCopy->trigger();
        const QStringList copied = QApplication::clipboard()->text().split('\n');
        EXPECT_EQ(screen, captions(hex));
        EXPECT_EQ(printed, captions(hex));
        ASSERT_EQ(copied.size(), 3); // captions, the row, the empty rest after the last line end
        EXPECT_EQ(copied[0], captions(hex).join('\t'));
        EXPECT_TRUE(copied[1].startsWith("1\t")) << copied[1].toStdString();
    };
    check(false);
    form.tb16->click();
    check(true);
    form.tb10->click();
    check(false);
}

TEST_F(WindowTextsTest, TitleTabAndPagesPanelFollowTheFile)
{
    TForm1 form;
    EXPECT_EQ(form.windowTitle(), "Velquin V5");
    form.PageControl1->setCurrentWidget(form.TabSheetBatch);
    form.LoadFile(file, 1);
    EXPECT_EQ(form.windowTitle(), "Velquin V5 - ome.tif");
    EXPECT_EQ(form.PageControl1->currentWidget(), form.TabSheetInfo);

    // A batch run lends the Pages panel its paths; afterwards it is the view's again.
    QStringList during;
    QObject::connect(form.BatchTab, &TBatchTab::fileRead, form.BatchTab, [&] { during << form.StatusText(1); });
    form.BatchTab->edtStartDir->setText(QString::fromStdString(dir.Path().string()));
    form.BatchTab->UpdateActions();
    form.BatchTab->BitBtnStart->click();
    EXPECT_EQ(during, QStringList{file});
    EXPECT_EQ(form.StatusText(1), "Page 1 of 3");

    const QString notTiff = QString::fromStdString(dir.Write("notes.tif", std::string_view("plain text")));
    EXPECT_THROW(form.LoadFile(notTiff, 1), std::exception);
    EXPECT_EQ(form.windowTitle(), "Velquin V5");
}

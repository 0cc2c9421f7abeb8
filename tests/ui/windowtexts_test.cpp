// What the window says about the file on view: never another file's or
// page's text, never a size box, the rows of a failed listing, the captions
// of the display mode, the title.
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
#include <QTest>
#include <QToolButton>
#include <QTreeView>

namespace {

class WindowTextsTest : public ::testing::Test {
protected:
    TempDir dir;
    MessageRecorder recorder;

    QString write(const std::string& name, std::vector<std::uint8_t> bytes)
    {
        return QString::fromStdString(dir.Write(name, bytes));
    }
    /// Page 1 measurable, page 2 with XResolution 0/1, page 3 measurable again.
    QString zeroResolutionFile()
    {
        TiffBuilder b;
        const auto res = b.Rational(300, 1), zero = b.Rational(0, 1);
        b.Page({TestEntry::Short(256, 2480), TestEntry::Short(257, 3508), TestEntry::At(282, tRational, 1, res),
                TestEntry::At(283, tRational, 1, res)});
        b.Page({TestEntry::Short(256, 512), TestEntry::At(282, tRational, 1, zero)});
        b.Page({TestEntry::Short(256, 100), TestEntry::Short(257, 100)});
        return write("ome.tif", b.Build());
    }
};

} // namespace

TEST_F(WindowTextsTest, SizeThatCannotBeComputedIsSaidInItsPanelWithoutABox)
{
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 10), TestEntry::At(282, tRational, 1, b.Rational(0, 1))});
    const QString zeroFirst = write("zero.tif", b.Build());
    TForm1 form({zeroResolutionFile()});
    EXPECT_EQ(form.StatusText(2), "Width:   209.97 mm;  Length:   297.01 mm");

    form.UpdateActions();
    form.ActionNextPage->trigger();
    EXPECT_EQ(form.StatusText(1), "Page 2 of 3");
    EXPECT_EQ(form.StatusText(2), "Size: unknown, XResolution is 0");
    form.ActionNextPage->trigger();
    EXPECT_EQ(form.StatusText(2), "Width:  2540.00 mm;  Length:  2540.00 mm");
    form.ActionPrevPage->trigger();
    EXPECT_EQ(form.StatusText(2), "Size: unknown, XResolution is 0");

    // Another file whose first page has no size: nothing of the last file stays.
    form.LoadFile(zeroFirst, 1);
    EXPECT_EQ(form.StatusText(0), "..." + zeroFirst.right(31));
    EXPECT_EQ(form.StatusText(1), "Page 1 of 1");
    EXPECT_EQ(form.StatusText(2), "Size: unknown, XResolution is 0");
    EXPECT_TRUE(recorder.errors.isEmpty());
    EXPECT_TRUE(recorder.messages.isEmpty());
}

TEST_F(WindowTextsTest, FailedListingKeepsThePartialRow)
{
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 1), TestEntry::Short(257, 1)});
    auto bytes = b.Build();
    Put16(bytes, b.DirOffset(0), 9, false); // claims entries past the end of the file
    TForm1 form({write("cut.tif", bytes)});
    ASSERT_FALSE(recorder.messages.isEmpty()); // the reader's word on the directory, then the listing's
    EXPECT_EQ(recorder.messages.last(), "Input file wrong");
    const auto& rows = form.ListModel->Rows();
    ASSERT_GE(rows.size(), 8u);
    // The last row is the unread entry's: its Nr, its Tag Pos, an empty Tag nr.
    EXPECT_EQ(rows.back(), (TListingRow{std::to_string(rows.size() - 5), "0", ""}));
    EXPECT_EQ(form.ListModel->CellText(static_cast<int>(rows.size()) - 1, 3), "");
    // The printed report takes the same rows.
    EXPECT_EQ(form.ReportSource().Rows.back(), rows.back());
}

TEST_F(WindowTextsTest, HexCaptionsOnScreenInCopiesAndInTheReport)
{
    TForm1 form({zeroResolutionFile()});
    const QStringList decimal{"Nr", "Tag Pos", "Tag nr", "Taginfo", "Value", "Type", "Length", "Value Pos"};
    const QStringList hex{"Nr",    "Tag Pos (hex)", "Tag nr",       "Taginfo",
                          "Value", "Type",          "Length (hex)", "Value Pos (hex)"};
    auto screen = [&] {
        QStringList out;
        for (int c = 0; c < TTagListModel::ColumnCount; ++c)
            out << form.ListView1->model()->headerData(c, Qt::Horizontal).toString();
        return out;
    };
    auto copied = [&] {
        form.ListView1->selectionModel()->select(form.ListModel->index(5, 0),
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        form.ActionCopy->trigger();
        return QApplication::clipboard()->text().split('\n');
    };
    auto printed = [&] {
        QStringList out;
        for (const std::string& c : form.ReportSource().Captions)
            out << QString::fromStdString(c);
        return out;
    };
    EXPECT_EQ(screen(), decimal);
    EXPECT_EQ(printed(), decimal);
    EXPECT_EQ(copied().first(), decimal.join('\t'));

    form.tb16->click();
    EXPECT_EQ(screen(), hex);
    EXPECT_EQ(printed(), hex);
    const QStringList lines = copied();
    ASSERT_EQ(lines.size(), 3); // captions, the row, and the empty rest after the last line end
    EXPECT_EQ(lines[0], hex.join('\t'));
    EXPECT_TRUE(lines[1].startsWith("1\t")) << lines[1].toStdString();

    form.tb10->click();
    EXPECT_EQ(screen(), decimal);
}

TEST_F(WindowTextsTest, TitleNamesTheOpenFile)
{
    TForm1 form;
    EXPECT_EQ(form.windowTitle(), "Velquin V5");
    form.LoadFile(zeroResolutionFile(), 1);
    EXPECT_EQ(form.windowTitle(), "Velquin V5 - ome.tif");
    const QString notTiff = QString::fromStdString(dir.Write("notes.tif", std::string_view("plain text")));
    EXPECT_THROW(form.LoadFile(notTiff, 1), std::exception);
    EXPECT_EQ(form.windowTitle(), "Velquin V5");
}

TEST_F(WindowTextsTest, OpeningAFileShowsTheInfoTab)
{
    TForm1 form;
    form.PageControl1->setCurrentWidget(form.TabSheetBatch);
    form.LoadFile(zeroResolutionFile(), 1);
    EXPECT_EQ(form.PageControl1->currentWidget(), form.TabSheetInfo);
}

TEST_F(WindowTextsTest, PagesPanelIsTheViewsAgainAfterABatch)
{
    const QString file = zeroResolutionFile(); // the run reads this file too
    for (const bool withFile : {true, false}) {
        TForm1 form(withFile ? QStringList{file} : QStringList{});
        form.UpdateActions();
        if (withFile)
            form.ActionNextPage->trigger();
        const QString before = form.StatusText(1);
        EXPECT_EQ(before, withFile ? "Page 2 of 3" : "Pages");
        QStringList during;
        QObject::connect(form.BatchTab, &TBatchTab::fileRead, form.BatchTab, [&] { during << form.StatusText(1); });
        form.BatchTab->edtStartDir->setText(QString::fromStdString(dir.Path().string()));
        form.BatchTab->UpdateActions();
        form.BatchTab->BitBtnStart->click();
        EXPECT_EQ(during, QStringList{file});
        EXPECT_EQ(form.StatusText(1), before);
    }
}

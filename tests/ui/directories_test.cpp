// The whole file in the window: the directory selector beside the arrows,
// sub-directories listed and entered, and the detail pane under the listing.
#include "support/tempdir.h"
#include "support/tiffbuilder.h"
#include "ui/detailpane.h"
#include "ui/directoryselector.h"
#include "ui/editdlg.h"
#include "ui/elidedlabel.h"
#include "ui/main.h"
#include "ui/taglistmodel.h"
#include "uitest.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <fstream>

namespace {

/// Page 1: a Short array of 100,000, Compression LZW, ImageDescription, and
/// Exif (with an Interoperability directory) and GPS pointers; page 2; page 3
/// with an Exif pointer of offset 0.
std::vector<std::uint8_t> exifFile()
{
    TiffBuilder b;
    std::string shorts;
    for (std::uint32_t i = 0; i < 100000; ++i)
        shorts += {static_cast<char>(i & 0xFF), static_cast<char>((i >> 8) & 0xFF)};
    const auto array = b.Data(shorts);
    const auto interop = b.Directory({TestEntry::Inline(1, tAscii, 4, std::string_view("R98", 4))});
    const auto date = b.Data(std::string_view("2024:05:01 10:20:30", 20));
    const auto exif = b.Directory({TestEntry::At(33434, tRational, 1, b.Rational(1, 60)),
                                   TestEntry::At(36867, tAscii, 20, date), TestEntry::At(40965, tLong, 1, interop)});
    const auto gps = b.Directory({TestEntry::Inline(1, tAscii, 2, std::string_view("N", 2))});
    const auto text = b.Data(std::string_view("A scanned letter", 17));
    b.Page({TestEntry::At(273, tShort, 100000, array), TestEntry::Short(259, 5), TestEntry::At(270, tAscii, 17, text),
            TestEntry::At(34665, tLong, 1, exif), TestEntry::At(34853, tLong, 1, gps)});
    b.Page({TestEntry::Short(256, 16)});
    b.Page({TestEntry::Short(256, 8), TestEntry::At(34665, tLong, 1, 0)});
    return b.Build();
}

// Rows of page 1 and of 1/exif (the tag rows start at 5).
enum { kArrayRow = 5, kCompressionRow, kTextRow, kExifRow, kGpsRow };
enum { kExposureRow = 5, kDateRow, kInteropRow };

class DirectoriesTest : public ::testing::Test {
protected:
    QString cell(int row, int column) const { return form->ListModel->CellText(row, column); }
    QString listed() const { return cell(1, 4); } ///< "1/exif" for a directory, the page count for a page
    void choose(int index)
    {
        form->DirectorySelector->setCurrentIndex(index);
        emit form->DirectorySelector->activated(index); // as a click in the list does
    }
    void press(int row, Qt::Key key)
    {
        form->ListView1->setCurrentIndex(form->ListModel->index(row, 0));
        QTest::keyClick(form->ListView1, key);
    }
    QString values() const { return form->DetailPane->DetailValues->toPlainText(); }

    TempDir dir;
    MessageRecorder recorder;
    std::string path = dir.Write("exif.tif", exifFile());
    std::unique_ptr<TForm1> form = std::make_unique<TForm1>(QStringList{QString::fromStdString(path)});
};

} // namespace

TEST_F(DirectoriesTest, SelectorListsPagesWithTheirSubDirectoriesAndArrowsKeepToPages)
{
    QStringList items;
    for (int i = 0; i < form->DirectorySelector->count(); ++i)
        items << form->DirectorySelector->itemText(i);
    EXPECT_EQ(items, (QStringList{"Page 1", "1/exif", "1/exif/interop", "1/gps", "Page 2", "Page 3"}));
    EXPECT_EQ(form->DirectorySelector->currentIndex(), 0);

    choose(1);
    EXPECT_EQ(listed(), "1/exif");
    EXPECT_EQ(cell(kExposureRow, 3), "ExposureTime");
    EXPECT_EQ(cell(kExposureRow, 4), "1/60 (0.01666666667)");
    EXPECT_EQ(cell(kDateRow, 3), "DateTimeOriginal");
    EXPECT_EQ(form->StatusText(1), "Page 1 of 3");
    // The display mode lists the same directory again.
    const QString tagPos = cell(kExposureRow, 1);
    form->tb16->click();
    EXPECT_EQ(listed(), "1/exif");
    EXPECT_EQ(cell(kExposureRow, 1), QString::number(tagPos.toInt(), 16).toUpper());

    // The arrows step through pages from wherever the view stands.
    form->UpdateActions();
    ASSERT_TRUE(form->ActionNextPage->isEnabled());
    EXPECT_FALSE(form->ActionPrevPage->isEnabled());
    form->ActionNextPage->trigger();
    EXPECT_EQ(cell(2, 3), "Current Page");
    EXPECT_EQ(cell(2, 4), "2");
    EXPECT_EQ(form->DirectorySelector->currentText(), "Page 2");
    EXPECT_EQ(form->StatusText(1), "Page 2 of 3");
    choose(3);
    EXPECT_EQ(listed(), "1/gps");
    EXPECT_EQ(cell(5, 3), "GPSLatitudeRef");
    EXPECT_EQ(form->StatusText(1), "Page 1 of 3");
    choose(5);
    EXPECT_EQ(cell(2, 4), "3");
    EXPECT_TRUE(recorder.messages.isEmpty());
}

TEST_F(DirectoriesTest, DetailPaneShowsTheSelectedEntryAPageAtATime)
{
    EXPECT_TRUE(values().isEmpty());
    form->ListView1->setCurrentIndex(form->ListModel->index(kArrayRow, 0));
    TDetailPane& pane = *form->DetailPane;
    EXPECT_EQ(pane.lblDetailTitle->text(), "StripOffsets (273) on page 1");
    EXPECT_TRUE(pane.lblDetailFacts->text().contains("Value: 200000 bytes at 8 (0x8)"));
    const QStringList lines = values().split('\n');
    ASSERT_EQ(lines.size(), 256);
    EXPECT_EQ(lines.back(), "[255] 255");
    EXPECT_EQ(pane.lblValuesPage->text(), "Values 1 to 256 of 100000");
    EXPECT_FALSE(pane.btnPrevValues->isEnabled());
    pane.btnNextValues->click();
    EXPECT_TRUE(values().startsWith("[256] 256\n"));
    EXPECT_TRUE(pane.DetailBytes->toPlainText().startsWith("00000208  00 01 01 01"));
    pane.btnPrevValues->click();
    EXPECT_TRUE(values().startsWith("[0] 0\n"));

    form->ListView1->setCurrentIndex(form->ListModel->index(kCompressionRow, 0));
    EXPECT_EQ(values(), "[0] 5 = LZW");
    form->ListView1->setCurrentIndex(form->ListModel->index(1, 0)); // a row about the file
    EXPECT_TRUE(values().isEmpty());
    EXPECT_TRUE(pane.lblDetailTitle->text().isEmpty());

    choose(1);
    form->ListView1->setCurrentIndex(form->ListModel->index(kExposureRow, 0));
    EXPECT_EQ(values(), "[0] 1/60 (0.01666666667)");
}

TEST_F(DirectoriesTest, EnterOrDoubleClickEntersSubDirectoriesWhileTextsStillOpenTheEditor)
{
    form->show();
    form->ListView1->setFocus();
    press(kExifRow, Qt::Key_Return);
    EXPECT_EQ(listed(), "1/exif");
    EXPECT_EQ(form->ListView1->currentIndex().row(), kExposureRow); // keys go on from the first entry
    press(kInteropRow, Qt::Key_Enter);
    EXPECT_EQ(listed(), "1/exif/interop");
    EXPECT_EQ(cell(5, 3), "InteroperabilityIndex");
    QTest::keyClick(form->ListView1, Qt::Key_Backspace);
    EXPECT_EQ(listed(), "1/exif");
    QTest::keyClick(form->ListView1, Qt::Key_Backspace);
    EXPECT_EQ(cell(2, 3), "Current Page");
    form->ListView1->setCurrentIndex(form->ListModel->index(kGpsRow, 0));
    form->ListView1DblClick();
    EXPECT_EQ(listed(), "1/gps");
    EXPECT_TRUE(recorder.messages.isEmpty());

    // A text of a page opens the editor; one below a page is refused in words.
    int opened = 0;
    QTimer closer; // closes every editor that opens, so none waits for a user
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<TEditForm*>(QApplication::activeModalWidget()))
            opened += dialog->close();
    });
    closer.start(0);
    choose(0);
    press(kTextRow, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(opened, 1);
    choose(1);
    press(kDateRow, Qt::Key_Return);
    press(kDateRow, Qt::Key_F2);
    QApplication::processEvents();
    closer.stop();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(recorder.messages, QStringList(2, "Only the texts of a page can be edited; this one lies in 1/exif."));

    // An entry whose directory could not be read says why.
    choose(5);
    press(6, Qt::Key_Return);
    EXPECT_EQ(recorder.messages.last(), "This entry points to no directory: its offset is 0.");
    EXPECT_EQ(cell(2, 4), "3");
}

TEST_F(DirectoriesTest, AFileChangedOnDiskIsSaidNotShown)
{
    std::ofstream(path, std::ios::app) << "appended by another program";
    form->ListView1->setCurrentIndex(form->ListModel->index(kCompressionRow, 0));
    EXPECT_EQ(values(), "The file has changed since it was read (open it again)");
    EXPECT_TRUE(form->DetailPane->DetailBytes->toPlainText().isEmpty());
    EXPECT_TRUE(form->DetailPane->lblValuesPage->text().isEmpty());
    // A directory below a page still shows its structure, and the message once.
    choose(1);
    EXPECT_EQ(cell(kExposureRow, 3), "ExposureTime");
    EXPECT_TRUE(cell(kExposureRow, 4).isEmpty());
    EXPECT_EQ(recorder.messages, QStringList{"The file has changed since it was read (open it again)"});
    press(kInteropRow, Qt::Key_Return);
    EXPECT_EQ(recorder.errors, QStringList{"The file has changed since it was read (open it again)"});
}

TEST_F(DirectoriesTest, NewControlsShowTheirWholeTextAtEachFontSize)
{
    const QFont saved = QApplication::font();
    for (const qreal factor : {8.0 / 9, 1.0, 1.5}) {
        QFont f = saved;
        f.setPointSizeF(f.pointSizeF() * factor);
        QApplication::setFont(f);
        auto window = std::make_unique<TForm1>(QStringList{QString::fromStdString(path)});
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->ListView1->setCurrentIndex(window->ListModel->index(kArrayRow, 0));
        window->DetailPane->btnNextValues->click();
        QApplication::processEvents();
        const TDetailPane& pane = *window->DetailPane;
        for (const QPushButton* b : {pane.btnPrevValues, pane.btnNextValues})
            EXPECT_GE(b->width(), b->sizeHint().width()) << factor;
        EXPECT_GE(pane.lblValuesPage->contentsRect().width(),
                  pane.lblValuesPage->fontMetrics().horizontalAdvance(pane.lblValuesPage->text()))
            << factor;
        EXPECT_EQ(pane.lblDetailTitle->ShownText(), pane.lblDetailTitle->text()) << factor;
        EXPECT_GE(pane.lblDetailFacts->height(), pane.lblDetailFacts->heightForWidth(pane.lblDetailFacts->width()))
            << factor;
        // The selector's box holds a deep id.
        const QComboBox& selector = *window->DirectorySelector;
        EXPECT_GE(selector.width(), selector.fontMetrics().horizontalAdvance("12/subifd1/exif")) << factor;
    }
    QApplication::setFont(saved);
}

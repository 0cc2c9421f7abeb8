// What is wrong with a file, in the window: marks on the rows of the listing,
// the Problems pane, the status bar's count and the map of the file.
#include "support/tempdir.h"
#include "support/tiffbuilder.h"
#include "ui/directoryselector.h"
#include "ui/filemap.h"
#include "ui/imagelist.h"
#include "ui/main.h"
#include "ui/problemspane.h"
#include "ui/taglistmodel.h"
#include "uitest.h"

#include <QTest>
#include <QTreeView>

#include <set>

namespace {

// Page 1 of both files: the tag rows start at 5.
enum { kWidthRow = 5, kDescriptionRow = 10, kStripOffsetsRow, kDateTimeRow = 18 };

/// Two 4 x 4 grey pages, each with its own values, the second with an Exif
/// directory. Damaged: each strip begins inside its page's description,
/// DateTime has dashes and the Exif date lacks its NUL.
std::vector<std::uint8_t> twoPages(bool damaged)
{
    TiffBuilder b;
    const auto page = [&] {
        const auto text = b.Data(std::string_view("A scanned letter", 17)); // page 1: 8 .. 25
        const auto pixels = b.Data(std::string(16, '\x7f'));
        const auto date =
            b.Data(damaged ? std::string_view("2024-05-01 10:20:30", 20) : std::string_view("2024:05:01 10:20:30", 20));
        const auto xres = b.Rational(300, 1);
        const auto yres = b.Rational(300, 1);
        return std::vector<TestEntry>{TestEntry::Short(256, 4),
                                      TestEntry::Short(257, 4),
                                      TestEntry::Short(258, 8),
                                      TestEntry::Short(259, 1),
                                      TestEntry::Short(262, 1),
                                      TestEntry::At(270, tAscii, 17, text),
                                      TestEntry::Long(273, damaged ? text + 8 : pixels),
                                      TestEntry::Short(277, 1),
                                      TestEntry::Short(278, 4),
                                      TestEntry::Long(279, 16),
                                      TestEntry::At(282, tRational, 1, xres),
                                      TestEntry::At(283, tRational, 1, yres),
                                      TestEntry::Short(296, 2),
                                      TestEntry::At(306, tAscii, 20, date)};
    };
    b.Page(page());
    std::vector<TestEntry> second = page();
    const auto exifDate = b.Data(std::string_view("2024:05:01 10:20:30", 20));
    second.push_back(
        TestEntry::At(34665, tLong, 1, b.Directory({TestEntry::At(36867, tAscii, damaged ? 19 : 20, exifDate)})));
    b.Page(second);
    return b.Build();
}

QIcon iconOf(const QModelIndex& index)
{
    return index.data(Qt::DecorationRole).value<QIcon>();
}

class ProblemsTest : public ::testing::Test {
protected:
    void open(const std::string& path) { form->LoadFile(QString::fromStdString(path), 1); }
    QModelIndex nr(int row) const { return form->ListModel->index(row, 0); }
    TProblemListModel* problems() const { return form->ProblemsPane->Model(); }
    /// The first pane row of the finding identified so.
    int paneRow(const QString& identifier) const
    {
        for (int r = 0; r < problems()->rowCount(); ++r)
            if (problems()->index(r, TProblemListModel::IdentifierColumn).data().toString() == identifier)
                return r;
        return -1;
    }
    /// The pane's sentences, for failure messages.
    std::string listed() const
    {
        QStringList lines;
        for (int r = 0; r < problems()->rowCount(); ++r)
            lines << problems()->index(r, TProblemListModel::SentenceColumn).data().toString();
        return lines.join('\n').toStdString();
    }
    void choose(int paneRow) { emit form->ProblemsPane->clicked(problems()->index(paneRow, 0)); }
    /// The map one pixel a byte, inside its frame of a pixel: byte b at x = b + 1.
    void mapByBytes() { form->FileMap->resize(static_cast<int>(form->TiffFile->Stamp.Size) + 2, 18); }
    QString mapText(std::uint64_t byte) const { return form->FileMap->TextAt(static_cast<int>(byte) + 1); }
    void clickMap(std::uint64_t byte)
    {
        QTest::mouseClick(form->FileMap, Qt::LeftButton, {}, QPoint(static_cast<int>(byte) + 1, 5));
    }

    TempDir dir;
    MessageRecorder recorder;
    std::string damaged = dir.Write("damaged.tif", twoPages(true));
    std::string sound = dir.Write("sound.tif", twoPages(false));
    std::unique_ptr<TForm1> form = std::make_unique<TForm1>();
};

} // namespace

TEST_F(ProblemsTest, FlaggedRowsCarryTheWorstMarkAndTheirSentences)
{
    open(damaged);
    // The description's value and the strip share 9 bytes: an error on its row.
    const QModelIndex description = nr(kDescriptionRow);
    EXPECT_EQ(iconOf(description).cacheKey(), ImageList1(ImgError).cacheKey());
    EXPECT_TRUE(description.data(Qt::ToolTipRole).toString().contains("overlap in 9 bytes at 16"))
        << description.data(Qt::ToolTipRole).toString().toStdString();
    const QModelIndex date = nr(kDateTimeRow);
    EXPECT_EQ(iconOf(date).cacheKey(), ImageList1(ImgWarning).cacheKey());
    EXPECT_TRUE(date.data(Qt::ToolTipRole).toString().contains("DateTime"))
        << date.data(Qt::ToolTipRole).toString().toStdString();
    // A sound row, and every cell but Nr, stay as listed.
    EXPECT_TRUE(iconOf(nr(kWidthRow)).isNull());
    EXPECT_EQ(nr(kWidthRow).data(Qt::ToolTipRole).toString(), "1");
    EXPECT_EQ(description.data().toString(), "6");
    EXPECT_TRUE(iconOf(description.siblingAtColumn(3)).isNull());
    EXPECT_EQ(description.siblingAtColumn(3).data(Qt::ToolTipRole).toString(), "ImageDescript.");
    // Listed again in hexadecimal, the marks stay.
    form->tb16Click();
    EXPECT_EQ(iconOf(nr(kDescriptionRow)).cacheKey(), ImageList1(ImgError).cacheKey());
    EXPECT_TRUE(iconOf(nr(kWidthRow)).isNull());
}

TEST_F(ProblemsTest, StatusAndPaneFollowTheFile)
{
    open(sound);
    EXPECT_TRUE(form->ProblemsPane->isHidden()) << listed();
    EXPECT_FALSE(form->FileMap->isHidden()); // a sound layout is worth a look too
    EXPECT_EQ(form->StatusText(0), QString::fromStdString(FileNamePanelText(sound)));

    open(damaged);
    EXPECT_FALSE(form->ProblemsPane->isHidden());
    const int listed = problems()->rowCount();
    EXPECT_GE(listed, 3); // the overlap, DateTime, the Exif text without its NUL
    EXPECT_EQ(form->StatusText(0),
              QString::fromStdString(FileNamePanelText(damaged)) + QStringLiteral(" - %1 problems").arg(listed));
    const int overlap = paneRow("overlap");
    ASSERT_GE(overlap, 0);
    EXPECT_EQ(iconOf(problems()->index(overlap, 0)).cacheKey(), ImageList1(ImgError).cacheKey());
    EXPECT_EQ(problems()->index(overlap, 0).data().toString(), "error");
    EXPECT_EQ(problems()->index(overlap, TProblemListModel::DirectoryColumn).data().toString(), "1");
    EXPECT_EQ(problems()->index(overlap, TProblemListModel::OffsetColumn).data().toString(), "16");

    // A file that fails to open takes the findings of the last one away.
    const std::string notTiff = dir.Write("notes.tif", std::string_view("just some text"));
    EXPECT_ANY_THROW(open(notTiff));
    EXPECT_TRUE(form->ProblemsPane->isHidden());
    EXPECT_TRUE(form->FileMap->isHidden());
    EXPECT_EQ(problems()->rowCount(), 0);
    EXPECT_EQ(form->StatusText(0), "Filename");
}

TEST_F(ProblemsTest, ChoosingAFindingListsItsDirectoryAndSelectsItsRow)
{
    open(damaged);
    // A finding of page 2, chosen on page 1: the page is listed by the arrows' way.
    int onPage2 = -1;
    for (int r = 0; r < problems()->rowCount() && onPage2 < 0; ++r)
        if (const TProblem* p = problems()->Problem(r); p && p->DirectoryId == "2" && p->Entry >= 0)
            onPage2 = r;
    ASSERT_GE(onPage2, 0);
    choose(onPage2);
    EXPECT_EQ(form->StatusText(1), "Page 2 of 2");
    EXPECT_EQ(form->DirectorySelector->currentText(), "Page 2");
    const int row = FirstTagRow + problems()->Problem(onPage2)->Entry;
    EXPECT_EQ(form->ListView1->currentIndex().row(), row);
    EXPECT_TRUE(form->ListView1->selectionModel()->isRowSelected(row, {}));
    EXPECT_FALSE(iconOf(nr(row)).isNull());

    // A finding below a page lists that directory.
    const int exif = paneRow("ascii-no-nul");
    ASSERT_GE(exif, 0);
    choose(exif);
    EXPECT_EQ(form->ListModel->CellText(1, 4), "2/exif");
    EXPECT_EQ(form->ListView1->currentIndex().row(), FirstTagRow);
    EXPECT_EQ(iconOf(nr(FirstTagRow)).cacheKey(), ImageList1(ImgWarning).cacheKey());
    EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.messages.join(" | ").toStdString();
}

TEST_F(ProblemsTest, CappedFindingsAreCountedOnALineOfTheirOwn)
{
    // 1,010 entries of a type TIFF does not know: the pane lists 1,000.
    TiffBuilder b;
    std::vector<TestEntry> entries;
    for (std::uint16_t t = 0; t < 1010; ++t)
        entries.push_back(TestEntry::Long(static_cast<std::uint16_t>(40000 + t), 0, 1, 99));
    b.Page(entries);
    open(dir.Write("unknown.tif", b.Build()));
    const int last = problems()->rowCount() - 1;
    ASSERT_GE(last, 1000);
    EXPECT_EQ(problems()->index(last, TProblemListModel::SentenceColumn).data().toString(),
              "10 more like this are not listed");
    EXPECT_EQ(problems()->index(last, TProblemListModel::IdentifierColumn).data().toString(), "unknown-type");
    EXPECT_EQ(problems()->Problem(last), nullptr);
    form->ListView1->setCurrentIndex(nr(kWidthRow));
    choose(last); // leads nowhere
    EXPECT_EQ(form->ListView1->currentIndex().row(), kWidthRow);
}

TEST_F(ProblemsTest, MapNamesThePartUnderThePointerAndLeadsToItsRow)
{
    open(damaged);
    mapByBytes();
    EXPECT_EQ(mapText(0), "header, 8 bytes at 0");
    EXPECT_EQ(mapText(10), "ImageDescription value of page 1, 17 bytes at 8");
    // Bytes 16 to 25 are claimed twice: the value is named, then the overlap.
    EXPECT_EQ(mapText(20), "ImageDescription value of page 1, 17 bytes at 8\n"
                           "overlap: ImageDescription value of page 1 and strip 1 of page 1, "
                           "9 bytes at 16");
    EXPECT_EQ(mapText(30), "strip 1 of page 1, 16 bytes at 16");
    const std::uint64_t pageDirectory = form->TiffFile->Directories[0].Offset;
    EXPECT_TRUE(mapText(pageDirectory + 1).startsWith("Page 1 directory, "));
    EXPECT_TRUE(mapText(form->TiffFile->Stamp.Size - 1).startsWith("Page 2 directory, ")); // the last byte, too

    clickMap(30); // the strip: its StripOffsets row
    EXPECT_EQ(form->ListView1->currentIndex().row(), kStripOffsetsRow);
    const std::uint64_t exifDirectory = form->TiffFile->Directories[2].Offset;
    clickMap(exifDirectory + 1); // a directory below page 2
    EXPECT_EQ(form->ListModel->CellText(1, 4), "2/exif");
    clickMap(2); // the header: the rows about the file
    EXPECT_TRUE(form->ListView1->selectionModel()->isRowSelected(0, {}));
    EXPECT_TRUE(form->ListView1->selectionModel()->isRowSelected(3, {}));
    EXPECT_FALSE(form->ListView1->selectionModel()->isRowSelected(FirstTagRow, {}));

    // Overlapping bytes stand out in a colour of their own (drawn at the width the layout gives).
    const QImage drawn = form->FileMap->grab().toImage();
    std::set<QRgb> overlaps, others;
    for (int x = 0; x < drawn.width(); ++x)
        (form->FileMap->TextAt(x).contains("\noverlap: ") ? overlaps : others).insert(drawn.pixel(x, 9));
    ASSERT_EQ(overlaps.size(), 1u);
    EXPECT_EQ(others.count(*overlaps.begin()), 0u);
    EXPECT_GE(others.size(), 5u); // header, directories, values, data, gaps
}

TEST_F(ProblemsTest, SmallPartsKeepAColumnOnANarrowMap)
{
    open(sound);
    // Ten columns for a file of about 450 bytes: the 8-byte header and the
    // Exif directory of 18 bytes still show among values and data.
    form->FileMap->resize(12, 18);
    QStringList shown;
    for (int x = 0; x < 12; ++x)
        shown << form->FileMap->TextAt(x).section(QLatin1Char(','), 0, 0);
    for (const char* part : {"header", "Page 1 directory", "Page 2 directory", "Exif directory 2/exif"})
        EXPECT_TRUE(shown.contains(QLatin1String(part))) << part << ": " << shown.join(" | ").toStdString();
}

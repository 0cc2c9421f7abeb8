// The printed report of a real listing, printed to PDF through the window's
// print command and read back with poppler's pdfinfo and pdftotext.
#include "../../ui/uitest.h"
#include "support/tempdir.h"
#include "support/tiffbuilder.h"
#include "ui/main.h"
#include "ui/taglistmodel.h"

#include <QAction>
#include <QFileInfo>
#include <QHeaderView>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTreeView>

namespace {

/// One page with 80 entries: more rows than an A4 sheet holds at 10 point.
std::vector<std::uint8_t> longPage()
{
    TiffBuilder b;
    const auto artist = b.Data(std::string_view("Ann Example\0", 12));
    std::vector<TestEntry> entries{TestEntry::Short(256, 2480), TestEntry::Short(257, 3508),
                                   TestEntry::At(315, tAscii, 12, artist)};
    for (std::uint16_t i = 0; i < 77; ++i)
        entries.push_back(TestEntry::Short(static_cast<std::uint16_t>(40000 + i), i));
    b.Page(entries);
    return b.Build();
}

QString run(const QString& program, const QStringList& args)
{
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty()) {
        ADD_FAILURE() << program.toStdString() << " not found (Debian package poppler-utils)";
        return {};
    }
    QProcess p;
    p.start(path, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        ADD_FAILURE() << program.toStdString() << " failed: " << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString pdfInfo(const QString& pdf, const QString& field)
{
    for (const QString& line : run("pdfinfo", {pdf}).split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed();
    return {};
}

QString pdfText(const QString& pdf, int page)
{
    return run("pdftotext", {"-f", QString::number(page), "-l", QString::number(page), "-layout", pdf, "-"});
}

class ReportPrinterTest : public ::testing::Test {
protected:
    /// Answers the print dialog with a PDF file, and with what a user might
    /// have picked there besides.
    void printTo(TForm1& form, const QString& pdf)
    {
        form.PrintDialog1 = [pdf](QPrinter& printer, QWidget*) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            printer.setCopyCount(3);
            printer.setPageOrientation(QPageLayout::Landscape);
            return true;
        };
        form.UpdateActions();
        form.ActionPrint->trigger();
    }

    TempDir dir;
    MessageRecorder recorder;
    QString tiff = QString::fromStdString(dir.Write("report scan.tif", longPage()));
    QString pdf = QString::fromStdString((dir.Path() / "report.pdf").string());
};

} // namespace

TEST_F(ReportPrinterTest, ListingOfTwoPagesPrintsToPdf)
{
    TForm1 form({tiff});
    ASSERT_EQ(form.ListModel->rowCount(), 87);
    printTo(form, pdf);
    ASSERT_TRUE(recorder.errors.isEmpty()) << recorder.errors.join(' ').toStdString();
    ASSERT_TRUE(QFileInfo::exists(pdf));

    // One portrait copy, whatever the dialog said.
    EXPECT_EQ(pdfInfo(pdf, "Pages"), "2");
    EXPECT_EQ(pdfInfo(pdf, "Title"), "Velquin Print");
    const QStringList size = pdfInfo(pdf, "Page size").split(' ');
    ASSERT_GE(size.size(), 3);
    EXPECT_LT(size[0].toDouble(), size[2].toDouble()) << pdfInfo(pdf, "Page size").toStdString();

    const QString page1 = pdfText(pdf, 1);
    const QString page2 = pdfText(pdf, 2);
    for (const QString& page : {page1, page2}) {
        EXPECT_TRUE(page.contains("Tiff Header Report"));
        EXPECT_TRUE(page.contains("Velquin"));
        EXPECT_TRUE(page.contains("Taginfo"));
        EXPECT_TRUE(page.contains("File: " + tiff));
    }
    EXPECT_TRUE(page1.contains("Page: 1 / 2"));
    EXPECT_TRUE(page2.contains("Page: 2 / 2"));
    EXPECT_FALSE(page1.contains("Page: 2 / 2"));
    // The first rows on page 1, the last ones on page 2.
    EXPECT_TRUE(page1.contains("report scan.tif"));
    EXPECT_TRUE(page1.contains("ImageWidth"));
    EXPECT_TRUE(page1.contains("2480"));
    EXPECT_TRUE(page1.contains("Artist"));
    EXPECT_TRUE(page1.contains("Ann Example"));
    EXPECT_TRUE(page2.contains("Velquin Ver 4.0"));
    EXPECT_FALSE(page1.contains("Velquin Ver 4.0"));
}

TEST_F(ReportPrinterTest, CancelPrintsNothing)
{
    TForm1 form({tiff});
    bool asked = false;
    form.PrintDialog1 = [&](QPrinter& printer, QWidget*) {
        asked = true;
        printer.setOutputFileName(pdf);
        return false;
    };
    form.UpdateActions();
    form.ActionPrint->trigger();
    EXPECT_TRUE(asked);
    EXPECT_FALSE(QFileInfo::exists(pdf));
    EXPECT_TRUE(recorder.errors.isEmpty());
}

TEST_F(ReportPrinterTest, NothingToPrintWithoutAFile)
{
    TForm1 form;
    bool asked = false;
    form.PrintDialog1 = [&](QPrinter&, QWidget*) { return asked = true; };
    form.UpdateActions();
    EXPECT_FALSE(form.ActionPrint->isEnabled());
    form.ActionPrint->trigger();
    form.ActionPrintExecute();
    EXPECT_FALSE(asked);
}

TEST_F(ReportPrinterTest, EmptyListingGivesAnEmptyDocument)
{
    // A file object that failed to open has no rows to print.
    const QString notTiff = QString::fromStdString(dir.Write("notes.tif", std::string_view("plain text")));
    TForm1 form({notTiff});
    recorder.errors.clear();
    ASSERT_NE(form.TiffFile, nullptr);
    ASSERT_EQ(form.ListModel->rowCount(), 0);
    printTo(form, pdf);
    EXPECT_TRUE(recorder.errors.isEmpty());
    ASSERT_TRUE(QFileInfo::exists(pdf));
    EXPECT_TRUE(pdfText(pdf, 1).trimmed().isEmpty());
}

TEST_F(ReportPrinterTest, PrinterFailureReachesTheErrorHandler)
{
    TForm1 form({tiff});
    const QString unreachable = QString::fromStdString((dir.Path() / "no such folder" / "report.pdf").string());
    printTo(form, unreachable);
    ASSERT_EQ(recorder.errors.size(), 1);
    EXPECT_TRUE(recorder.errors[0].startsWith("Cannot create file \"" + unreachable + "\"."))
        << recorder.errors[0].toStdString();
    EXPECT_TRUE(recorder.errors[0].contains("No such file or directory")) << recorder.errors[0].toStdString();
    EXPECT_TRUE(recorder.errors[0].endsWith('.'));
}

TEST_F(ReportPrinterTest, SourceIsTheListingAsItStands)
{
    TForm1 form({tiff});
    form.ListView1->header()->resizeSection(4, 500);
    form.ListView1->header()->hideSection(5);
    const TReportSource source = form.ReportSource();
    EXPECT_EQ(source.ColumnWidths, (std::vector<int>{30, 60, 60, 150, 500, 0, 50, 60}));
    EXPECT_EQ(source.Captions.front(), "Nr");
    EXPECT_EQ(source.Captions.back(), "Value Pos");
    EXPECT_EQ(source.FilePath, tiff.toStdString());
    ASSERT_EQ(source.Rows.size(), 87u);
    EXPECT_EQ(source.Rows[0], (std::vector<std::string>{"", "", "Filename", "report scan.tif"}));
    EXPECT_TRUE(source.Rows[4].empty());
    EXPECT_EQ(source.Rows[7][4], "Ann Example"); // as the list shows it, without the closing NUL
    EXPECT_FALSE(source.Date.empty());
}

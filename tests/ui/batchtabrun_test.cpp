// The Batch tab while a run goes on: Stop, progress, the pane filled in
// chunks, and Save that never leaves a file cut short.
#include "support/tempdir.h"
#include "support/tiffbuilder.h"
#include "ui/batchtab.h"
#include "ui/tagsearchmodel.h"
#include "uitest.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

/// "d3/1042.tif": folder number and name of a file of a generated tree.
std::string treeName(int folder, int file)
{
    std::string name = "d";
    name += std::to_string(folder);
    name += '/';
    name += std::to_string(file);
    name += ".tif";
    return name;
}

std::vector<std::uint8_t> pages(int count)
{
    TiffBuilder b;
    for (int i = 0; i < count; ++i)
        b.Page({TestEntry::Short(256, static_cast<std::uint16_t>(i + 1))});
    return b.Build();
}

class BatchTabRunTest : public ::testing::Test {
protected:
    TempDir dir;
    MessageRecorder recorder;
    QString root = QString::fromStdString(dir.Path().string());
    TBatchTab tab;

    void start()
    {
        tab.edtStartDir->setText(root);
        emit QAbstractEventDispatcher::instance()->aboutToBlock(); // idle: the rules enable Start
        ASSERT_TRUE(tab.BitBtnStart->isEnabled());
        QTest::mouseClick(tab.BitBtnStart, Qt::LeftButton);
    }

    QStringList paneLines() const
    {
        tab.ResultsPane()->Materialise(); // the text as the editor holds it
        return tab.RedtResults->toPlainText().split(QLatin1Char('\n'));
    }

    /// A thousand names in ten folders for one file of the given pages.
    void linkedTree(int pageCount)
    {
        const std::string first = dir.Write(treeName(0, 1000), pages(pageCount));
        for (int i = 1; i < 1000; ++i) {
            const fs::path link = dir.Path() / treeName(i / 100, 1000 + i);
            fs::create_directories(link.parent_path());
            fs::create_hard_link(first, link);
        }
    }

    /// When Stop was clicked and the run ended, in ms from Start (-1: never),
    /// and the progress bar's text at the click.
    struct TStop {
        qint64 clickedAt = -1, endedAt = -1;
        QString progress;
    };

    /// Runs, and presses Stop as soon as the counter first shows files read,
    /// at the tab's own pace of showing things.
    TStop runAndStop()
    {
        TStop stop;
        QElapsedTimer clock;
        bool pressed = false;
        QObject::connect(tab.edtCounter, &QLineEdit::textChanged, &tab, [&](const QString& text) {
            if (pressed || text == "0")
                return;
            pressed = true;
            QTimer::singleShot(0, tab.btnStop, [&] {
                stop.progress = tab.ProgressBar1->text();
                stop.clickedAt = clock.elapsed();
                QTest::mouseClick(tab.btnStop, Qt::LeftButton);
            });
        });
        QObject::connect(&tab, &TBatchTab::runFinished, &tab, [&] { stop.endedAt = clock.elapsed(); });
        clock.start();
        start();
        return stop;
    }
};

} // namespace

TEST_F(BatchTabRunTest, StopIsHeardAtOnceAndTheStatusSaysWhereTheRunStopped)
{
    // Files of 4,000 pages, one line each: a run long enough to be stopped halfway.
    linkedTree(4000);
    tab.cbAllPages->setChecked(false);
    const TStop stop = runAndStop();

    ASSERT_GE(stop.clickedAt, 0) << "the run ended before Stop was pressed";
    EXPECT_LE(stop.endedAt - stop.clickedAt, 100);
    const int files = tab.edtCounter->text().toInt();
    EXPECT_GT(files, 0);
    EXPECT_LT(files, 1000);
    EXPECT_EQ(tab.BatchStatusText(), "Stopped after " + QString::number(files) + " files");
    // The lines of every file counted are in the pane, and no more.
    EXPECT_EQ(paneLines().size(), 1 + files);
    EXPECT_TRUE(paneLines().last().startsWith("\"" + tab.Label3->text() + "\""));
    // The tree was counted long before the click: the bar knew the whole.
    EXPECT_TRUE(stop.progress.endsWith(" of 1000 files")) << stop.progress.toStdString();
    EXPECT_TRUE(tab.BitBtnStart->isEnabled());
    EXPECT_TRUE(recorder.messages.isEmpty());
}

TEST_F(BatchTabRunTest, StopIsHeardWhileLinesPourIn)
{
    // Files of 300 pages, a line each, into the editor: a click in the pane
    // at the first files shown takes the text into it, from then on the
    // editor, not the reading, sets the pace, and no insertion of waiting
    // lines may keep Stop waiting.
    linkedTree(300);
    tab.SetRefreshInterval(10); // the first files are shown long before the end
    bool clicked = false;
    QObject::connect(tab.edtCounter, &QLineEdit::textChanged, &tab, [&](const QString& text) {
        if (!clicked && text != "0") {
            clicked = true;
            QTest::mouseClick(tab.ResultsPane()->View()->viewport(), Qt::LeftButton);
            EXPECT_TRUE(tab.ResultsPane()->IsMaterialised());
        }
    });
    const TStop stop = runAndStop();
    ASSERT_GE(stop.clickedAt, 0) << "the run ended before Stop was pressed";
    EXPECT_LE(stop.endedAt - stop.clickedAt, 100);
    EXPECT_EQ(paneLines().size(), 1 + 300 * tab.edtCounter->text().toInt());
}

TEST_F(BatchTabRunTest, TheRunShowsItsProgressAndFillsThePaneInChunks)
{
    for (int i = 0; i < 300; ++i)
        dir.Write(treeName(i / 50, i), pages(2));
    dir.Write("junk.tif", std::string_view("not TIFF"));
    int edits = 0;
    QObject::connect(tab.ResultsPane(), &TResultsPane::textChanged, &tab, [&] { ++edits; });
    QElapsedTimer clock;
    clock.start();
    start();
    const qint64 elapsed = clock.elapsed();

    // A few changes of the pane for 600 lines: one each time the view is
    // shown, every 100 ms, and at the end; never one per line, and no text
    // document of them until the user wants the text.
    EXPECT_LE(edits, 2 + elapsed / 100) << elapsed << " ms";
    EXPECT_GE(edits, 1);
    EXPECT_EQ(tab.ResultsPane()->Store().LineCount(), 1 + 600);
    EXPECT_EQ(tab.RedtResults->document()->blockCount(), 1);
    EXPECT_EQ(paneLines().size(), 1 + 600);
    EXPECT_EQ(tab.edtCounter->text(), "300");
    EXPECT_EQ(tab.edtPages->text(), "600");
    // Files done of files found: the file that is not TIFF is one of them.
    EXPECT_EQ(tab.ProgressBar1->text(), "301 of 301 files");
    EXPECT_EQ(tab.ProgressBar1->value(), tab.ProgressBar1->maximum());
    // The text of a run over millions of files fits on one line of the bar.
    EXPECT_GT(tab.ProgressBar1->width(),
              tab.ProgressBar1->fontMetrics().horizontalAdvance(QStringLiteral("9999999 of 9999999 files")));
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^(\\d+ ms|\\d+[.,]\\d s)$")).match(tab.lblElapsed->text()).hasMatch())
        << tab.lblElapsed->text().toStdString();
    EXPECT_EQ(tab.RedtLog->toPlainText(), "not TIFF " + root + "/junk.tif: Not a valid tiff file");
    EXPECT_EQ(tab.BatchStatusText(), "Finished...");
}

TEST_F(BatchTabRunTest, SaveThatFailsLeavesTheOldFileWhole)
{
    for (int i = 0; i < 20; ++i)
        dir.Write(treeName(0, i), pages(1));
    start();
    const std::string target = dir.Write("out/results.csv", std::string_view("the results of an earlier run"));
    QTimer::singleShot(0, tab.SaveDialog1, [&] {
        tab.SaveDialog1->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(target));
        static_cast<QDialog*>(tab.SaveDialog1)->accept();
    });
    emit QAbstractEventDispatcher::instance()->aboutToBlock();

    // A disk that fills up halfway: here a limit on the size of files.
    rlimit previous{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{100, previous.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    QTest::mouseClick(tab.SpeedButton2, Qt::LeftButton);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(recorder.errors, QStringList{"Cannot write \"" + QString::fromStdString(target) + "\". File too large."});
    const auto kept = ReadAll(target);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "the results of an earlier run");
    // Nothing left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path() / "out"), fs::directory_iterator()), 1);
    EXPECT_TRUE(tab.HasUnsavedResults());
}

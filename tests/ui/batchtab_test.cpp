// The Batch tab driven as a user would: the tag search list and its buttons,
// a run, Stop, the directory chooser and Save.
#include "support/nooverride.h"
#include "support/tempdir.h"
#include "support/tiffbuilder.h"
#include "ui/batchtab.h"
#include "ui/main.h"
#include "ui/tagsearchmodel.h"
#include "uitest.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

/// What happens when the event loop runs dry: the update rules run.
void goIdle()
{
    emit QAbstractEventDispatcher::instance()->aboutToBlock();
}

std::vector<std::uint8_t> tiff(std::vector<std::uint16_t> widths, std::string_view software = "")
{
    TiffBuilder b;
    for (const std::uint16_t w : widths) {
        std::vector<TestEntry> entries{TestEntry::Short(256, w)};
        if (!software.empty())
            entries.push_back(
                TestEntry::At(305, tAscii, static_cast<std::uint32_t>(software.size()), b.Data(software)));
        b.Page(entries);
    }
    return b.Build();
}

QStringList entryTexts(const TBatchTab& tab)
{
    QStringList out;
    for (int r = 0; r < tab.SearchList()->rowCount(); ++r)
        out << tab.SearchList()->index(r).data().toString();
    return out;
}

QStringList checkedTexts(const TBatchTab& tab)
{
    QStringList out;
    for (int r = 0; r < tab.SearchList()->rowCount(); ++r) {
        const QModelIndex i = tab.SearchList()->index(r);
        if (i.data(Qt::CheckStateRole).toInt() == Qt::Checked)
            out << i.data().toString();
    }
    return out;
}

/// Checks or unchecks an entry as a click on its check box would.
void setChecked(TBatchTab& tab, int row, bool checked)
{
    tab.SearchList()->setData(tab.SearchList()->index(row), checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
}

void selectRow(TBatchTab& tab, int row)
{
    tab.listboxTags->setCurrentIndex(tab.SearchList()->index(row));
}

int selectedRow(const TBatchTab& tab)
{
    const QModelIndexList rows = tab.listboxTags->selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void click(QAbstractButton* button)
{
    ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString();
    QTest::mouseClick(button, Qt::LeftButton);
}

QStringList paneLines(const TBatchTab& tab)
{
    tab.ResultsPane()->Materialise(); // the text as the editor holds it
    const QString text = tab.RedtResults->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

/// Types a name into a file dialog and presses its OK button.
void typeName(QFileDialog* dialog, const QString& name)
{
    auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr);
    edit->setText(name);
    static_cast<QDialog*>(dialog)->accept();
}

std::string readFile(const QString& path)
{
    const auto bytes = ReadAll(path.toStdString());
    return {bytes.begin(), bytes.end()};
}

class BatchTabTest : public ::testing::Test {
protected:
    TempDir dir;
    MessageRecorder recorder;
    QString root = QString::fromStdString(dir.Path().string());

    /// Starts a run from the tree with the given entries checked.
    void start(TBatchTab& tab, std::initializer_list<int> checkedRows = {})
    {
        for (const int r : checkedRows)
            setChecked(tab, r, true);
        tab.edtStartDir->setText(root);
        goIdle();
        click(tab.BitBtnStart);
    }
};

} // namespace

TEST_F(BatchTabTest, StartsWithItsDefaults)
{
    TForm1 form;
    TBatchTab* tab = form.TabSheetBatch->findChild<TBatchTab*>();
    ASSERT_EQ(tab, form.BatchTab);
    for (const char* name :
         {"listboxTags",  "edtTagNumber", "edtTagDescription", "BitBtnAddTagEntry", "BitBtnDeleteTagEntry",
          "spbtnSort",    "btnReset",     "spBtnMoveTagUp",    "spBtnMoveTagDown",  "cmbbxSeperator",
          "SpeedButton2", "Label3",       "edtStartDir",       "spdBtnStartingDir", "GroupBoxExportOptions",
          "edtCounter",   "edtPages",     "BitBtnStart",       "btnStop",           "BitBtnClose",
          "RedtResults",  "StatusBar2",   "GroupBox1"})
        EXPECT_NE(form.findChild<QWidget*>(name), nullptr) << name;

    EXPECT_EQ(tab->GroupBox1->title(), "Tags Searchlist");
    EXPECT_EQ(entryTexts(*tab),
              (QStringList{"256  Imagewidth", "257  Imageheight", "269  Description", "270  Name", "282  XResolution",
                           "283  YResolution", "305  Software", "306  DateTime", "315  Artist"}));
    EXPECT_TRUE(checkedTexts(*tab).isEmpty());
    EXPECT_EQ(tab->GroupBoxExportOptions->title(), "Export options");
    const std::pair<QCheckBox*, const char*> boxes[] = {{tab->cbAddDescription, "Add tag description"},
                                                        {tab->cbIncludeRoot, "Include Starting Dir"},
                                                        {tab->cbIncludeSubDirectories, "Include subdirectories"},
                                                        {tab->cbTrimValue, "Trim ascii values"},
                                                        {tab->cbAllPages, "All pages in \"Multi page Tiff's\""}};
    for (const auto& [box, text] : boxes) {
        EXPECT_EQ(box->text(), text);
        EXPECT_TRUE(box->isChecked()) << text;
    }
    EXPECT_EQ(tab->cmbbxSeperator->currentText(), ",");
    EXPECT_TRUE(tab->cmbbxSeperator->isEditable());
    EXPECT_EQ(tab->cmbbxSeperator->count(), 2);
    EXPECT_EQ(tab->cmbbxSeperator->itemText(1), ";");
    EXPECT_EQ(tab->edtCounter->text(), "0");
    EXPECT_TRUE(tab->edtCounter->isReadOnly());
    EXPECT_EQ(tab->edtCounter->toolTip(), "Show amount of files counted");
    EXPECT_EQ(tab->edtPages->text(), "0");
    EXPECT_FALSE(tab->edtPages->isReadOnly());
    EXPECT_EQ(tab->BitBtnStart->text(), "Start");
    EXPECT_EQ(tab->btnStop->text(), "Stop");
    EXPECT_FALSE(tab->btnStop->isEnabled());
    EXPECT_EQ(tab->BitBtnClose->text(), "&Close");
    EXPECT_EQ(tab->btnReset->text(), "Reset");
    EXPECT_TRUE(tab->Label3->text().isEmpty());
    EXPECT_EQ(tab->BatchStatusText(), "Retrieve tiff information to scv format");
    EXPECT_EQ(tab->RedtResults->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_TRUE(tab->RedtResults->font().fixedPitch());
    EXPECT_FALSE(tab->ActionSaveResults->isEnabled()); // an empty pane
}

TEST_F(BatchTabTest, TagNumberFieldTakesTypedDigitsOnly)
{
    TBatchTab tab;
    QTest::keyClicks(tab.edtTagNumber, "3a1-5 x");
    EXPECT_EQ(tab.edtTagNumber->text(), "315");
    QTest::keyClick(tab.edtTagNumber, Qt::Key_Backspace);
    EXPECT_EQ(tab.edtTagNumber->text(), "31");
    QTest::keyClick(tab.edtTagNumber, Qt::Key_Left);
    QTest::keyClick(tab.edtTagNumber, Qt::Key_Delete); // not a typed character: it still works
    EXPECT_EQ(tab.edtTagNumber->text(), "3");
    QTest::keyClick(tab.edtTagNumber, Qt::Key_B, Qt::ControlModifier); // a control character: discarded
    EXPECT_EQ(tab.edtTagNumber->text(), "3");
    QTest::keyClick(tab.edtTagNumber, Qt::Key_Backspace);
    EXPECT_EQ(tab.edtTagNumber->text(), "");
    tab.edtTagNumber->insert("12ab"); // pasted, not typed: not filtered
    EXPECT_EQ(tab.edtTagNumber->text(), "12ab");
    QTest::keyClicks(tab.edtTagDescription, "Any text 1");
    EXPECT_EQ(tab.edtTagDescription->text(), "Any text 1");
}

TEST_F(BatchTabTest, ListOperationsAndTheirEnabledStates)
{
    TBatchTab tab;
    goIdle();
    EXPECT_FALSE(tab.BitBtnAddTagEntry->isEnabled());
    EXPECT_FALSE(tab.BitBtnDeleteTagEntry->isEnabled());
    EXPECT_FALSE(tab.spBtnMoveTagUp->isEnabled());
    EXPECT_FALSE(tab.spBtnMoveTagDown->isEnabled());
    EXPECT_TRUE(tab.spbtnSort->isEnabled());

    tab.edtTagNumber->setText(" ");
    goIdle();
    EXPECT_FALSE(tab.BitBtnAddTagEntry->isEnabled()); // blanks only
    tab.edtTagNumber->clear();
    QTest::keyClicks(tab.edtTagNumber, "1000");
    QTest::keyClicks(tab.edtTagDescription, "Big");
    goIdle();
    click(tab.BitBtnAddTagEntry);
    EXPECT_EQ(entryTexts(tab).last(), "1000  Big");
    EXPECT_EQ(checkedTexts(tab), QStringList{"1000  Big"});
    EXPECT_EQ(tab.edtTagNumber->text(), "1000"); // the fields keep their text
    tab.edtTagDescription->setText("BIG");
    click(tab.BitBtnAddTagEntry); // the same text in another case: nothing happens
    EXPECT_EQ(entryTexts(tab).size(), 10);
    EXPECT_TRUE(recorder.messages.isEmpty());

    // Selection: move up and down follow it; the rules follow at idle time.
    selectRow(tab, 0);
    goIdle();
    EXPECT_FALSE(tab.spBtnMoveTagUp->isEnabled());
    EXPECT_TRUE(tab.spBtnMoveTagDown->isEnabled());
    EXPECT_TRUE(tab.BitBtnDeleteTagEntry->isEnabled());
    click(tab.spBtnMoveTagDown);
    EXPECT_EQ(entryTexts(tab).mid(0, 2), (QStringList{"257  Imageheight", "256  Imagewidth"}));
    EXPECT_EQ(selectedRow(tab), 1);
    selectRow(tab, 9);
    goIdle();
    EXPECT_TRUE(tab.spBtnMoveTagUp->isEnabled());
    EXPECT_FALSE(tab.spBtnMoveTagDown->isEnabled());
    click(tab.spBtnMoveTagUp);
    EXPECT_EQ(entryTexts(tab)[8], "1000  Big");
    EXPECT_TRUE(tab.SearchList()->index(8).data(Qt::CheckStateRole).toInt() == Qt::Checked);

    // Delete leaves no selection, so Delete and the moves wait for a new one.
    goIdle();
    click(tab.BitBtnDeleteTagEntry);
    EXPECT_EQ(entryTexts(tab).size(), 9);
    EXPECT_FALSE(entryTexts(tab).contains("1000  Big"));
    EXPECT_EQ(selectedRow(tab), -1);
    goIdle();
    EXPECT_FALSE(tab.BitBtnDeleteTagEntry->isEnabled());
    EXPECT_FALSE(tab.spBtnMoveTagUp->isEnabled());
    EXPECT_FALSE(tab.spBtnMoveTagDown->isEnabled());
}

TEST_F(BatchTabTest, SortedModeAndReset)
{
    TBatchTab tab;
    setChecked(tab, 8, true); // "315  Artist"
    tab.edtTagNumber->setText("1000");
    tab.edtTagDescription->setText("Big");
    goIdle();
    click(tab.BitBtnAddTagEntry);
    selectRow(tab, 2);
    goIdle();
    click(tab.spbtnSort);
    EXPECT_EQ(entryTexts(tab).first(), "1000  Big"); // text order, not number order
    EXPECT_EQ(selectedRow(tab), 2);                  // the same row
    EXPECT_EQ(checkedTexts(tab), (QStringList{"1000  Big", "315  Artist"}));

    tab.edtTagNumber->setText("260");
    tab.edtTagDescription->setText("Between");
    goIdle();
    click(tab.BitBtnAddTagEntry);
    EXPECT_EQ(entryTexts(tab)[3], "260  Between"); // at its place, and checked
    EXPECT_EQ(checkedTexts(tab), (QStringList{"1000  Big", "260  Between", "315  Artist"}));

    click(tab.btnReset);
    EXPECT_EQ(entryTexts(tab),
              (QStringList{"256  Imagewidth", "257  Imageheight", "269  Description", "270  Name", "282  XResolution",
                           "283  YResolution", "305  Software", "306  DateTime", "315  Artist"}));
    EXPECT_TRUE(checkedTexts(tab).isEmpty());
    EXPECT_EQ(selectedRow(tab), -1);

    // Sort is disabled on an empty list.
    for (int i = 0; i < 9; ++i) {
        selectRow(tab, 0);
        goIdle();
        click(tab.BitBtnDeleteTagEntry);
    }
    goIdle();
    EXPECT_FALSE(tab.spbtnSort->isEnabled());
}

TEST_F(BatchTabTest, ARunFillsThePaneAndTheCounters)
{
    dir.Write("b.tif", tiff({20, 21}, "Scanner"));
    dir.Write("A.TIFF", tiff({10}));
    dir.Write("sub/c.tif", tiff({30}));
    dir.Write("sub/junk.tif", std::string_view("no tiff"));
    TForm1 form;
    TBatchTab& tab = *form.BatchTab;
    tab.SetRefreshInterval(0);

    // Inside the run: the switched controls, and the window's status panel.
    QStringList seen;
    bool checkedDuringRun = false;
    QObject::connect(&tab, &TBatchTab::fileRead, &tab, [&](const QString& path) {
        seen << path;
        EXPECT_TRUE(tab.IsRunning());
        EXPECT_FALSE(tab.BitBtnStart->isEnabled());
        EXPECT_TRUE(tab.btnStop->isEnabled());
        for (QWidget* w : std::initializer_list<QWidget*>{
                 tab.BitBtnAddTagEntry, tab.BitBtnDeleteTagEntry, tab.spbtnSort, tab.btnReset, tab.spBtnMoveTagUp,
                 tab.spBtnMoveTagDown, tab.spdBtnStartingDir, tab.BitBtnClose, tab.edtCounter, tab.edtPages,
                 tab.GroupBoxExportOptions, tab.cbTrimValue})
            EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
        for (QWidget* w : std::initializer_list<QWidget*>{tab.edtStartDir, tab.listboxTags, tab.edtTagNumber,
                                                          tab.cmbbxSeperator, tab.RedtResults})
            EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
        goIdle(); // a message box inside the run goes idle too: the rules must keep still
        EXPECT_FALSE(tab.BitBtnStart->isEnabled());
        if (!checkedDuringRun) {
            // A check mark set during the run applies to the lines built after
            // it, here already those of the file being read.
            setChecked(tab, 6, true);
            checkedDuringRun = true;
        }
    });
    start(tab, {0});
    EXPECT_FALSE(tab.IsRunning());
    EXPECT_EQ(paneLines(tab),
              (QStringList{R"("Path","Filename","Page","Imagewidth")", "\"" + root + R"(/A.TIFF","A.TIFF","1","10","")",
                           "\"" + root + R"(/b.tif","b.tif","1","20","Scanner")",
                           "\"" + root + R"(/b.tif","b.tif","2","21","Scanner")",
                           "\"" + root + R"(/sub/c.tif","c.tif","1","30","")"}));
    EXPECT_EQ(seen, (QStringList{root + "/A.TIFF", root + "/b.tif", root + "/sub/c.tif"}));
    EXPECT_EQ(tab.edtCounter->text(), "3");
    EXPECT_EQ(tab.edtPages->text(), "4");
    EXPECT_EQ(tab.Label3->text(), root + "/sub/c.tif");
    EXPECT_EQ(form.StatusText(1), "Pages"); // the run lent the panel; it is the view's again
    EXPECT_EQ(tab.BatchStatusText(), "Finished...");
    EXPECT_TRUE(recorder.messages.isEmpty());
    EXPECT_TRUE(recorder.errors.isEmpty());
    EXPECT_TRUE(tab.BitBtnClose->isEnabled());
    EXPECT_TRUE(tab.GroupBoxExportOptions->isEnabled());
    EXPECT_FALSE(tab.btnStop->isEnabled());
    goIdle();
    EXPECT_TRUE(tab.SpeedButton2->isEnabled());
    EXPECT_FALSE(tab.BitBtnDeleteTagEntry->isEnabled()); // the rules govern again

    // A second run empties the pane and counts again from 0.
    tab.cbAllPages->setChecked(false);
    tab.cbAddDescription->setChecked(false);
    tab.cmbbxSeperator->setEditText(";");
    click(tab.BitBtnStart);
    EXPECT_EQ(paneLines(tab).size(), 3);
    EXPECT_EQ(paneLines(tab)[1], "\"" + root + R"(/b.tif";"b.tif";"20";"Scanner")");
    EXPECT_EQ(tab.edtCounter->text(), "3");
    EXPECT_EQ(tab.edtPages->text(), "3");
}

TEST_F(BatchTabTest, StopEndsTheRunAfterTheFileBeingRead)
{
    for (const char* name : {"1.tif", "2.tif", "d/3.tif", "d/e/4.tif", "f/5.tif"})
        dir.Write(name, tiff({1, 2}));
    TBatchTab tab;
    tab.SetRefreshInterval(0);
    QObject::connect(&tab, &TBatchTab::fileRead, &tab, [&](const QString& path) {
        if (path.endsWith("/2.tif")) // the user presses Stop while 2.tif is read
            QTimer::singleShot(0, tab.btnStop, [&] { click(tab.btnStop); });
    });
    start(tab);
    EXPECT_EQ(paneLines(tab).size(), 1 + 4);
    EXPECT_TRUE(paneLines(tab).last().startsWith("\"" + root + "/2.tif\""));
    EXPECT_EQ(tab.edtCounter->text(), "2");
    EXPECT_EQ(tab.BatchStatusText(), "Stopped after 2 files");
    EXPECT_FALSE(tab.btnStop->isEnabled());
    EXPECT_TRUE(tab.BitBtnStart->isEnabled());
}

TEST_F(BatchTabTest, RefusalsAndErrorsAreShown)
{
    dir.Write("a.tif", tiff({1}));
    TBatchTab tab;
    start(tab);
    ASSERT_EQ(tab.edtCounter->text(), "1");

    // The directory vanishes after the rule enabled Start.
    const QString gone = root + "/gone";
    QDir().mkdir(gone);
    tab.edtStartDir->setText(gone);
    goIdle();
    ASSERT_TRUE(tab.BitBtnStart->isEnabled());
    QDir().rmdir(gone);
    click(tab.BitBtnStart);
    EXPECT_EQ(recorder.errors, QStringList{"Starting directory does not exist"});
    EXPECT_TRUE(paneLines(tab).isEmpty());
    EXPECT_EQ(tab.edtCounter->text(), "0");
    EXPECT_EQ(tab.BatchStatusText(), "Finished...");
    goIdle();
    EXPECT_FALSE(tab.BitBtnStart->isEnabled()); // the rule now sees no directory

    // An empty list (not merely nothing checked) is refused.
    tab.edtStartDir->setText(root);
    for (int i = 0; i < 9; ++i) {
        selectRow(tab, 0);
        goIdle();
        click(tab.BitBtnDeleteTagEntry);
    }
    goIdle();
    click(tab.BitBtnStart);
    EXPECT_EQ(recorder.errors.last(), "At least one tag has to be selected");

    // A starting directory that cannot be listed reaches the application's error handler.
    tab.SetRefreshInterval(0); // the header line reaches the pane before the listing
    click(tab.btnReset);
    const QString vanishing = root + "/vanishing";
    QDir().mkdir(vanishing);
    tab.edtStartDir->setText(vanishing);
    goIdle();
    QObject::connect(tab.ResultsPane(), &TResultsPane::textChanged, &tab, [&] {
        if (!tab.ResultsPane()->IsEmpty()) // gone once the header line stands
            QDir().rmdir(vanishing);
    });
    click(tab.BitBtnStart);
    EXPECT_EQ(recorder.errors.last(), "Cannot read directory \"" + vanishing + "\". No such file or directory.");
    EXPECT_FALSE(tab.IsRunning());
    EXPECT_TRUE(tab.BitBtnClose->isEnabled());
}

TEST_F(BatchTabTest, ReaderMessagesGoToTheLogAndTheRunGoesOn)
{
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 1)});
    b.Page({TestEntry::Short(256, 2)});
    auto bytes = b.Build();
    Put16(bytes, b.DirOffset(1), 9000, false); // page 2 runs past the end
    dir.Write("a bad.tif", bytes);
    dir.Write("b good.tif", tiff({3}));
    dir.Write("c junk.tif", std::string_view("not a tiff at all"));
    dir.Write("closed/d.tif", tiff({4}));
    fs::permissions(dir.Path() / "closed", fs::perms::none);
    TBatchTab tab;
    bool bitsHold = false;
    {
        const TNoPermissionOverride asUser; // the walk lists on this thread
        struct stat st {};
        bitsHold = ::stat((dir.Path() / "closed/d.tif").c_str(), &st) != 0;
        start(tab);
    }
    fs::permissions(dir.Path() / "closed", fs::perms::owner_all);
    // No box held the run: every message is a line of the log, with its file.
    EXPECT_TRUE(recorder.messages.isEmpty());
    EXPECT_TRUE(recorder.errors.isEmpty());
    // The reader's sentence, then its classic text: both messages of the damaged page.
    const QString bad = root + "/a bad.tif: the ", offset = QString::number(b.DirOffset(1));
    const QString size = QString::number(bytes.size());
    QStringList expected{bad + "directory at " + offset + " runs past the end of the file (streamsize)",
                         bad + "next-directory field of the directory at " + offset +
                             " lies past the end of the file (" + size + " bytes) (" + size,
                         "not TIFF " + root + "/c junk.tif: Not a valid tiff file"};
    if (bitsHold)
        expected << "not read " + root + "/closed: Permission denied";
    QStringList log = tab.RedtLog->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(log.size(), expected.size()) << log.join('|').toStdString();
    log[1].truncate(expected[1].size()); // the position that follows the size is the reader's concern
    EXPECT_EQ(log, expected);
    EXPECT_EQ(tab.edtCounter->text(), "2");
    EXPECT_EQ(tab.edtDamaged->text(), "1");
    EXPECT_EQ(tab.edtNotRead->text(), bitsHold ? "1" : "0");
    EXPECT_TRUE(paneLines(tab).last().startsWith("\"" + root + "/b good.tif\""));
    EXPECT_EQ(paneLines(tab).size(), 1 + 2 + 1); // the damaged file keeps its pages, the broken one too
    EXPECT_EQ(tab.BatchStatusText(), "Finished...");

    // The log folds away and back; a new run begins it anew.
    click(tab.btnLog);
    EXPECT_TRUE(tab.RedtLog->isHidden());
    click(tab.btnLog);
    EXPECT_FALSE(tab.RedtLog->isHidden());
    fs::remove(dir.Path() / "a bad.tif");
    click(tab.BitBtnStart);
    EXPECT_EQ(tab.RedtLog->toPlainText(), expected[2]);
    EXPECT_EQ(tab.edtDamaged->text(), "0");
}

TEST_F(BatchTabTest, SaveWritesThePaneAsTheCommandLineDoes)
{
    // Values with line breaks of every kind, a no-break space and a NUL inside.
    const std::string odd = std::string("a\nb\r\nc\rd\xA0") + "e" + '\0' + "f" + '\0';
    dir.Write("x.tif", tiff({7, 8}, odd));
    dir.Write("sub/y.tif", tiff({9}, std::string("say \"hi\"") + '\0'));
    dir.Write("sub/z\u2029paragraph \xFF.tif", tiff({10})); // a name the pane breaks, and one not UTF-8
    // Names that shift columns or break lines, two that differ in one byte
    // that is not UTF-8, and a value that would forge a record of its own.
    for (const char* name : {"quo\"te.tif", "x\",\"y.tif", "caf\xE9.tif", "caf\xE8.tif", "lf\nname.tif",
                             "cr\rname \xEF\xB7\x90\xEF\xB7\x91.tif"})
        dir.Write(std::string("names/") + name, tiff({11}));
    dir.Write("names/forge.tif", tiff({12}, "\"\r\n\"/etc/passwd\",\"passwd\",\"1\",\"666"));
    TBatchTab tab;
    start(tab, {0, 6});
    tab.cmbbxSeperator->setEditText(";");

    // The command line's bytes for the same run.
    QProcess cli;
    cli.start(QStringLiteral(VELQUIN_BINARY), {"--batch", root, "--tags", "256,305", "--separator", ","});
    ASSERT_TRUE(cli.waitForFinished(10000));
    ASSERT_EQ(cli.exitCode(), 0);
    const QByteArray cliBytes = cli.readAllStandardOutput();
    const std::string expected(cliBytes.constData(), static_cast<std::size_t>(cliBytes.size()));
    EXPECT_NE(expected.find("\"a\r\nb\r\nc\r\nd\xC2\xA0"
                            "e f\""),
              std::string::npos);
    EXPECT_EQ(tab.ResultsBytes(), expected);
    EXPECT_NE(expected.find("/names/caf\xE9.tif\",\"caf\xE9.tif\""), std::string::npos);
    EXPECT_NE(expected.find("\"\"\"\r\n\"\"/etc/passwd\"\",\"\"passwd\"\""), std::string::npos);
    // One pane line per page, and one more for each break inside a value;
    // the same lines and bytes once the editor holds them.
    EXPECT_EQ(tab.ResultsPane()->Store().LineCount(), 1 + 11 + 2 * 3 + 1); // header, pages, breaks
    tab.ResultsPane()->Materialise();
    EXPECT_EQ(tab.RedtResults->document()->blockCount(), 1 + 11 + 2 * 3 + 1);
    EXPECT_EQ(tab.ResultsBytes(), expected);

    const QString target = root + "/results.txt";
    dir.Write("results.txt", std::string_view("an older and longer file that is replaced"));
    goIdle();
    QTimer::singleShot(0, tab.SaveDialog1, [&] { typeName(tab.SaveDialog1, target); });
    click(tab.SpeedButton2);
    EXPECT_EQ(readFile(target), expected);
    EXPECT_TRUE(recorder.messages.isEmpty());

    // Edits the user made in the pane are saved as they stand.
    tab.RedtResults->appendPlainText("typed by hand");
    QTimer::singleShot(0, tab.SaveDialog1, [&] { typeName(tab.SaveDialog1, target); });
    click(tab.SpeedButton2);
    EXPECT_EQ(readFile(target), expected + "typed by hand\r\n");

    // Cancel writes nothing; a file that cannot be written is an error.
    QTimer::singleShot(0, tab.SaveDialog1, [&] { static_cast<QDialog*>(tab.SaveDialog1)->reject(); });
    tab.RedtResults->clear();
    tab.RedtResults->setPlainText("x");
    click(tab.SpeedButton2);
    EXPECT_EQ(readFile(target), expected + "typed by hand\r\n");
    const QString unwritable = QStringLiteral("/dev/full"); // opens, but every write fails
    QTimer::singleShot(0, tab.SaveDialog1, [&] { typeName(tab.SaveDialog1, unwritable); });
    click(tab.SpeedButton2);
    EXPECT_EQ(recorder.errors, QStringList{"Cannot write \"" + unwritable + "\". No space left on device."});
}

TEST_F(BatchTabTest, DirectoryChooserBeginsAtTheStartingDirectory)
{
    fs::create_directory(dir.Path() / "chosen");
    TBatchTab tab;
    const QString before = tab.edtStartDir->text();
    EXPECT_EQ(before, QDir::homePath()); // never the root folder
    QString shownAt;
    QTimer::singleShot(0, tab.StartDirDialog, [&] {
        shownAt = tab.StartDirDialog->directory().absolutePath();
        static_cast<QDialog*>(tab.StartDirDialog)->reject();
    });
    click(tab.spdBtnStartingDir);
    EXPECT_EQ(shownAt, before);
    EXPECT_EQ(tab.edtStartDir->text(), before);

    QTimer::singleShot(0, tab.StartDirDialog, [&] {
        tab.StartDirDialog->setDirectory(root + "/chosen");
        static_cast<QDialog*>(tab.StartDirDialog)->accept();
    });
    click(tab.spdBtnStartingDir);
    EXPECT_EQ(tab.edtStartDir->text(), root + "/chosen");
    EXPECT_TRUE(tab.StartDirDialog->testOption(QFileDialog::ReadOnly));

    // A field that names no directory: the chooser begins at the default.
    tab.edtStartDir->setText(root + "/gone");
    QTimer::singleShot(0, tab.StartDirDialog, [&] {
        shownAt = tab.StartDirDialog->directory().absolutePath();
        static_cast<QDialog*>(tab.StartDirDialog)->reject();
    });
    click(tab.spdBtnStartingDir);
    EXPECT_EQ(shownAt, QDir::homePath());
}

TEST_F(BatchTabTest, CloseEndsTheProgramAndWaitsForARun)
{
    for (const char* name : {"1.tif", "2.tif", "3.tif"})
        dir.Write(name, tiff({1}));
    TForm1 form;
    form.BatchTab->SetRefreshInterval(0);
    form.show();
    ASSERT_TRUE(form.isVisible());
    click(form.BatchTab->BitBtnClose);
    EXPECT_FALSE(form.isVisible());

    // Closing the window during a run stops the run; the window closes at its end.
    form.show();
    TBatchTab& tab = *form.BatchTab;
    QObject::connect(&tab, &TBatchTab::fileRead, &tab, [&](const QString& path) {
        if (path.endsWith("/1.tif")) {
            form.close();
            EXPECT_TRUE(form.isVisible());
        }
    });
    start(tab);
    EXPECT_EQ(tab.edtCounter->text(), "1");
    EXPECT_FALSE(form.isVisible());
}


// The ASCII editor driven as a user would: a double click on a row of the
// listing, typing in the dialog, "Write to file" or "Cancel editing", and
// what the file and the listing hold afterwards.
#include "support/readonly.h"
#include "support/tempdir.h"
#include "support/tiffbuilder.h"
#include "tiff/tiff.h"
#include "ui/editdlg.h"
#include "ui/main.h"
#include "ui/taglistmodel.h"
#include "ui/uiscale.h"
#include "uitest.h"

#include <QAction>
#include <QApplication>
#include <QFontInfo>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <cmath>
#include <filesystem>
#include <functional>
#include <sys/stat.h>

namespace {

const QString kNotAscii = QStringLiteral("Only ASCII values could be edited.");
const QString kReadOnly = QStringLiteral("Saving failed: the file is read-only");
const QString kChanged = QStringLiteral("Saving failed: the file has changed since it was listed (open it again)");

/// Acts on the editor once its modal loop runs. Tied to the form, so a
/// dialog that never opens leaves nothing behind for a later test.
void whenEditorOpens(TForm1& form, std::function<void(TEditForm&)> act, bool* opened = nullptr)
{
    QTimer::singleShot(0, &form, [act = std::move(act), opened] {
        auto* dialog = qobject_cast<TEditForm*>(QApplication::activeModalWidget());
        if (opened)
            *opened = dialog != nullptr;
        if (dialog)
            act(*dialog);
    });
}

void typeReplacing(TEditForm& d, const QString& text)
{
    QTest::keyClick(d.Edit1, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(d.Edit1, text);
}

struct timespec modifiedOf(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mtim;
}

bool sameTime(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::copy_file(std::string(VELQUIN_SOURCE_DIR) + "/samples/sample.tif", path);
        before = ReadAll(path);
        form = std::make_unique<TForm1>(QStringList{QString::fromStdString(path)});
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        resets = std::make_unique<QSignalSpy>(form->ListModel, &QAbstractItemModel::modelReset);
    }

    /// The listing row of the first tag with this number.
    int rowOf(const QString& tagNr) const
    {
        for (int r = 5; r < form->ListModel->rowCount(); ++r)
            if (form->ListModel->CellText(r, 2) == tagNr)
                return r;
        ADD_FAILURE() << "no tag " << tagNr.toStdString();
        return -1;
    }
    QString cell(int row, int column) const { return form->ListModel->CellText(row, column); }

    void doubleClickRow(int row)
    {
        const QModelIndex index = form->ListModel->index(row, 3);
        form->ListView1->scrollTo(index);
        doubleClickAt(form->ListView1->visualRect(index).center());
    }
    /// As the window system delivers it: press, release, double click, release.
    void doubleClickAt(const QPoint& at)
    {
        QWidget* viewport = form->ListView1->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
    }

    /// Where the field of a tag lies, from the file itself rather than the cells.
    std::pair<std::size_t, std::size_t> fieldOf(int page, std::uint16_t tag) const
    {
        TTiffFile f;
        f.Open(path);
        const TTag* t = f.Pages.GetPage(page - 1)->FindTag(tag);
        return {static_cast<std::size_t>(t->ValuePos), static_cast<std::size_t>(t->Count)};
    }

    /// The file is as before except for the bytes at pos, which hold expected.
    void expectOnlyChanged(std::size_t pos, const std::string& expected)
    {
        auto want = before;
        std::copy(expected.begin(), expected.end(), want.begin() + static_cast<std::ptrdiff_t>(pos));
        EXPECT_EQ(ReadAll(path), want);
    }

    TempDir dir;
    MessageRecorder recorder;
    std::string path = (dir.Path() / "sample copy.tif").string();
    std::vector<std::uint8_t> before;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<QSignalSpy> resets;
};

} // namespace

// ---------------------------------------------------------------- the dialog

TEST(EditForm, LaysOutTheDialog)
{
    QWidget owner;
    TEditForm d(&owner);
    // The designed pixels, grown with a platform font larger than 8 points.
    const double s = UiScale(QApplication::font());
    const auto px = [s](int v) { return static_cast<int>(std::lround(v * s)); };
    EXPECT_EQ(d.windowTitle(), "Velquin ascii editor: Use at own risk....");
    EXPECT_GE(d.width(), px(615)); // wider when the note needs it
    EXPECT_EQ(d.height(), px(217));
    EXPECT_EQ(d.pos(), QPoint(428, 355));
    EXPECT_EQ(d.Label1->text(), "12345678901234567890123456789012345678901234567890123456789012345678901234567890");
    EXPECT_EQ(d.Edit1->geometry(), QRect(px(8), px(48), px(569), px(22)));
    EXPECT_EQ(d.BitBtn1->text(), "Write to file");
    EXPECT_EQ(d.BitBtn2->text(), "Cancel editing");
    EXPECT_TRUE(d.BitBtn1->isDefault());
    EXPECT_FALSE(d.BitBtn2->isDefault());
    EXPECT_EQ(d.Label2->text(),
              "Edited ascii text are truncated or extended to the previous length of the data. NO-UNDO possible ");
    EXPECT_EQ(d.Label2->pos(), QPoint(px(80), px(8)));
    for (const char* name : {"Label1", "Edit1", "BitBtn1", "BitBtn2", "Label2"})
        EXPECT_NE(d.findChild<QWidget*>(name), nullptr) << name;
}

TEST(EditForm, EachCharacterStandsUnderItsRulerDigit)
{
    // Styles put the text of an edit box at different places.
    const QString original = QApplication::style()->name();
    for (const char* style : {"Fusion", "Windows"}) {
        SCOPED_TRACE(style);
        ASSERT_NE(QApplication::setStyle(QString::fromLatin1(style)), nullptr);
        QWidget owner;
        TEditForm d(&owner);
        d.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
        EXPECT_TRUE(QFontInfo(d.Edit1->font()).fixedPitch());
        EXPECT_EQ(d.Edit1->font(), d.Label1->font());

        d.SetText(d.Label1->text(), 80); // 80 characters: the box must not scroll
        const QFontMetrics metrics(d.Label1->font());
        EXPECT_LE(metrics.horizontalAdvance(d.Label1->text()), d.Label1->width());
        for (const int column : {0, 9, 40, 79}) {
            d.Edit1->setCursorPosition(column);
            const QRect caret = d.Edit1->inputMethodQuery(Qt::ImCursorRectangle).toRect();
            const int inEdit = d.Edit1->mapTo(&d, QPoint(caret.left() + 5, 0)).x();
            const int onRuler =
                d.Label1->mapTo(&d, QPoint(metrics.horizontalAdvance(d.Label1->text().left(column)), 0)).x();
            EXPECT_NEAR(inEdit, onRuler, 1) << "column " << column + 1;
        }
    }
    QApplication::setStyle(original);
}

TEST(EditForm, TextLimitAndModifiedFlag)
{
    QWidget owner;
    TEditForm d(&owner);
    d.SetText(QString::fromUtf8("Hello\0", 6), 5);
    EXPECT_EQ(d.Text(), "Hello"); // up to the NUL
    EXPECT_EQ(d.Edit1->maxLength(), 5);
    EXPECT_FALSE(d.Modified());

    QTest::keyClicks(d.Edit1, "XYZ");
    EXPECT_EQ(d.Text(), "Hello"); // the room is full: nothing typed would be written
    QTest::keyClick(d.Edit1, Qt::Key_Backspace);
    QTest::keyClicks(d.Edit1, "XYZ");
    EXPECT_EQ(d.Text(), "HellX");
    QTest::keyClick(d.Edit1, Qt::Key_Backspace);
    QTest::keyClicks(d.Edit1, "o");
    EXPECT_EQ(d.Text(), "Hello");
    EXPECT_TRUE(d.Modified()); // restored, yet changed by the user

    // An empty text has room all the same, and no more.
    TEditForm empty(&owner);
    empty.SetText(QString(), 3);
    QTest::keyClicks(empty.Edit1, "ABCD");
    EXPECT_EQ(empty.Text(), "ABC");
}

TEST(EditForm, EnterWritesEscapeAndClosingCancel)
{
    QWidget owner;
    struct Case {
        const char* name;
        std::function<void(TEditForm&)> act;
        int result;
    };
    const Case cases[] = {
        {"Enter", [](TEditForm& d) { QTest::keyClick(d.Edit1, Qt::Key_Return); }, QDialog::Accepted},
        {"Write to file", [](TEditForm& d) { QTest::mouseClick(d.BitBtn1, Qt::LeftButton); }, QDialog::Accepted},
        {"Escape", [](TEditForm& d) { QTest::keyClick(d.Edit1, Qt::Key_Escape); }, QDialog::Rejected},
        {"Cancel editing", [](TEditForm& d) { QTest::mouseClick(d.BitBtn2, Qt::LeftButton); }, QDialog::Rejected},
        {"title bar", [](TEditForm& d) { d.close(); }, QDialog::Rejected},
    };
    for (const Case& c : cases) {
        TEditForm d(&owner);
        d.SetText(QStringLiteral("Text"), 4);
        d.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
        d.setResult(-1);
        c.act(d);
        EXPECT_FALSE(d.isVisible()) << c.name;
        EXPECT_EQ(d.result(), c.result) << c.name;
    }
}

TEST(EditForm, CharacterTheFileCannotHoldKeepsTheDialogOpen)
{
    MessageRecorder recorder;
    QWidget owner;
    TEditForm d(&owner);
    d.SetText(QString(), 20);
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    QTest::keyClicks(d.Edit1, "Text");
    QInputMethodEvent typed; // how an input method enters the character
    typed.setCommitString(QStringLiteral("\u65E5"));
    QApplication::sendEvent(d.Edit1, &typed);
    QTest::mouseClick(d.BitBtn1, Qt::LeftButton);
    ASSERT_EQ(recorder.errors.size(), 1);
    EXPECT_TRUE(recorder.errors[0].contains(QStringLiteral("\"\u65E5\" (U+65E5)"))) << recorder.errors[0].toStdString();
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.Text(), QStringLiteral("Text\u65E5")); // the edit is kept for a correction
    QTest::keyClick(d.Edit1, Qt::Key_Backspace);
    QTest::keyClick(d.Edit1, Qt::Key_Return);
    EXPECT_EQ(d.result(), QDialog::Accepted);
}

// ---------------------------------------------------------------- editing from the listing

TEST_F(EditorTest, WriteOnPageThreeListsPageThreeAgain)
{
    for (int step = 0; step < 2; ++step) {
        form->UpdateActions(); // as the idle loop does before a click
        form->ActionNextPage->trigger();
    }
    ASSERT_EQ(form->CurrentPage, 3);
    const auto [pos, count] = fieldOf(3, 285);
    ASSERT_EQ(count, 5u);
    const int row = rowOf("285");
    ASSERT_EQ(cell(row, 4), "Last");

    whenEditorOpens(*form, [](TEditForm& d) {
        EXPECT_EQ(d.Text(), "Last");
        typeReplacing(d, "ABCDEFG"); // the box takes the 4 characters that are written
        EXPECT_EQ(d.Text(), "ABCD");
        QTest::mouseClick(d.BitBtn1, Qt::LeftButton);
    });
    doubleClickRow(row);

    expectOnlyChanged(pos, "ABCD");
    EXPECT_EQ(form->CurrentPage, 3);
    EXPECT_EQ(cell(2, 4), "3");
    EXPECT_EQ(form->StatusText(1), "Page 3 of 3");
    EXPECT_EQ(cell(rowOf("285"), 4), "ABCD");
    EXPECT_TRUE(recorder.messages.isEmpty());
    EXPECT_TRUE(recorder.errors.isEmpty());
}

TEST_F(EditorTest, HexadecimalCellsAreReadBackAsHexadecimal)
{
    form->tb16->click();
    const auto [pos, count] = fieldOf(1, 306);
    const int row = rowOf("306");
    ASSERT_EQ(cell(row, 7), QString::number(pos, 16).toUpper());

    whenEditorOpens(*form, [](TEditForm& d) {
        typeReplacing(d, "2030:01:01 00:00:00");
        QTest::keyClick(d.Edit1, Qt::Key_Return);
    });
    doubleClickRow(row);

    ASSERT_EQ(count, 20u);
    expectOnlyChanged(pos, "2030:01:01 00:00:00");
    EXPECT_TRUE(form->tb16->isChecked());
    EXPECT_EQ(cell(rowOf("306"), 7), QString::number(pos, 16).toUpper());
    EXPECT_TRUE(recorder.errors.isEmpty());
}

TEST_F(EditorTest, OkWithoutAChangeAndCancelWriteNothing)
{
    const auto time = modifiedOf(path);
    const int row = rowOf("271");
    const std::function<void(TEditForm&)> closings[] = {
        [](TEditForm& d) { QTest::mouseClick(d.BitBtn1, Qt::LeftButton); },
        [](TEditForm& d) {
            typeReplacing(d, "Changed");
            QTest::keyClick(d.Edit1, Qt::Key_Escape);
        },
        [](TEditForm& d) {
            typeReplacing(d, "Changed");
            QTest::mouseClick(d.BitBtn2, Qt::LeftButton);
        },
        [](TEditForm& d) {
            typeReplacing(d, "Changed");
            d.close();
        },
    };
    for (const auto& close : closings) {
        bool opened = false;
        whenEditorOpens(*form, close, &opened);
        doubleClickRow(row);
        EXPECT_TRUE(opened);
    }
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_TRUE(sameTime(modifiedOf(path), time));
    EXPECT_EQ(resets->count(), 0); // not even read again
    EXPECT_TRUE(recorder.messages.isEmpty());
    EXPECT_TRUE(recorder.errors.isEmpty());
}

TEST_F(EditorTest, RowsThatAreNotAsciiTagsAreRefused)
{
    const int rows = form->ListModel->rowCount();
    const int notAscii[] = {0, 2, 4, rowOf("256"), rowOf("282"), rows - 2, rows - 1};
    for (const int row : notAscii) {
        bool opened = false;
        whenEditorOpens(
            *form, [](TEditForm& d) { d.reject(); }, &opened);
        doubleClickRow(row);
        QCoreApplication::processEvents(); // let the guard see that no editor is open
        EXPECT_FALSE(opened) << "row " << row;
    }
    EXPECT_EQ(recorder.messages, QStringList(std::size(notAscii), kNotAscii));
    EXPECT_EQ(ReadAll(path), before);

    // A double click below the last row hits no row and does nothing.
    recorder.messages.clear();
    form->ListView1->clearSelection();
    const QRect last = form->ListView1->visualRect(form->ListModel->index(rows - 1, 0));
    const QPoint below(last.center().x(), last.bottom() + 40);
    ASSERT_FALSE(form->ListView1->indexAt(below).isValid());
    doubleClickAt(below);
    EXPECT_TRUE(recorder.messages.isEmpty());
}

TEST_F(EditorTest, ReadOnlyFileShowsTheErrorAndKeepsTheListing)
{
    const int row = rowOf("271");
    const QString shown = cell(row, 4);
    TReadOnlyFile readOnly(path);
    ASSERT_TRUE(readOnly.Holds());

    whenEditorOpens(*form, [](TEditForm& d) {
        typeReplacing(d, "AB");
        QTest::mouseClick(d.BitBtn1, Qt::LeftButton);
    });
    doubleClickRow(row);

    EXPECT_EQ(recorder.errors, QStringList{kReadOnly});
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(resets->count(), 0);
    EXPECT_EQ(cell(row, 4), shown);
}

TEST_F(EditorTest, FileChangedSinceListingIsNotWrittenAndListedAgain)
{
    ASSERT_EQ(cell(rowOf("271"), 4), "Velquin");
    auto changed = before;
    changed[fieldOf(1, 271).first] = 'W';
    changed.push_back(0);
    dir.Write("sample copy.tif", changed);

    whenEditorOpens(*form, [](TEditForm& d) {
        typeReplacing(d, "AB");
        QTest::mouseClick(d.BitBtn1, Qt::LeftButton);
    });
    doubleClickRow(rowOf("271"));

    EXPECT_EQ(recorder.errors, QStringList{kChanged});
    EXPECT_EQ(ReadAll(path), changed);
    // The rows show what the file now holds, so a second try can go through.
    EXPECT_EQ(cell(rowOf("271"), 4), "Welquin");
}

TEST_F(EditorTest, FieldOverTheHeaderIsRefusedBeforeEditing)
{
    TiffBuilder b;
    b.Page({TestEntry::At(270, tAscii, 6, 0)}); // its text is the header's own bytes
    const auto bytes = b.Build();
    const std::string header = dir.Write("header.tif", bytes);
    form->LoadFile(QString::fromStdString(header), 1);

    bool opened = false;
    whenEditorOpens(
        *form, [](TEditForm& d) { d.reject(); }, &opened);
    doubleClickRow(rowOf("270"));
    QCoreApplication::processEvents(); // let the guard see that no editor is open
    EXPECT_FALSE(opened);
    EXPECT_EQ(recorder.errors,
              QStringList{"This field cannot be edited: the field overlaps the file's header or a directory"});
    EXPECT_EQ(ReadAll(header), bytes);
}

// The window without a mouse: Enter or F2 on a row opens the ASCII editor,
// Ctrl+D and Ctrl+H switch the display mode, and every control that takes
// the keyboard's focus shows that it has it.
#include "support/tempdir.h"
#include "support/tiffbuilder.h"
#include "ui/batchtab.h"
#include "ui/editdlg.h"
#include "ui/main.h"
#include "ui/taglistmodel.h"
#include "uitest.h"

#include <QApplication>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

namespace {

class KeyboardTest : public ::testing::Test {
protected:
    KeyboardTest()
    {
        TiffBuilder b;
        b.Page({TestEntry::Short(256, 300), TestEntry::At(305, tAscii, 8, b.Data(std::string_view("Scanner", 8)))});
        form = std::make_unique<TForm1>(QStringList{QString::fromStdString(dir.Write("k.tif", b.Build()))});
        form->show();
        QApplication::setActiveWindow(form.get());
    }

    /// Selects a row as the arrow keys would, and puts the focus on the list.
    void selectRow(int row)
    {
        form->ListView1->setFocus();
        form->ListView1->setCurrentIndex(form->ListModel->index(row, 0));
    }

    /// Presses key on the list; true when the ASCII editor opened (it is cancelled at once).
    bool editorOpensOn(Qt::Key key)
    {
        bool opened = false;
        QTimer::singleShot(0, form.get(), [&] {
            if (auto* dialog = qobject_cast<TEditForm*>(QApplication::activeModalWidget())) {
                opened = true;
                dialog->reject();
            }
        });
        QTest::keyClick(form->ListView1, key);
        QApplication::processEvents(); // the timer, when no dialog took it
        return opened;
    }

    TempDir dir;
    MessageRecorder recorder;
    std::unique_ptr<TForm1> form;
};

} // namespace

TEST_F(KeyboardTest, EnterOrF2OnARowOpensTheEditor)
{
    selectRow(6); // Software, an ASCII tag
    ASSERT_EQ(form->ListModel->CellText(6, 5), "Ascii");
    EXPECT_TRUE(editorOpensOn(Qt::Key_Return));
    EXPECT_TRUE(editorOpensOn(Qt::Key_Enter));
    EXPECT_TRUE(editorOpensOn(Qt::Key_F2));
    EXPECT_TRUE(recorder.messages.isEmpty());

    // The same rules as a double click: another type is refused in words...
    selectRow(5);
    EXPECT_FALSE(editorOpensOn(Qt::Key_Return));
    EXPECT_EQ(recorder.messages, QStringList{"Only ASCII values could be edited."});
    // ...and with no row selected nothing happens.
    form->ListView1->clearSelection();
    EXPECT_FALSE(editorOpensOn(Qt::Key_F2));
    EXPECT_EQ(recorder.messages.size(), 1);
}

TEST_F(KeyboardTest, CtrlDAndCtrlHSwitchTheDisplayMode)
{
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    selectRow(5);
    QTest::keyClick(form->ListView1, Qt::Key_H, Qt::ControlModifier);
    EXPECT_TRUE(form->tb16->isChecked());
    EXPECT_EQ(form->ListModel->CellText(5, 4), "300");
    EXPECT_EQ(form->ListModel->CellText(6, 6), "8");
    EXPECT_EQ(form->ListModel->Caption(6), "Length (hex)");
    // From anywhere in the window, also the Batch tab.
    form->PageControl1->setCurrentWidget(form->TabSheetBatch);
    form->BatchTab->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(form->tb10->isChecked());
    EXPECT_FALSE(form->tb16->isChecked());
    EXPECT_EQ(form->ListModel->Caption(6), "Length");
}

TEST_F(KeyboardTest, EveryFocusableControlShowsItsFocus)
{
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    // What a press of Tab sets: styles draw focus only after the keyboard moved it.
    form->setAttribute(Qt::WA_KeyboardFocusChange);
    QStringList unseen;
    int checked = 0;
    for (QWidget* tab : {form->TabSheetInfo, form->TabSheetBatch}) {
        form->PageControl1->setCurrentWidget(tab);
        QApplication::processEvents();
        for (QWidget* w : form->findChildren<QWidget*>()) {
            if (!w->isVisible() || !w->isEnabled() || !(w->focusPolicy() & Qt::TabFocus) || w->focusProxy())
                continue;
            form->setFocus();
            w->clearFocus();
            QApplication::processEvents();
            const QImage without = w->grab().toImage();
            w->setFocus(Qt::TabFocusReason);
            QApplication::processEvents();
            if (!w->hasFocus())
                continue;
            ++checked;
            if (w->grab().toImage() == without)
                unseen << w->objectName() + " (" + w->metaObject()->className() + ")";
        }
    }
    EXPECT_GE(checked, 20);
    EXPECT_TRUE(unseen.isEmpty()) << unseen.join(", ").toStdString();
}

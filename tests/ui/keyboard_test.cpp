// The window without a mouse: Enter or F2 on a row opens the ASCII editor,
// Ctrl+D and Ctrl+H switch the display mode, and every control that takes
// the focus shows that it has it.
#include "support/tempdir.h"
#include "support/tiffbuilder.h"
#include "ui/batchtab.h"
#include "ui/editdlg.h"
#include "ui/main.h"
#include "ui/taglistmodel.h"
#include "uitest.h"

#include <QApplication>
#include <QLineEdit>
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
        form->show();
        QApplication::setActiveWindow(form.get());
    }

    /// Selects a row (or none), presses key on the list; true when the editor opened (cancelled at once).
    bool editorOpensOn(int row, Qt::Key key)
    {
        form->ListView1->setFocus();
        form->ListView1->setCurrentIndex(row < 0 ? QModelIndex() : form->ListModel->index(row, 0));
        bool opened = false;
        QTimer::singleShot(0, form.get(), [&] {
            if (auto* dialog = qobject_cast<TEditForm*>(QApplication::activeModalWidget()))
                opened = dialog->close();
        });
        QTest::keyClick(form->ListView1, key);
        QApplication::processEvents(); // the timer, when no dialog ran it
        return opened;
    }

    TempDir dir;
    MessageRecorder recorder;
    std::unique_ptr<TForm1> form = [this] {
        TiffBuilder b; // row 5: a Short, row 6: an ASCII tag
        b.Page({TestEntry::Short(256, 300), TestEntry::At(305, tAscii, 8, b.Data(std::string_view("Scanner", 8)))});
        return std::make_unique<TForm1>(QStringList{QString::fromStdString(dir.Write("k.tif", b.Build()))});
    }();
};

} // namespace

TEST_F(KeyboardTest, EnterOrF2OnARowOpensTheEditor)
{
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_F2})
        EXPECT_TRUE(editorOpensOn(6, key)) << key;
    EXPECT_TRUE(recorder.messages.isEmpty());
    // The rules of a double click: another type is refused in words, no row does nothing.
    EXPECT_FALSE(editorOpensOn(5, Qt::Key_Return));
    EXPECT_FALSE(editorOpensOn(-1, Qt::Key_F2));
    EXPECT_EQ(recorder.messages, QStringList{"Only ASCII values could be edited."});
}

TEST_F(KeyboardTest, CtrlDAndCtrlHSwitchTheDisplayModeFromAnywhere)
{
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->ListView1->setFocus();
    QTest::keyClick(form->ListView1, Qt::Key_H, Qt::ControlModifier);
    EXPECT_TRUE(form->tb16->isChecked());
    EXPECT_EQ(form->ListModel->Caption(6), "Length (hex)");
    form->PageControl1->setCurrentWidget(form->TabSheetBatch);
    form->BatchTab->edtTagDescription->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(form->tb10->isChecked());
    EXPECT_FALSE(form->tb16->isChecked());
}

TEST_F(KeyboardTest, EveryFocusableControlShowsItsFocus)
{
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->setAttribute(Qt::WA_KeyboardFocusChange); // as Tab sets it: styles draw focus only then
    QStringList unseen;
    int checked = 0;
    for (QWidget* tab : {form->TabSheetInfo, form->TabSheetBatch}) {
        form->PageControl1->setCurrentWidget(tab);
        for (QWidget* w : form->findChildren<QWidget*>()) {
            if (!w->isVisible() || !w->isEnabled() || !(w->focusPolicy() & Qt::TabFocus) || w->focusProxy())
                continue;
            w->clearFocus();
            QApplication::processEvents();
            const QImage without = w->grab().toImage();
            w->setFocus(Qt::TabFocusReason);
            QApplication::processEvents();
            if (w->hasFocus() && ++checked && w->grab().toImage() == without)
                unseen << w->objectName() + " (" + w->metaObject()->className() + ")";
        }
    }
    EXPECT_GE(checked, 20);
    EXPECT_TRUE(unseen.isEmpty()) << unseen.join(", ").toStdString();
}

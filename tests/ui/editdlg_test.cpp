// The ASCII editor dialog driven as a user would.
#include "ui/editdlg.h"
#include "uitest.h"

#include <QApplication>
#include <QFontInfo>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

#include <functional>

// ---------------------------------------------------------------- the dialog

TEST(EditForm, LaysOutTheDialog)
{
    QWidget owner;
    TEditForm d(&owner);
    EXPECT_EQ(d.windowTitle(), "Velquin ascii editor: Use at own risk....");
    EXPECT_EQ(d.size(), QSize(615, 217));
    EXPECT_EQ(d.pos(), QPoint(428, 355));
    EXPECT_EQ(d.Label1->text(), "12345678901234567890123456789012345678901234567890123456789012345678901234567890");
    EXPECT_EQ(d.Edit1->geometry(), QRect(8, 48, 569, 22));
    EXPECT_EQ(d.BitBtn1->text(), "Write to file");
    EXPECT_EQ(d.BitBtn2->text(), "Cancel editing");
    EXPECT_TRUE(d.BitBtn1->isDefault());
    EXPECT_FALSE(d.BitBtn2->isDefault());
    EXPECT_EQ(d.Label2->text(),
              "Edited ascii text are truncated or extended to the previous length of the data. NO-UNDO possible ");
    EXPECT_EQ(d.Label2->pos(), QPoint(80, 8));
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

        d.SetText(d.Label1->text()); // 80 characters: the box must not scroll
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
    d.SetText(QString::fromUtf8("Hello\0", 6));
    EXPECT_EQ(d.Text(), "Hello"); // up to the NUL
    EXPECT_EQ(d.Edit1->maxLength(), 6);
    EXPECT_FALSE(d.Modified());

    QTest::keyClicks(d.Edit1, "XYZ");
    EXPECT_EQ(d.Text(), "HelloX"); // the NUL counts towards the limit
    QTest::keyClick(d.Edit1, Qt::Key_Backspace);
    EXPECT_EQ(d.Text(), "Hello");
    EXPECT_TRUE(d.Modified()); // restored, yet changed by the user

    TEditForm empty(&owner);
    const int unlimited = QLineEdit().maxLength();
    empty.SetText(QString());
    EXPECT_EQ(empty.Edit1->maxLength(), unlimited);
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
        d.SetText(QStringLiteral("Text"));
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
    d.SetText(QString()); // no length limit
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

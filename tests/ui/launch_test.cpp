// The window's launches through a recording shell, and the About box.
#include "shell/launches.h"
#include "support/tempdir.h"
#include "support/tiffbuilder.h"
#include "ui/main.h"
#include "ui/uaboutform.h"
#include "support/recordingshell.h"
#include "uitest.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

namespace {


class LaunchTest : public ::testing::Test {
protected:
    LaunchTest()
    {
        TiffBuilder b;
        b.Page({TestEntry::Short(256, 1)});
        tiff = QString::fromStdString(dir.Write("My Scans/page 1.tif", b.Build()));
        other = QString::fromStdString(dir.Write("other.tif", b.Build()));
    }
    /// A window whose launches go to the recorder.
    std::unique_ptr<TForm1> window(const QStringList& args = {})
    {
        auto form = std::make_unique<TForm1>(args);
        auto recording = std::make_unique<TRecordingShell>();
        shell = recording.get();
        form->Shell = std::move(recording);
        form->UpdateActions();
        return form;
    }

    TempDir dir;
    MessageRecorder recorder;
    QString tiff;
    QString other;
    TRecordingShell* shell = nullptr;
};

} // namespace

TEST_F(LaunchTest, ViewerGetsTheOpenFileFromButtonAndMenu)
{
    auto form = window({tiff});
    ASSERT_TRUE(form->ActionLaunchViewer->isEnabled());
    form->tbLauchImageViewer->click();
    QAction* viewImage = form->findChild<QAction*>("viewimage1");
    ASSERT_NE(viewImage, nullptr);
    EXPECT_TRUE(viewImage->isEnabled());
    viewImage->trigger();
    ASSERT_EQ(shell->Requests.size(), 2u);
    const TShellRequest expected{TLaunchOwner::None, "open", "\"" + tiff.toStdString() + "\"", "", "", SW_SHOWNORMAL};
    EXPECT_EQ(shell->Requests[0], expected);
    EXPECT_EQ(shell->Requests[1], expected);
    EXPECT_TRUE(recorder.errors.isEmpty());
}

TEST_F(LaunchTest, WithoutAFileOnlyTheViewerIsDisabled)
{
    auto form = window();
    EXPECT_FALSE(form->ActionLaunchViewer->isEnabled());
    form->ActionLaunchViewer->trigger();
    EXPECT_TRUE(shell->Requests.empty());

    EXPECT_TRUE(form->ActionCalculator->isEnabled());
    EXPECT_TRUE(form->ActionStartHomepage->isEnabled());
    EXPECT_TRUE(form->Emailsupport1->isEnabled());
    form->tbCalc->click();
    form->tnInternet->click();
    form->Emailsupport1->trigger();
    ASSERT_EQ(shell->Requests.size(), 3u);
    EXPECT_EQ(shell->Requests[0].File, "calc.EXE");
    EXPECT_EQ(shell->Requests[0].ShowCommand, SW_SHOWDEFAULT);
    EXPECT_EQ(shell->Requests[1],
              (TShellRequest{TLaunchOwner::Application, "open", std::string(HomePageAddress), "", "", SW_SHOWNORMAL}));
    EXPECT_EQ(shell->Requests[2],
              (TShellRequest{TLaunchOwner::MainWindow, "open", SupportMailAddress(), "", "", SW_SHOWNORMAL}));
}

TEST_F(LaunchTest, FailedViewerAndCalculatorShowTheShellsWords)
{
    auto form = window({tiff});
    shell->Result = 31;
    form->ActionLaunchViewer->trigger();
    shell->Result = 2;
    form->ActionCalculator->trigger();
    EXPECT_EQ(recorder.errors, (QStringList{"There is no application associated with the given filename extension.",
                                            "The viewer or file to launch was not found."}));

    recorder.errors.clear();
    for (int code : {4, 6, 25}) {
        shell->Result = code;
        form->ActionLaunchViewer->trigger();
        form->ActionCalculator->trigger();
    }
    EXPECT_TRUE(recorder.errors.isEmpty());
    EXPECT_EQ(shell->Requests.size(), 8u);
}

TEST_F(LaunchTest, HomepageAndMailThatTheDesktopCannotOpenAreSaid)
{
    auto form = window();
    form->ActionStartHomepage->trigger();
    form->Emailsupport1->trigger();
    EXPECT_TRUE(recorder.errors.isEmpty());

    shell->Result = 31;
    form->ActionStartHomepage->trigger();
    form->Emailsupport1->trigger();
    shell->Result = 4; // a code the shell has no words for
    form->ActionStartHomepage->trigger();
    ASSERT_EQ(recorder.errors.size(), 3);
    EXPECT_EQ(recorder.errors[0], "The web page could not be opened. Its address is https://www.velquin.example.com/\n"
                                  "There is no application associated with the given filename extension.");
    EXPECT_EQ(recorder.errors[1], "No mail program could be started. Please write to support@velquin.example.com\n"
                                  "There is no application associated with the given filename extension.");
    EXPECT_EQ(recorder.errors[2], "The web page could not be opened. Its address is https://www.velquin.example.com/");
}

TEST_F(LaunchTest, CalculatorGetsTheNameLastChosenInTheOpenDialog)
{
    auto form = window({other}); // from the command line: not chosen in the dialog
    form->ActionCalculator->trigger();
    ASSERT_EQ(shell->Requests.size(), 1u);
    EXPECT_EQ(shell->Requests[0].Parameters, "");

    QTimer::singleShot(0, form->OPD, [&] {
        form->OPD->selectFile(tiff);
        static_cast<QDialog*>(form->OPD)->accept();
    });
    form->Open1->trigger();
    QTimer::singleShot(0, form->OPD, [&] { static_cast<QDialog*>(form->OPD)->reject(); });
    form->Open1->trigger(); // a cancel keeps the name
    form->ActionCalculator->trigger();
    ASSERT_EQ(shell->Requests.size(), 2u);
    EXPECT_EQ(shell->Requests[1].Parameters, tiff.toStdString());
}

TEST_F(LaunchTest, AboutBoxStartsTheSupportMailAndStaysOpen)
{
    auto form = window();
    QPointer<TFrmAbout> shown;
    bool stillOpen = false;
    QTimer::singleShot(0, form.get(), [&] {
        shown = qobject_cast<TFrmAbout*>(QApplication::activeModalWidget());
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->parent(), form.get());
        shown->SpeedButton1->click();
        shown->SpeedButton1->click();
        stillOpen = shown->isVisible();
        shown->OKButton->click();
    });
    QMenu* menu = form->menuBar()->findChild<QMenu*>("About1");
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(menu->actions().contains(form->AboutVelquin1));
    EXPECT_EQ(form->AboutVelquin1->text(), "About Velquin");
    form->AboutVelquin1->trigger();
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(shown.isNull()); // freed when it closed
    ASSERT_EQ(shell->Requests.size(), 2u);
    EXPECT_EQ(shell->Requests[0].File, SupportMailAddress());
    EXPECT_EQ(shell->Requests[0].Owner, TLaunchOwner::MainWindow);
}

TEST(AboutBox, TextsAndSizes)
{
    TFrmAbout about;
    EXPECT_EQ(about.windowTitle(), "About Velquin");
    EXPECT_EQ(about.size(), QSize(413, 536));
    EXPECT_EQ(about.minimumSize(), about.maximumSize()); // no resizing
    EXPECT_EQ(about.ProductName->text(), "Product Name:");
    EXPECT_TRUE(about.ProductName->font().bold());
    EXPECT_EQ(about.ProductText->text(), "Velquin");
    EXPECT_EQ(about.Version->text(), "Version:");
    EXPECT_EQ(about.VersionText->text(), "V5.2");
    // Values at x 155, or further right where a large font would run the captions into them.
    for (auto [caption, value] :
         {std::pair{about.ProductName, about.ProductText}, {about.Version, about.VersionText}}) {
        EXPECT_GE(value->x(), 155);
        EXPECT_GT(value->x(), caption->geometry().right());
        EXPECT_EQ(value->y(), caption->y());
    }
    EXPECT_EQ(about.VersionText->y(), 48);
    EXPECT_FALSE(about.ProgramIcon->pixmap().isNull()); // the program's own icon
    EXPECT_EQ(about.ProgramIcon->geometry(), QRect(8, 8, 41, 65));
    EXPECT_EQ(about.SpeedButton1->text(), "Support");
    EXPECT_EQ(about.SpeedButton1->geometry(), QRect(256, 16, 97, 41));
    EXPECT_EQ(about.SpeedButton1->cursor().shape(), Qt::WhatsThisCursor);
    EXPECT_EQ(about.Memo1->geometry(), QRect(24, 104, 369, 313));
    const QString note = about.Memo1->toPlainText();
    EXPECT_TRUE(note.contains("Current support for more than 200 known tags."));
    EXPECT_TRUE(note.contains("Usage of this program is at the users own risk."));
    EXPECT_EQ(about.Memo1->palette().color(QPalette::Base), QColor(222, 222, 226));
    EXPECT_EQ(about.Memo1->palette().color(QPalette::Text), QColor(0, 0, 128));
    EXPECT_TRUE(about.Memo1->font().bold());
    EXPECT_EQ(about.Memo1->font().pointSize(), 8);
    EXPECT_EQ(about.OKButton->text(), "OK");
    EXPECT_EQ(about.OKButton->geometry(), QRect(303, 428, 75, 37));
    EXPECT_TRUE(about.OKButton->isDefault());
}

TEST(AboutBox, ResultOfOkAndOfClosing)
{
    TFrmAbout about;
    QTimer::singleShot(0, &about, [&] { about.OKButton->click(); });
    EXPECT_EQ(about.exec(), QDialog::Accepted);
    QTimer::singleShot(0, &about, [&] { about.close(); });
    EXPECT_EQ(about.exec(), QDialog::Rejected);
}

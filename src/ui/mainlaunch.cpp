// The main window's launches through the shell, and the About box.
#include "ui/main.h"

#include "shell/launches.h"
#include "ui/messages.h"
#include "ui/uaboutform.h"

#include <QAction>
#include <QFileDialog>

void TForm1::connectOutsideCommands()
{
    connect(ActionPrint, &QAction::triggered, this, &TForm1::ActionPrintExecute);
    connect(ActionLaunchViewer, &QAction::triggered, this, &TForm1::ActionLaunchViewerExecute);
    connect(ActionCalculator, &QAction::triggered, this, &TForm1::ActionCalculatorExecute);
    connect(ActionStartHomepage, &QAction::triggered, this, &TForm1::ActionStartHomepageExecute);
    connect(Emailsupport1, &QAction::triggered, this, &TForm1::Emailsupport1Click);
    connect(AboutVelquin1, &QAction::triggered, this, &TForm1::AboutVelquin1Click);
    // The open dialog keeps the last name chosen, even when that file failed to open.
    connect(OPD, &QFileDialog::fileSelected, this, [this](const QString& name) { LastOpenName = name; });
}

TShell& TForm1::shell()
{
    if (!Shell)
        Shell = std::make_unique<TDesktopShell>();
    return *Shell;
}

void TForm1::ActionLaunchViewerExecute()
{
    Messages::Guarded([this] {
        if (TiffFile)
            LaunchViewer(shell(), TiffFile->FileName);
    });
}

void TForm1::ActionCalculatorExecute()
{
    Messages::Guarded([this] { LaunchCalculator(shell(), LastOpenName.toStdString()); });
}

// Unlike the viewer and the calculator, these two are otherwise silent; a
// desktop without a browser or a mail program is said so rather than ignored.
void TForm1::ActionStartHomepageExecute()
{
    if (const int code = StartHomepage(shell()); code <= 32)
        Messages::ShowError(QString::fromStdString(HomepageNotOpenedText(code)));
}

void TForm1::Emailsupport1Click()
{
    if (const int code = EmailSupport(shell()); code <= 32)
        Messages::ShowError(QString::fromStdString(SupportMailNotOpenedText(code)));
}

void TForm1::AboutVelquin1Click()
{
    TFrmAbout about(this);
    connect(&about, &TFrmAbout::SupportRequested, this, &TForm1::Emailsupport1Click);
    about.exec();
}

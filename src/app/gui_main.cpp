// The window's executable. `velquin` starts it for everything that is not a
// command-line mode, so the command line never loads Qt.
#include "app/cli.h"
#include "ui/main.h"
#include "ui/messages.h"

#include <QApplication>
#include <QIcon>

#include <iostream>
#include <string>
#include <vector>

namespace {

/// The application object: an exception that escapes an event handler
/// reaches the application's error handler instead of ending the program.
class TApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            Messages::ShowException(e);
        }
        return false;
    }
};

int runWindow(int argc, char** argv)
{
    TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velquin"));
    // Ties the window to the installed velquin.desktop (Wayland matches them
    // by this name) and takes its icon from the installed icon theme.
    QGuiApplication::setDesktopFileName(QStringLiteral("velquin"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("velquin")));
    QStringList args = QApplication::arguments();
    args.removeFirst();
    if (!args.isEmpty() && args.first() == QLatin1String("--"))
        args.removeFirst(); // "velquin -- -name.tif" opens a file whose name starts with "-"
    TForm1 form(args);
    form.show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (IsCommandLineMode(args))
        return RunCommandLine(args, std::cout, std::cerr);
    return runWindow(argc, argv);
}

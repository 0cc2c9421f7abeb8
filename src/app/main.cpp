#include "app/cli.h"

#include <iostream>
#include <string>
#include <vector>

#ifdef VELQUIN_GUI
#include "ui/main.h"
#include "ui/messages.h"

#include <QApplication>

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
    QStringList args = QApplication::arguments();
    args.removeFirst();
    TForm1 form(args);
    form.show();
    return QApplication::exec();
}

} // namespace
#endif

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (IsCommandLineMode(args)) {
        std::ios::sync_with_stdio(false);
        return RunCommandLine(args, std::cout, std::cerr);
    }
#ifdef VELQUIN_GUI
    return runWindow(argc, argv);
#else
    std::vector<std::string> dump{"--dump"};
    dump.insert(dump.end(), args.begin(), args.end());
    return RunCommandLine(dump, std::cout, std::cerr);
#endif
}

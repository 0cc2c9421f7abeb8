#include "ui/messages.h"

#include "tiff/errors.h"

#include <QApplication>
#include <QMessageBox>

namespace Messages {
namespace {

Hook& hook()
{
    static Hook h;
    return h;
}

int show(Kind kind, const QString& text)
{
    if (hook())
        return hook()(kind, text);
    QWidget* parent = QApplication::activeWindow();
    const QString caption = QApplication::applicationName();
    if (kind == Kind::Error)
        return QMessageBox::critical(parent, caption, text);
    if (kind == Kind::Question)
        return QMessageBox::question(parent, caption, text);
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    return box.exec();
}

} // namespace

void SetHook(Hook h)
{
    hook() = std::move(h);
}

void ShowMessage(const QString& text)
{
    show(Kind::Plain, text);
}

void ShowError(const QString& text)
{
    show(Kind::Error, text);
}

int Ask(const QString& text)
{
    return show(Kind::Question, text);
}

void ShowException(const std::exception& error)
{
    ShowError(QString::fromStdString(WithFullStop(error.what())));
}

} // namespace Messages

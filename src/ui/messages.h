#pragma once

#include <QString>

#include <exception>
#include <functional>

// Every message box of the program passes through here, so that tests can
// read the texts without a modal box blocking them.
namespace Messages {

enum class Kind { Plain, Error, Question };

/// Replaces the boxes: the hook gets each message and returns the button
/// pressed (QMessageBox::StandardButton). An empty hook restores the boxes.
using Hook = std::function<int(Kind kind, const QString& text)>;
void SetHook(Hook hook);

/// A modal box with one OK button, captioned with the application's title.
void ShowMessage(const QString& text);
/// An error box captioned with the application's title.
void ShowError(const QString& text);
/// A question with Yes and No; the button pressed (QMessageBox::StandardButton).
int Ask(const QString& text);
/// The application's error handler: the message with the full-stop rule.
void ShowException(const std::exception& error);

/// Runs f; an exception that leaves it reaches the application's error handler.
template <class F> void Guarded(F&& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        ShowException(e);
    }
}

} // namespace Messages

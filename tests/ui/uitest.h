#pragma once

#include "ui/messages.h"

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

/// Records every message box instead of showing it; answers OK, and a
/// question with questionAnswer.
class MessageRecorder {
public:
    MessageRecorder()
    {
        Messages::SetHook([this](Messages::Kind kind, const QString& text) {
            if (kind == Messages::Kind::Question) {
                questions << text;
                return questionAnswer;
            }
            (kind == Messages::Kind::Error ? errors : messages) << text;
            return 0x00000400; // QMessageBox::Ok
        });
    }
    ~MessageRecorder() { Messages::SetHook({}); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    QStringList messages; ///< plain boxes
    QStringList errors;   ///< error boxes
    QStringList questions;
    int questionAnswer = 0x00004000; ///< QMessageBox::Yes
};

// Readable QString values in test failures.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os)
{
    *os << '{';
    for (const QString& s : l)
        *os << '"' << s.toStdString() << "\" ";
    *os << '}';
}

#pragma once

#include <QValidator>

class QKeyEvent;

/// Keeps the Tag nr field to numbers a tag can have: a text whose tag
/// number (as the search list reads it) is above 65535 is refused, typed or
/// pasted. Anything else passes, as pasted text always has.
class TTagNumberValidator : public QValidator {
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

/// Select all, copy, cut, paste, undo and redo: editing commands that type
/// no character, which the Tag nr field's key filter lets through.
bool IsEditingShortcut(const QKeyEvent& key);

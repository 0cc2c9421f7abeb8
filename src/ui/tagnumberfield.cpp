#include "ui/tagnumberfield.h"

#include "batch/searchlist.h"

#include <QKeyEvent>

QValidator::State TTagNumberValidator::validate(QString& input, int&) const
{
    std::string digits = EntryTagNumber(input.toStdString());
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    const bool tooLarge = digits.size() > 5 || (digits.size() == 5 && digits > "65535");
    return tooLarge ? Invalid : Acceptable;
}

bool IsEditingShortcut(const QKeyEvent& key)
{
    for (const auto command : {QKeySequence::SelectAll, QKeySequence::Copy, QKeySequence::Cut, QKeySequence::Paste,
                               QKeySequence::Undo, QKeySequence::Redo})
        if (key.matches(command))
            return true;
    return false;
}

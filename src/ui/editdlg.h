#pragma once

#include <QDialog>

#include <cstddef>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

/// The ASCII editor: one line of text under an 80-column ruler. Created for
/// one edit, shown modally; OK ("Write to file") or Cancel.
class TEditForm : public QDialog {
    Q_OBJECT
public:
    explicit TEditForm(QWidget* owner);

    /// Puts text into Edit1, shown up to its first NUL, and lets the box take
    /// at most maxLength characters: the number the file's field has room for,
    /// so that nothing typed is lost when it is written.
    void SetText(const QString& text, std::size_t maxLength);
    QString Text() const;
    /// Set by any change the user makes, even one that restores the old text;
    /// not by SetText.
    bool Modified() const;

    QFrame* Panel1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QFrame* Panel2 = nullptr;
    QLabel* Label2 = nullptr;

public slots:
    /// Closes with OK unless the text holds a character the file cannot
    /// store; then it names the character and stays open for a correction.
    void accept() override;

private:
    void alignRuler();
};

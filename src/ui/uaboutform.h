#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

/// The About box: program name, version, a note, and a button that asks the
/// owner for a support mail. Shown modally, one instance per showing.
class TFrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFrmAbout(QWidget* owner = nullptr);

    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* ProductText = nullptr;
    QLabel* Version = nullptr;
    QLabel* VersionText = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* OKButton = nullptr;

signals:
    /// The Support button: the owner starts the support mail.
    void SupportRequested(QObject* sender);

public slots:
    void SpeedButton1Click();

protected:
    void showEvent(QShowEvent* event) override;
};

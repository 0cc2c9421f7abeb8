#include "ui/editdlg.h"

#include "tiff/asciiedit.h"
#include "tiff/codepage.h"
#include "ui/messages.h"
#include "ui/uiscale.h"

#include <QApplication>

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <limits>

namespace {

constexpr const char* kRuler = "12345678901234567890123456789012345678901234567890123456789012345678901234567890";

/// A raised bevel inside a lowered one, or a lowered one alone.
QFrame* bevelPanel(QWidget* parent, const QRect& geometry, bool raisedInner)
{
    auto* outer = new QFrame(parent);
    outer->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    outer->setGeometry(geometry);
    if (raisedInner) {
        auto* inner = new QFrame(outer);
        inner->setFrameStyle(QFrame::Panel | QFrame::Raised);
        inner->setGeometry(1, 1, geometry.width() - 2, geometry.height() - 2);
    }
    return outer;
}

QFont courier()
{
    // Fontconfig gives a metric-compatible face where Courier New is missing;
    // the hints keep it fixed-pitch either way.
    QFont f(QStringLiteral("Courier New"), 8);
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    return f;
}

/// Widens the lower panel, and the upper one and the dialog with it, until the
/// note stands whole in it with the margin it was designed with.
void fitNote(QWidget* dialog, QWidget* upper, QWidget* lower, QLabel* note)
{
    note->adjustSize();
    const int needed = note->x() + note->width() + Scaled(8);
    const int grow = needed - lower->width();
    if (grow <= 0)
        return;
    lower->resize(lower->width() + grow, lower->height());
    upper->resize(upper->width() + grow, upper->height());
    for (QFrame* frame : upper->findChildren<QFrame*>(Qt::FindDirectChildrenOnly))
        if (!qobject_cast<QLabel*>(frame)) // the raised inner bevel
            frame->setGeometry(1, 1, upper->width() - 2, upper->height() - 2);
    dialog->resize(dialog->width() + grow, dialog->height());
}

} // namespace

TEditForm::TEditForm(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("EditForm"));
    setWindowTitle(QStringLiteral("Velquin ascii editor: Use at own risk...."));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    resize(615, 217);
    move(428, 355); // the designed place, not centred on the owner

    Panel1 = bevelPanel(this, QRect(8, 8, 585, 113), true);
    Panel1->setObjectName(QStringLiteral("Panel1"));

    Label1 = new QLabel(QString::fromLatin1(kRuler), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(courier());
    Label1->setTextFormat(Qt::PlainText);
    QPalette black = Label1->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    Label1->setPalette(black);
    Label1->setGeometry(10, 32, 560, 14);

    Edit1 = new QLineEdit(Panel1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setFont(courier());
    Edit1->setGeometry(8, 48, 569, 22);

    BitBtn1 = new QPushButton(tr("Write to file"), Panel1);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(168, 80, 121, 25);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(tr("Cancel editing"), Panel1);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(312, 80, 145, 25);

    Panel2 = bevelPanel(this, QRect(8, 128, 585, 41), false);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Label2 = new QLabel(
        QStringLiteral(
            "Edited ascii text are truncated or extended to the previous length of the data. NO-UNDO possible "),
        Panel2);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setTextFormat(Qt::PlainText);
    Label2->move(80, 8);
    // The designed sizes grow with a larger platform font; the note, in the
    // dialog's own font, gets the room it needs either way.
    ScaleFixedLayout(this, UiScale(QApplication::font()));
    fitNote(this, Panel1, Panel2, Label2);

    // Escape and the title bar's close button reject the dialog by themselves.
    connect(BitBtn1, &QPushButton::clicked, this, &TEditForm::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &TEditForm::reject);

    alignRuler();
    Edit1->setFocus();
}

void TEditForm::alignRuler()
{
    // Each character must stand under its ruler digit: start the ruler where
    // the edit box's style starts its text, and give it room for 80 columns.
    Edit1->ensurePolished();
    Label1->ensurePolished();
    // With no text the caret stands at column 1; its rectangle reaches 5 px to its left.
    const QRect caret = Edit1->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    const int textX = Edit1->x() + caret.left() + 5;
    const int rulerWidth = QFontMetrics(Label1->font()).horizontalAdvance(Label1->text()) + 2;
    Label1->setGeometry(textX, Label1->y(), std::max(560, rulerWidth), Label1->height());
}

void TEditForm::SetText(const QString& text, std::size_t maxLength)
{
    Edit1->setMaxLength(static_cast<int>(std::min<std::size_t>(maxLength, std::numeric_limits<int>::max())));
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    Edit1->setText(nul < 0 ? text : text.left(nul));
}

QString TEditForm::Text() const
{
    return Edit1->text();
}

bool TEditForm::Modified() const
{
    return Edit1->isModified();
}

void TEditForm::accept()
{
    const TCp1252Result encoded = Utf8ToCp1252(Edit1->text().toStdString());
    if (encoded.Unmappable) {
        Messages::ShowException(EUnmappableChar(*encoded.Unmappable));
        Edit1->setFocus();
        return;
    }
    QDialog::accept();
}

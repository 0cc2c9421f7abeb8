#include "ui/uaboutform.h"

#include "ui/imagelist.h"

#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>

#include <utility>

namespace {

constexpr const char* Note = "Velquin looks inside TIFF files: the header and byte order, the chain of pages "
                             "and every directory entry of a page, with its position, number, name, value, "
                             "type and count.\n"
                             "\n"
                             "Current support for more than 200 known tags.\n"
                             "\n"
                             "The tags of whole folder trees can be exported as separated values, ASCII tags "
                             "can be edited in place, and the tag listing can be printed.\n"
                             "\n"
                             "Usage of this program is at the users own risk.";

QLabel* label(QWidget* parent, const char* name, const QString& text, QPoint at, bool bold)
{
    auto* l = new QLabel(text, parent);
    if (name)
        l->setObjectName(QString::fromLatin1(name));
    if (bold) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
    }
    l->move(at);
    l->adjustSize();
    return l;
}

} // namespace

TFrmAbout::TFrmAbout(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("FrmAbout"));
    setWindowTitle(tr("About Velquin"));
    setFixedSize(413, 536);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    QFont dialogFont = font();
    dialogFont.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                            QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    dialogFont.setPointSize(8);
    setFont(dialogFont);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setGeometry(24, 8, 369, 89);
    panel->setFrameStyle(QFrame::Box | QFrame::Sunken); // lowered outside, raised inside

    ProgramIcon = new QLabel(panel);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(8, 8, 41, 65);
    ProgramIcon->setScaledContents(true);
    // Drawn at the slot's size and the screen's pixel density, so the stretch changes nothing.
    ProgramIcon->setPixmap(::ProgramIcon().pixmap(ProgramIcon->size(), devicePixelRatioF()));

    ProductName = label(panel, "ProductName", tr("Product Name:"), {64, 24}, true);
    ProductText = label(panel, "ProductText", QStringLiteral("Velquin"), {155, 24}, false);
    Version = label(panel, "Version", tr("Version:"), {64, 48}, true);
    VersionText = label(panel, "VersionText", QStringLiteral("V5.2"), {155, 48}, false);
    // A large desktop font must not run the captions into their values.
    for (auto [caption, value] : {std::pair{ProductName, ProductText}, std::pair{Version, VersionText}})
        if (caption->geometry().right() + 6 > value->x())
            value->move(caption->geometry().right() + 6, value->y());

    SpeedButton1 = new QToolButton(panel);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setGeometry(256, 16, 97, 41);
    SpeedButton1->setText(tr("Support"));
    SpeedButton1->setIcon(ImageList1(ImgSupport));
    SpeedButton1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setCursor(Qt::WhatsThisCursor);
    QFont bold = SpeedButton1->font();
    bold.setBold(true);
    SpeedButton1->setFont(bold);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(24, 104, 369, 313);
    Memo1->setReadOnly(true);
    Memo1->setPlainText(QString::fromLatin1(Note));
    QFont memoFont;
    memoFont.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans")});
    memoFont.setStyleHint(QFont::SansSerif);
    memoFont.setPointSize(8);
    memoFont.setBold(true);
    Memo1->setFont(memoFont);
    QPalette memoColours = Memo1->palette();
    memoColours.setColor(QPalette::Base, QColor(222, 222, 226));
    memoColours.setColor(QPalette::Text, QColor(0, 0, 128)); // navy
    Memo1->setPalette(memoColours);

    OKButton = new QPushButton(tr("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(303, 428, 75, 37);
    OKButton->setDefault(true);

    connect(SpeedButton1, &QToolButton::clicked, this, &TFrmAbout::SpeedButton1Click);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TFrmAbout::SpeedButton1Click()
{
    emit SupportRequested(this);
}

void TFrmAbout::showEvent(QShowEvent* event)
{
    // Centred on the screen rather than on the owner.
    if (QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

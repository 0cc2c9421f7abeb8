#include "ui/imagelist.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>

#include <array>

namespace {

QPixmap canvas()
{
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    return pm;
}

// A page-turning arrow; the disabled images are grey so the state reads at a glance.
QIcon arrow(bool forward, bool enabled)
{
    QPixmap pm = canvas();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor fill = enabled ? QColor(0x1e, 0x6f, 0xc8) : QColor(0xb0, 0xb0, 0xb0);
    QPainterPath path;
    if (forward) {
        path.moveTo(6, 4);
        path.lineTo(19, 12);
        path.lineTo(6, 20);
    } else {
        path.moveTo(18, 4);
        path.lineTo(5, 12);
        path.lineTo(18, 20);
    }
    path.closeSubpath();
    p.fillPath(path, fill);
    p.setPen(QPen(fill.darker(130), 1));
    p.drawPath(path);
    return QIcon(pm);
}

QIcon label(const QString& text, const QColor& colour)
{
    QPixmap pm = canvas();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(1, 3, 22, 18), 3, 3);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(text.size() > 2 ? 9 : 12);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 3, 24, 18), Qt::AlignCenter, text);
    return QIcon(pm);
}

QIcon themed(const char* name, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QString::fromLatin1(name), QApplication::style()->standardIcon(fallback));
}

QIcon make(TImage index)
{
    switch (index) {
    case ImgOpen: return themed("document-open", QStyle::SP_DialogOpenButton);
    case ImgViewer: return themed("image-x-generic", QStyle::SP_FileIcon);
    case ImgDecimal: return label(QStringLiteral("10"), QColor(0x2e, 0x7d, 0x32));
    case ImgHex: return label(QStringLiteral("16"), QColor(0x6a, 0x1b, 0x9a));
    case ImgPrint: return themed("document-print", QStyle::SP_FileDialogDetailedView);
    case ImgCalculator: return themed("accessories-calculator", QStyle::SP_ComputerIcon);
    case ImgInternet: return themed("internet-web-browser", QStyle::SP_DriveNetIcon);
    case ImgAdd: return themed("list-add", QStyle::SP_FileDialogNewFolder);
    case ImgDelete: return themed("list-remove", QStyle::SP_TrashIcon);
    case ImgSort: return themed("view-sort-ascending", QStyle::SP_FileDialogListView);
    case ImgSave: return themed("document-save", QStyle::SP_DialogSaveButton);
    case ImgPrevPage: return arrow(false, true);
    case ImgNextPage: return arrow(true, true);
    case ImgPrevPageDisabled: return arrow(false, false);
    case ImgNextPageDisabled: return arrow(true, false);
    case ImgMoveUp: return themed("go-up", QStyle::SP_ArrowUp);
    case ImgMoveDown: return themed("go-down", QStyle::SP_ArrowDown);
    case ImgFolder: return themed("folder-open", QStyle::SP_DirOpenIcon);
    case ImgStart: return themed("media-playback-start", QStyle::SP_MediaPlay);
    case ImgStop: return themed("media-playback-stop", QStyle::SP_MediaStop);
    case ImgSupport: return themed("mail-send", QStyle::SP_MessageBoxQuestion);
    case ImgCount: break;
    }
    return {};
}

} // namespace

QIcon ImageList1(TImage index)
{
    static std::array<QIcon, ImgCount> cache;
    static std::array<bool, ImgCount> made{};
    if (index < 0 || index >= ImgCount)
        return {};
    if (!made[index]) {
        cache[index] = make(index);
        made[index] = true;
    }
    return cache[index];
}

#pragma once

#include <QIcon>

/// The window's shared images. The numbers of the navigation images are fixed:
/// the actions switch to 13 and 14 to look disabled.
enum TImage {
    ImgOpen = 0,
    ImgViewer = 1,
    ImgDecimal = 2,
    ImgHex = 3,
    ImgPrint = 4,
    ImgCalculator = 5,
    ImgInternet = 6,
    ImgAdd = 7,
    ImgDelete = 8,
    ImgSort = 9,
    ImgSave = 10,
    ImgPrevPage = 11,
    ImgNextPage = 12,
    ImgPrevPageDisabled = 13,
    ImgNextPageDisabled = 14,
    ImgMoveUp = 15,
    ImgMoveDown = 16,
    ImgFolder = 17,
    ImgStart = 18,
    ImgStop = 19,
    ImgSupport = 20,
    ImgError = 21, ///< the severities of the checker's findings
    ImgWarning = 22,
    ImgNote = 23,
    ImgCount
};

/// ImageList1: icons from the desktop's theme where it has them, else the
/// program's own drawings, so every button shows its action without a theme.
QIcon ImageList1(TImage index);
/// The resource path of the program's own drawing for an image.
QString ImageResource(TImage index);
/// The program's icon: the window's and the About box's.
QIcon ProgramIcon();

// The icons the program ships: every image of the image list is drawn
// without a desktop theme, each differs from the others, and the About box
// and the window carry the program's icon.
#include "ui/imagelist.h"
#include "ui/main.h"
#include "ui/uaboutform.h"
#include "uitest.h"

#include <QFile>
#include <QImage>
#include <QLabel>

namespace {

QImage render(const QIcon& icon, int size = 24)
{
    return icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
}

/// Pixels that are not fully transparent.
int inkedPixels(const QImage& image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qAlpha(image.pixel(x, y)) > 0;
    return n;
}

} // namespace

TEST(Icons, EveryImageIsDrawnWithoutATheme)
{
    QIcon::setThemeSearchPaths({});
    QIcon::setThemeName(QString());
    std::vector<QImage> drawn;
    for (int i = 0; i < ImgCount; ++i) {
        const auto image = static_cast<TImage>(i);
        SCOPED_TRACE(ImageResource(image).toStdString());
        ASSERT_TRUE(QFile::exists(ImageResource(image)));
        const QImage shown = render(ImageList1(image));
        ASSERT_FALSE(shown.isNull());
        // A drawing, not an empty square: at least a sixth of the area.
        EXPECT_GT(inkedPixels(shown), 24 * 24 / 6);
        EXPECT_EQ(shown, render(QIcon(ImageResource(image))));
        for (std::size_t j = 0; j < drawn.size(); ++j)
            EXPECT_NE(shown, drawn[j]) << "the same picture as image " << j;
        drawn.push_back(shown);
    }
}

TEST(Icons, ProgramIconInTheAboutBoxAndTheWindow)
{
    TFrmAbout about;
    const QPixmap slot = about.ProgramIcon->pixmap();
    EXPECT_EQ(slot.deviceIndependentSize().toSize(), about.ProgramIcon->size());
    EXPECT_GT(inkedPixels(slot.toImage().convertToFormat(QImage::Format_ARGB32)), 41 * 65 / 4);
    TForm1 form;
    EXPECT_EQ(render(form.windowIcon(), 48), render(ProgramIcon(), 48));
}

#include "ui/imagelist.h"

#include <array>

namespace {

struct TImageSource {
    /// The desktop theme's name for the image, or nullptr for images of our own.
    const char* themeName;
    /// The drawing shipped with the program, used wherever the theme has none.
    const char* resource;
};

// In TImage order. The theme draws the common actions in the desktop's own
// style; the decimal and hexadecimal labels and the page arrows, whose
// disabled look is an image of its own, are always ours.
constexpr std::array<TImageSource, ImgCount> kSources{{
    {"document-open", "open"},
    {"image-x-generic", "viewer"},
    {nullptr, "dec"},
    {nullptr, "hex"},
    {"document-print", "print"},
    {"accessories-calculator", "calculator"},
    {"internet-web-browser", "internet"},
    {"list-add", "add"},
    {"list-remove", "delete"},
    {"view-sort-ascending", "sort"},
    {"document-save", "save"},
    {nullptr, "prev"},
    {nullptr, "next"},
    {nullptr, "prev-disabled"},
    {nullptr, "next-disabled"},
    {"go-up", "moveup"},
    {"go-down", "movedown"},
    {"folder-open", "folder"},
    {"media-playback-start", "start"},
    {"media-playback-stop", "stop"},
    {"mail-send", "support"},
    // The marks of findings are ours: a theme's dialog icons differ in size and meaning.
    {nullptr, "error"},
    {nullptr, "warning"},
    {nullptr, "note"},
}};

} // namespace

// Outside any namespace, as Q_INIT_RESOURCE requires. The icons live in a
// static library, whose resource initialiser the linker would otherwise drop.
static void loadResources()
{
    static const bool loaded = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)loaded;
}

QString ImageResource(TImage index)
{
    if (index < 0 || index >= ImgCount)
        return {};
    loadResources();
    return QStringLiteral(":/icons/%1.svg").arg(QLatin1String(kSources[static_cast<std::size_t>(index)].resource));
}

QIcon ImageList1(TImage index)
{
    static std::array<QIcon, ImgCount> cache;
    if (index < 0 || index >= ImgCount)
        return {};
    QIcon& icon = cache[static_cast<std::size_t>(index)];
    if (icon.isNull()) {
        const TImageSource& source = kSources[static_cast<std::size_t>(index)];
        const QIcon ours(ImageResource(index));
        icon = source.themeName ? QIcon::fromTheme(QLatin1String(source.themeName), ours) : ours;
    }
    return icon;
}

QIcon ProgramIcon()
{
    loadResources();
    static const QIcon icon(QStringLiteral(":/icons/program.svg"));
    return icon;
}

#include "ui/filemap.h"

#include "check/tagrules.h"
#include "tagnames/directorytags.h"
#include "ui/uiscale.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <numeric>

namespace {

// Overlap pairs drawn; a hostile file may have millions, whose ranges the
// first of them already cover in the main.
constexpr std::size_t kOverlapsDrawn = 100000;

/// Lower comes first: a column shows the most telling part that falls on it.
int priority(TPartKind kind)
{
    switch (kind) {
    case TPartKind::Header:
        return 0;
    case TPartKind::Directory:
        return 1;
    case TPartKind::Value:
        return 2;
    case TPartKind::StripData:
    case TPartKind::TileData:
        return 3;
    case TPartKind::Gap:
        break;
    }
    return 4;
}
constexpr int kPriorities = 5;

QColor colour(TPartKind kind)
{
    switch (kind) {
    case TPartKind::Header:
        return {0x30, 0x30, 0x30};
    case TPartKind::Directory:
        return {0x1f, 0x5f, 0xb4};
    case TPartKind::Value:
        return {0x3c, 0xa0, 0x5a};
    case TPartKind::StripData:
        return {0xc8, 0xb0, 0x7c};
    case TPartKind::TileData:
        return {0x9c, 0x86, 0xc4};
    case TPartKind::Gap:
        break;
    }
    return {0xe2, 0xe2, 0xe2};
}
const QColor kOverlapColour(0xe5, 0x30, 0x1c);

/// The pixel columns [first, last) that the bytes of range fall on, in a map
/// of width columns over a file of size bytes: at least one.
std::pair<int, int> columnsOf(TByteRange range, std::uint64_t size, int width)
{
    using Wide = unsigned __int128; // a position times a width may not fit 64 bits
    const auto first = static_cast<int>(std::min<Wide>(Wide(range.Start) * width / size, width - 1));
    const auto last = static_cast<int>(std::min<Wide>((Wide(range.End) * width + size - 1) / size, width));
    return {first, std::max(last, first + 1)};
}

/// Gives each column of [first, last) not yet taken to id. next[x] leads to
/// the first column at or after x that is free, so every column is taken once
/// however many ranges cover it.
void claim(std::vector<int>& next, std::vector<int>& columns, int first, int last, int id)
{
    const auto find = [&next](int x) {
        int root = x;
        while (next[static_cast<std::size_t>(root)] != root)
            root = next[static_cast<std::size_t>(root)];
        while (next[static_cast<std::size_t>(x)] != root)
            x = std::exchange(next[static_cast<std::size_t>(x)], root);
        return root;
    };
    for (int x = find(first); x < last; x = find(x)) {
        columns[static_cast<std::size_t>(x)] = id;
        next[static_cast<std::size_t>(x)] = x + 1;
    }
}

std::vector<int> freeColumns(int width)
{
    std::vector<int> next(static_cast<std::size_t>(width) + 1);
    std::iota(next.begin(), next.end(), 0);
    return next;
}

/// A tag by the name the findings give it: the full name for the tags of an
/// image, the dictionary's otherwise, without a maker's mark after blanks.
QString tagName(TDirectoryKind kind, std::uint16_t tag)
{
    const bool image = kind == TDirectoryKind::Page || kind == TDirectoryKind::SubIfd;
    const TTagRule* rule = image ? findTagRule(tag) : nullptr;
    const std::string_view name = rule ? rule->Name : directoryTagName(kind, tag);
    if (name == UnknownTagName)
        return QStringLiteral("tag %1").arg(tag);
    const std::string_view bare = name.substr(0, name.find("  "));
    return QString::fromUtf8(bare.data(), static_cast<qsizetype>(bare.size())).trimmed();
}

} // namespace

TFileMap::TFileMap(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FileMap"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setVisible(false);
}

QSize TFileMap::sizeHint() const
{
    return {Scaled(200), Scaled(18)};
}

QSize TFileMap::minimumSizeHint() const
{
    return {Scaled(20), Scaled(18)};
}

void TFileMap::SetFile(const TTiffFile* file, const TCheckReport* report)
{
    m_file = report ? file : nullptr;
    m_report = file ? report : nullptr;
    m_overlaps.clear();
    if (m_report)
        m_overlaps = findOverlaps(m_report->Layout, kOverlapsDrawn).Pairs;
    m_columnsWidth = -1;
    setVisible(m_report && m_file->Stamp.Size > 0);
    update();
}

void TFileMap::layoutColumns() const
{
    const int width = bar().width();
    if (m_columnsWidth == width)
        return;
    m_columnsWidth = width;
    m_columnPart.assign(static_cast<std::size_t>(std::max(width, 0)), -1);
    m_columnOverlap.assign(m_columnPart.size(), -1);
    if (!m_report || width <= 0 || m_file->Stamp.Size == 0)
        return;
    const std::uint64_t size = m_file->Stamp.Size;
    const std::vector<TPart>& parts = m_report->Layout;
    std::vector<int> next = freeColumns(width);
    for (int level = 0; level < kPriorities; ++level)
        for (std::size_t i = 0; i < parts.size(); ++i)
            if (priority(parts[i].Kind) == level) {
                const auto [first, last] = columnsOf(parts[i].Range, size, width);
                claim(next, m_columnPart, first, last, static_cast<int>(i));
            }
    next = freeColumns(width);
    for (std::size_t i = 0; i < m_overlaps.size(); ++i) {
        const auto [first, last] = columnsOf(m_overlaps[i].Common, size, width);
        claim(next, m_columnOverlap, first, last, static_cast<int>(i));
    }
}

QRect TFileMap::bar() const
{
    // Inside a frame of a pixel: a part at either end of the file keeps its column.
    return rect().adjusted(1, 1, -1, -1);
}

int TFileMap::PartAt(int x) const
{
    layoutColumns();
    const int column = x - bar().left();
    return column >= 0 && static_cast<std::size_t>(column) < m_columnPart.size()
               ? m_columnPart[static_cast<std::size_t>(column)]
               : -1;
}

QString TFileMap::directoryName(int directory) const
{
    const TDirectory& dir = m_file->Directories[static_cast<std::size_t>(directory)];
    return dir.Kind == TDirectoryKind::Page ? QStringLiteral("page %1").arg(dir.Page + 1)
                                            : QString::fromStdString(dir.Id);
}

QString TFileMap::partName(const TPart& part) const
{
    switch (part.Kind) {
    case TPartKind::Header:
        return QStringLiteral("header");
    case TPartKind::Directory: {
        const TDirectory& dir = m_file->Directories[static_cast<std::size_t>(part.Directory)];
        if (dir.Kind == TDirectoryKind::Page)
            return QStringLiteral("Page %1 directory").arg(dir.Page + 1);
        const std::string_view kind = directoryKindName(dir.Kind);
        return QStringLiteral("%1 directory %2")
            .arg(QString::fromUtf8(kind.data(), static_cast<qsizetype>(kind.size())), QString::fromStdString(dir.Id));
    }
    case TPartKind::Value: {
        const TDirectory& dir = m_file->Directories[static_cast<std::size_t>(part.Directory)];
        return QStringLiteral("%1 value of %2")
            .arg(tagName(dir.Kind, dir.Entries[static_cast<std::size_t>(part.Entry)].Tag),
                 directoryName(part.Directory));
    }
    case TPartKind::StripData:
    case TPartKind::TileData:
        return QStringLiteral("%1 %2 of %3")
            .arg(part.Kind == TPartKind::StripData ? QStringLiteral("strip") : QStringLiteral("tile"))
            .arg(part.Item + 1)
            .arg(directoryName(part.Directory));
    case TPartKind::Gap:
        break;
    }
    return QStringLiteral("gap");
}

QString TFileMap::PartText(const TPart& part) const
{
    const std::uint64_t bytes = part.Range.End - part.Range.Start;
    if (part.Kind == TPartKind::Gap)
        return QStringLiteral("gap of %1 bytes at %2").arg(bytes).arg(part.Range.Start);
    return QStringLiteral("%1, %2 bytes at %3").arg(partName(part)).arg(bytes).arg(part.Range.Start);
}

QString TFileMap::TextAt(int x) const
{
    const int part = PartAt(x);
    if (part < 0)
        return {};
    QString text = PartText(m_report->Layout[static_cast<std::size_t>(part)]);
    if (const int overlap = m_columnOverlap[static_cast<std::size_t>(x - bar().left())]; overlap >= 0) {
        const TOverlapPair& pair = m_overlaps[static_cast<std::size_t>(overlap)];
        text += QStringLiteral("\noverlap: %1 and %2, %3 bytes at %4")
                    .arg(partName(m_report->Layout[pair.First]), partName(m_report->Layout[pair.Second]))
                    .arg(pair.Common.End - pair.Common.Start)
                    .arg(pair.Common.Start);
    }
    return text;
}

bool TFileMap::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = TextAt(help->pos().x());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

void TFileMap::paintEvent(QPaintEvent*)
{
    layoutColumns();
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    if (!m_report)
        return;
    const QRect area = bar();
    // Runs of columns of one colour are one rectangle.
    const auto drawRuns = [&](const std::vector<int>& columns, auto colourOf) {
        for (std::size_t x = 0; x < columns.size();) {
            std::size_t end = x + 1;
            const QColor c = colourOf(columns[x]);
            while (end < columns.size() && colourOf(columns[end]) == c)
                ++end;
            if (c.isValid())
                p.fillRect(
                    QRect(area.left() + static_cast<int>(x), area.top(), static_cast<int>(end - x), area.height()), c);
            x = end;
        }
    };
    const std::vector<TPart>& parts = m_report->Layout;
    drawRuns(m_columnPart,
             [&](int part) { return part < 0 ? QColor() : colour(parts[static_cast<std::size_t>(part)].Kind); });
    drawRuns(m_columnOverlap, [](int overlap) { return overlap < 0 ? QColor() : kOverlapColour; });
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TFileMap::mouseReleaseEvent(QMouseEvent* event)
{
    const int part = event->button() == Qt::LeftButton ? PartAt(event->position().toPoint().x()) : -1;
    if (part < 0)
        return;
    const TPart& chosen = m_report->Layout[static_cast<std::size_t>(part)];
    if (chosen.Kind != TPartKind::Gap)
        emit partClicked(chosen.Directory, chosen.Entry);
}

#pragma once

#include "check/checker.h"

#include <QWidget>

#include <vector>

class TTiffFile;

/// A map of the file under the listing: a bar that draws its bytes from 0 to
/// its size, left to right. The header, directories, out-of-line values and
/// strip or tile data each have a colour, unused gaps are light grey, and
/// bytes that two parts claim are drawn over them in a warning colour, so a
/// broken layout shows at a glance. Hovering names the part under the
/// pointer; a click asks for its row.
///
/// A pixel column shows one part: the most telling of those that fall on it
/// (header, then directories, values, data, gaps), so the smallest directory
/// keeps a column of its own and a million parts cost one pass each.
class TFileMap : public QWidget {
    Q_OBJECT
public:
    explicit TFileMap(QWidget* parent = nullptr);

    /// Draws report's layout of file; nullptr for either: nothing, and the
    /// map hides. Both must stay alive until the next call.
    void SetFile(const TTiffFile* file, const TCheckReport* report);
    /// The part drawn at x, an index in the report's Layout; -1 for none.
    int PartAt(int x) const;
    /// What hovering at x says: the part, and the overlap drawn there.
    QString TextAt(int x) const;
    /// A part with its size and place: "Page 2 directory, 126 bytes at 1234".
    QString PartText(const TPart& part) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    /// A part was clicked: its directory (an index in Directories, -1 for the
    /// header) and entry (-1 for none).
    void partClicked(int directory, int entry);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    /// A part by what it is: "StripOffsets value of page 1", "strip 3 of page 1".
    QString partName(const TPart& part) const;
    QString directoryName(int directory) const;
    /// Where the columns are drawn.
    QRect bar() const;
    /// Which part and which overlap each pixel column shows, for the present width.
    void layoutColumns() const;

    const TTiffFile* m_file = nullptr;
    const TCheckReport* m_report = nullptr;
    std::vector<TOverlapPair> m_overlaps;
    mutable int m_columnsWidth = -1;
    mutable std::vector<int> m_columnPart;    ///< index in Layout, -1 for none
    mutable std::vector<int> m_columnOverlap; ///< index in m_overlaps, -1 for none
};

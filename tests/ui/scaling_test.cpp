// Nothing the window writes is cut, at the default font and at a larger one
// (as a desktop set to a larger font or a higher font DPI gives): each text
// is measured against the room its control has.
#include "support/tempdir.h"
#include "support/tiffbuilder.h"
#include "ui/batchtab.h"
#include "ui/editdlg.h"
#include "ui/elidedlabel.h"
#include "ui/listingdelegate.h"
#include "ui/main.h"
#include "ui/taglistmodel.h"
#include "uitest.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetricsF>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTreeView>

namespace {

/// Sets the application's font for one test, as a desktop font setting would.
class ApplicationFont {
public:
    explicit ApplicationFont(qreal pointSize) : m_saved(QApplication::font())
    {
        QFont f = m_saved;
        f.setPointSizeF(pointSize);
        QApplication::setFont(f);
    }
    ~ApplicationFont() { QApplication::setFont(m_saved); }
    ApplicationFont(const ApplicationFont&) = delete;
    ApplicationFont& operator=(const ApplicationFont&) = delete;

private:
    QFont m_saved;
};

int advance(const QWidget* w, const QString& text)
{
    return w->fontMetrics().horizontalAdvance(text);
}

/// Fonts as a factor of the platform's default.
class ScalingTest : public ::testing::TestWithParam<qreal> {
protected:
    ScalingTest() : font(QApplication::font().pointSizeF() * GetParam()) {}

    ApplicationFont font;
    TempDir dir;
    MessageRecorder recorder;

    /// A file under a long path, so that the file name panel must shorten it.
    QString file()
    {
        TiffBuilder b;
        const auto res = b.Rational(72, 1);
        b.Page({TestEntry::Short(256, 65535), TestEntry::Short(257, 65535), TestEntry::At(282, tRational, 1, res),
                TestEntry::At(283, tRational, 1, res)});
        for (int i = 0; i < 11; ++i)
            b.Page({TestEntry::Short(256, 1)});
        return QString::fromStdString(dir.Write("WWW long folder name/another one/MMMM scan.tif", b.Build()));
    }
};

} // namespace

TEST_P(ScalingTest, StatusPanelsShowTheirWholeText)
{
    TForm1 form({file()});
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    for (int i = 0; i < 3; ++i) {
        const auto* panel = form.findChild<TElidedLabel*>(QStringLiteral("StatusBar1Panel%1").arg(i));
        ASSERT_NE(panel, nullptr);
        EXPECT_FALSE(panel->text().isEmpty());
        EXPECT_GE(panel->contentsRect().width(), advance(panel, panel->text())) << panel->text().toStdString();
        EXPECT_EQ(panel->ShownText(), panel->text());
    }
    EXPECT_TRUE(form.StatusText(2).startsWith("Width: 23119"));

    // Given less room than it asks for, a panel shortens its text in the middle.
    auto* name = form.findChild<TElidedLabel*>(QStringLiteral("StatusBar1Panel0"));
    form.statusBar()->layout()->removeWidget(name);
    name->resize(name->NeededWidth() / 2, name->height());
    EXPECT_EQ(name->text(), form.StatusText(0));
    EXPECT_TRUE(name->ShownText().contains(QChar(0x2026))) << name->ShownText().toStdString();
    EXPECT_TRUE(name->ShownText().endsWith("scan.tif"));
    EXPECT_LE(advance(name, name->ShownText()), name->contentsRect().width());
}

TEST_P(ScalingTest, FilenameLabelOfTheListingHasItsRoom)
{
    TForm1 form({file()});
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const auto* delegate = qobject_cast<TListingDelegate*>(form.ListView1->itemDelegate());
    ASSERT_NE(delegate, nullptr);
    // Row 0's "Filename" stands in Tag nr, with nothing to its left: it may run on over it.
    const QModelIndex label = form.ListModel->index(0, 2);
    ASSERT_EQ(label.data().toString(), "Filename");
    const double text = QFontMetricsF(form.ListView1->font()).horizontalAdvance("Filename");
    EXPECT_GE(delegate->TextRoom(label).width(), text + delegate->TextMargins());
    // Drawn there whole: the ink spans the whole word, not an elided "Filena...".
    const QRect room = delegate->TextRoom(label);
    const QImage shot = form.ListView1->viewport()->grab().toImage();
    int first = -1, last = -1;
    for (int x = room.left(); x <= room.right(); ++x)
        for (int y = room.top(); y <= room.bottom(); ++y)
            if (qGray(shot.pixel(x, y)) < 128) {
                first = first < 0 ? x : first;
                last = x;
            }
    ASSERT_GE(first, 0);
    const double ink = QFontMetricsF(form.ListView1->font()).tightBoundingRect("Filename").width();
    // Less a pixel or so at each end, where anti-aliasing leaves the edges light.
    EXPECT_GE(last - first + 1, ink - 3) << "from " << first << " to " << last;
    // A cell with a neighbour keeps to its own column.
    const QModelIndex tagPos = form.ListModel->index(5, 1);
    EXPECT_EQ(delegate->TextRoom(tagPos), form.ListView1->visualRect(tagPos));
}

TEST_P(ScalingTest, EditorNoteStandsWholeInItsPanel)
{
    QWidget owner;
    TEditForm d(&owner);
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    const int noteRight = d.Label2->x() + advance(d.Label2, d.Label2->text());
    EXPECT_LE(noteRight, d.Panel2->contentsRect().right()) << d.Panel2->width();
    EXPECT_LE(d.Panel2->geometry().right(), d.width());
    EXPECT_EQ(d.Panel1->width(), d.Panel2->width());
    EXPECT_LE(d.BitBtn2->geometry().right(), d.Panel1->width());
}

TEST_P(ScalingTest, BatchTabControlsAreNotCut)
{
    TForm1 form;
    form.PageControl1->setCurrentWidget(form.TabSheetBatch);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    // At the smallest size the window allows, too.
    for (const QSize size : {form.size(), form.minimumSizeHint()}) {
        form.resize(size);
        QApplication::processEvents();
        int checked = 0;
        for (const QAbstractButton* b : form.BatchTab->findChildren<QAbstractButton*>()) {
            if (!b->isVisible())
                continue;
            EXPECT_GE(b->width(), b->sizeHint().width()) << b->objectName().toStdString();
            ++checked;
        }
        for (const QLabel* l : form.BatchTab->findChildren<QLabel*>()) {
            if (!l->isVisible() || qobject_cast<const TElidedLabel*>(l))
                continue;
            EXPECT_GE(l->contentsRect().width(), advance(l, l->text())) << l->text().toStdString();
            ++checked;
        }
        for (const QGroupBox* g : form.BatchTab->findChildren<QGroupBox*>())
            EXPECT_GE(g->width(), advance(g, g->title())) << g->title().toStdString();
        EXPECT_GE(checked, 20);
    }
}

// A desktop font of the designed 8 points, the default, and one half as large again.
INSTANTIATE_TEST_SUITE_P(Fonts, ScalingTest, ::testing::Values(8.0 / 9, 1.0, 1.5), [](const auto& info) {
    return info.param > 1 ? "Larger" : info.param < 1 ? "Designed" : "Default";
});

TEST(WindowSize, FitsASmallScreen)
{
    // 1366 x 768 less a title bar and a desktop panel; at a scale factor of 2
    // the same logical size fits 2732 x 1536.
    TForm1 form;
    const QSize least = form.minimumSizeHint().expandedTo(form.minimumSize());
    EXPECT_LE(least.width(), 1366);
    EXPECT_LE(least.height(), 768 - 80);
    EXPECT_LE(form.width(), 1366);
    EXPECT_LE(form.height(), 768 - 80);
}

TEST(Columns, KeepTheirDesignedWidthsAndNarrowToNothing)
{
    ApplicationFont larger(QApplication::font().pointSizeF() * 1.5);
    TForm1 form;
    for (int c = 0; c < TTagListModel::ColumnCount; ++c)
        EXPECT_EQ(form.ListView1->header()->sectionSize(c), TTagListModel::Widths[static_cast<std::size_t>(c)]);
    form.ListView1->header()->resizeSection(3, 0);
    EXPECT_EQ(form.ListView1->header()->sectionSize(3), 0);
    EXPECT_EQ(form.ReportSource().ColumnWidths[3], 0);
}

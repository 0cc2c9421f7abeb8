// Nothing the window writes is cut, at the designed 8-point font, the
// default one and a larger one (as a desktop font setting gives): each text
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
#include <QHeaderView>
#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

namespace {

int advance(const QWidget* w, const QString& text)
{
    return w->fontMetrics().horizontalAdvance(text);
}

/// The application's font as a factor of the default, for one test.
class ScalingTest : public ::testing::TestWithParam<qreal> {
protected:
    ScalingTest()
    {
        QFont f = m_saved;
        f.setPointSizeF(f.pointSizeF() * GetParam());
        QApplication::setFont(f);
    }
    ~ScalingTest() override { QApplication::setFont(m_saved); }

    /// A shown window on a file under a long path.
    std::unique_ptr<TForm1> window()
    {
        TiffBuilder b;
        b.Page({TestEntry::Short(256, 65535), TestEntry::At(282, tRational, 1, b.Rational(72, 1))});
        b.Page({});
        auto form = std::make_unique<TForm1>(
            QStringList{QString::fromStdString(dir.Write("WWW long folder/another one/MMMM scan.tif", b.Build()))});
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        return form;
    }

    QFont m_saved = QApplication::font();
    TempDir dir;
    MessageRecorder recorder;
};

} // namespace

TEST_P(ScalingTest, StatusPanelsAndTheFilenameLabelShowTheirWholeText)
{
    auto form = window();
    for (int i = 0; i < 3; ++i) {
        const auto* panel = form->findChild<TElidedLabel*>(QStringLiteral("StatusBar1Panel%1").arg(i));
        ASSERT_NE(panel, nullptr);
        EXPECT_GE(panel->contentsRect().width(), advance(panel, panel->text())) << panel->text().toStdString();
        EXPECT_EQ(panel->ShownText(), panel->text());
    }

    // Row 0's "Filename" runs on over the empty cells left of its narrow column, and is drawn whole.
    const auto* delegate = qobject_cast<TListingDelegate*>(form->ListView1->itemDelegate());
    ASSERT_NE(delegate, nullptr);
    const QModelIndex label = form->ListModel->index(0, 2);
    const QFontMetricsF metrics(form->ListView1->font());
    const QRect room = delegate->TextRoom(label);
    EXPECT_GE(room.width(), metrics.horizontalAdvance("Filename") + delegate->TextMargins());
    const QImage shot = form->ListView1->viewport()->grab().toImage();
    int first = -1, last = -1;
    for (int x = room.left(); x <= room.right(); ++x)
        for (int y = room.top(); y <= room.bottom(); ++y)
            if (qGray(shot.pixel(x, y)) < 128) {
                first = first < 0 ? x : first;
                last = x;
            }
    // Less a pixel or so at each end, where anti-aliasing leaves the edges light.
    EXPECT_GE(last - first + 1, metrics.tightBoundingRect("Filename").width() - 3) << first << " to " << last;
    const QModelIndex tagPos = form->ListModel->index(5, 1); // a cell with a neighbour keeps to its column
    EXPECT_EQ(delegate->TextRoom(tagPos), form->ListView1->visualRect(tagPos));
}

TEST_P(ScalingTest, EditorNoteAndBatchControlsAreNotCut)
{
    QWidget owner;
    TEditForm d(&owner);
    EXPECT_LE(d.Label2->x() + advance(d.Label2, d.Label2->text()), d.Panel2->contentsRect().right());
    EXPECT_LE(d.Panel2->geometry().right(), d.width());
    EXPECT_EQ(d.Panel1->width(), d.Panel2->width());

    auto form = window();
    form->PageControl1->setCurrentWidget(form->TabSheetBatch);
    for (const QSize size : {form->size(), form->minimumSizeHint()}) { // also as small as the window goes
        form->resize(size);
        QApplication::processEvents();
        int checked = 0;
        for (const QAbstractButton* b : form->BatchTab->findChildren<QAbstractButton*>())
            if (b->isVisible() && ++checked) {
                EXPECT_GE(b->width(), b->sizeHint().width()) << b->objectName().toStdString();
            }
        for (const QLabel* l : form->BatchTab->findChildren<QLabel*>())
            if (l->isVisible() && !qobject_cast<const TElidedLabel*>(l) && ++checked) {
                EXPECT_GE(l->contentsRect().width(), advance(l, l->text())) << l->text().toStdString();
            }
        EXPECT_GE(checked, 20);
    }
}

// The designed 8 points, the default, and half as large again.
INSTANTIATE_TEST_SUITE_P(Fonts, ScalingTest, ::testing::Values(8.0 / 9, 1.0, 1.5), [](const auto& info) {
    return info.param > 1 ? "Larger" : info.param < 1 ? "Designed" : "Default";
});

TEST(ElidedLabel, ShortensAPathInTheMiddleOnlyWhenSqueezed)
{
    TElidedLabel label(QStringLiteral("/home/ann/scans/2024/letters/page 1.tif"), nullptr, 50);
    label.resize(label.sizeHint());
    EXPECT_EQ(label.ShownText(), label.text());
    label.resize(label.NeededWidth() / 2, label.height());
    EXPECT_TRUE(label.ShownText().startsWith("/home")) << label.ShownText().toStdString();
    EXPECT_TRUE(label.ShownText().endsWith("1.tif"));
    EXPECT_TRUE(label.ShownText().contains(QChar(0x2026)));
    EXPECT_LE(advance(&label, label.ShownText()), label.contentsRect().width());
}

TEST(WindowSize, FitsASmallScreenAndColumnsNarrowToNothing)
{
    // 1366 x 768 less a title bar and a desktop panel; at a scale factor of 2
    // the same logical size fits 2732 x 1536.
    TForm1 form;
    const QSize least = form.minimumSizeHint().expandedTo(form.minimumSize());
    EXPECT_LE(least.width(), 1366);
    EXPECT_LE(least.height(), 768 - 80);
    // Columns keep their designed widths, which the report follows, down to nothing.
    for (int c = 0; c < TTagListModel::ColumnCount; ++c)
        EXPECT_EQ(form.ListView1->header()->sectionSize(c), TTagListModel::Widths[static_cast<std::size_t>(c)]);
    form.ListView1->header()->resizeSection(3, 0);
    EXPECT_EQ(form.ReportSource().ColumnWidths[3], 0);
}

// The window at the scale factor QT_SCALE_FACTOR gives (one CTest entry per
// factor): the whole sheet fits the grid's viewport, every sheet character is
// inked at device resolution, and the intro label's text fits its rectangle.
#include "engine/random_source.h"
#include "engine/temp.h"
#include "ui/form1.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(Scaling, SheetAndIntroFitAndEveryGlyphIsInked) {
    temp::TwisterSource source(7);
    temp::SetRandomSource(&source);
    temp::ResetState();
    Form1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const qreal scale = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble();
    EXPECT_EQ(form.devicePixelRatio(), scale);

    // The intro label: one line whose advance fits, and no ink on its edges
    // at device resolution (ink there would be a cut-off stroke).
    QLabel &label = *form.Label2;
    const QFontMetricsF metrics(label.font());
    EXPECT_LE(metrics.horizontalAdvance(label.text()), label.contentsRect().width());
    EXPECT_LE(metrics.height(), label.contentsRect().height());
    const QImage intro = label.grab().toImage();
    int inkLeft = 0, inkRight = 0, ink = 0;
    for (int y = 0; y < intro.height(); ++y) {
        for (int x = 0; x < intro.width(); ++x)
            ink += qGray(intro.pixel(x, y)) < 128;
        inkLeft += qGray(intro.pixel(0, y)) < 160;
        inkRight += qGray(intro.pixel(intro.width() - 1, y)) < 160;
    }
    EXPECT_GT(ink, 200 * scale * scale);
    EXPECT_EQ(inkLeft, 0);
    EXPECT_EQ(inkRight, 0);

    QTest::mouseClick(form.Command2, Qt::LeftButton);
    qelvara::SheetGrid &grid = *form.MSHFlexGrid1;
    const QRect viewport = grid.viewport()->rect();
    const QImage image = grid.viewport()->grab().toImage();
    ASSERT_EQ(image.width(), qRound(viewport.width() * scale));
    for (int i = 0; i < 100; ++i) {
        const QRect cell = grid.visualRect(grid.model()->index(i / 20, i % 20));
        EXPECT_TRUE(viewport.contains(cell)) << "cell " << i;
        // Device pixels inside the grid lines.
        const QRect inside(
            QPoint(qCeil((cell.left() + 1) * scale), qCeil((cell.top() + 1) * scale)),
            QPoint(qFloor(cell.right() * scale) - 1, qFloor(cell.bottom() * scale) - 1));
        int dark = 0;
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            for (int x = inside.left(); x <= inside.right(); ++x)
                dark += qGray(image.pixel(x, y)) < 128;
        // A few hundred at scale 1; the glyph's area grows with the square.
        EXPECT_GT(dark, 20 * scale * scale) << "cell " << i;
    }
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

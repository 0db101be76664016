// What the window draws, under each CTest entry's fonts and scale factor: Han
// text in a Traditional Chinese face that has every bank character, every
// sheet character inked at device resolution and a typed one gone, the clock
// in red.
#include "engine/bank/bank.h"
#include "window_test.h"

#include <QFontDatabase>
#include <QRawFont>

// Pixels of the image inside r (device pixels) that are ink.
int Count(const QImage &image, const QRect &r, const std::function<bool(QRgb)> &ink) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += ink(image.pixel(x, y)) ? 1 : 0;
    return n;
}
// Ink darker than a level of grey.
const auto kDarker = [](int level) { return [level](QRgb p) { return qGray(p) < level; }; };
const qreal kScale = qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble();

using Screen = WindowTest;

TEST_F(Screen, HanTextIsTraditionalChineseWithAGlyphForEveryBankCharacter) {
    for (const QWidget *w :
         QWidgetList{form_.MSHFlexGrid1, form_.Text1, form_.Label2, form_.Command2}) {
        const QRawFont han = QRawFont::fromFont(w->font(), QFontDatabase::TraditionalChinese);
        const QString face = han.familyName();
        // A Simplified or Japanese face draws many characters in forms a
        // Taiwanese reader does not use.
        EXPECT_TRUE(face.contains(QRegularExpression("\\b(TC|TW|HK)\\b"))) << qPrintable(face);
        // A character the face lacks is drawn from another face, or as a box.
        QString missing;
        for (const std::u16string_view slot : temp::kBankData)
            missing += QString::fromUtf16(slot.data(), slot.size());
        missing.removeIf([&](QChar c) { return han.supportsCharacter(c); });
        EXPECT_EQ(missing, "") << qPrintable(w->objectName());
    }
}

// A white character leaves no dark or grey pixel in its cell, even as the
// current cell of a focused grid (which the user cannot focus, but a style
// would mark it); every black one is inked, where it was before the wheel
// turned.
TEST_F(Screen, EverySheetCharacterIsInkedATypedOneVanishesAndTheClockIsRed) {
    Start();
    Compose(form_.Text1, {}, Sheet(6));
    qelvara::SheetGrid &grid = *form_.MSHFlexGrid1;
    grid.setCurrentCell(0, 6), grid.setFocus();
    QWheelEvent wheel({9, 9}, {9, 9}, {}, {0, -480}, {}, {}, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(grid.viewport(), &wheel);
    const QImage image = grid.viewport()->grab().toImage();
    for (int i = 0; i < temp::kSheetSize; ++i) {
        const QRect cell = grid.visualItemRect(Cell(i));
        ASSERT_TRUE(grid.viewport()->rect().contains(cell)) << "cell " << i;
        const QRect device(QPoint(qCeil(cell.left() * kScale), qCeil(cell.top() * kScale)),
                           QPoint(qFloor((cell.right() + 1) * kScale) - 1,
                                  qFloor((cell.bottom() + 1) * kScale) - 1));
        // A few hundred at scale 1; the glyph's area grows with the square.
        const int ink = Count(image, device, kDarker(i == 6 ? 250 : 128));
        EXPECT_TRUE(i == 6 ? ink == 0 : ink > 20 * kScale * kScale) << "cell " << i << ": " << ink;
    }
    const QImage clock = form_.Label3->grab().toImage();
    const auto red = [](QRgb p) { return qGreen(p) < 100 && qBlue(p) < 100; };
    EXPECT_GT(Count(clock, clock.rect(), red), 20 * kScale * kScale);
    EXPECT_EQ(Count(clock, clock.rect(), [&](QRgb p) { return red(p) && qRed(p) < 200; }), 0);
}

// A style that marks a focused current cell with a dark frame.
void Prepare(QApplication *app) {
    if (app)
        QApplication::setStyle("Windows");
}

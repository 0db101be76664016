// The window's faces on the fonts fontconfig offers (one CTest entry with the
// machine's fonts, one with AR PL UMing as the only Chinese face): the face
// that draws Han text in the sheet, the typing box and the intro is one the
// program asks for and has a glyph for every bank character, and the intro
// label shows its whole line.
#include "engine/bank/bank.h"
#include "engine/temp.h"
#include "ui/form1.h"

#include <QApplication>
#include <QFontDatabase>
#include <QRawFont>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(Fonts, TheMingFaceDrawsEveryBankCharacterAndTheIntroIsWhole) {
    temp::ResetState();
    Form1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    for (const QWidget *w : QWidgetList{form.MSHFlexGrid1, form.Text1, form.Label2}) {
        const QRawFont han = QRawFont::fromFont(w->font(), QFontDatabase::TraditionalChinese);
        const QString face = han.familyName();
        std::printf("%s: %s\n", qPrintable(w->objectName()), qPrintable(face));
        // A substitute (the generic serif can be a Japanese or Simplified face)
        // would draw many characters in forms a Taiwanese reader does not use.
        EXPECT_TRUE(w->font().families().contains(face)) << qPrintable(face);
        // A character the face lacks is drawn from another face, or as a box.
        QString missing;
        for (const std::u16string_view slot : temp::kBankData)
            for (const char16_t c : slot)
                if (!han.supportsCharacter(QChar(c)))
                    missing += QChar(c);
        EXPECT_EQ(missing.toStdString(), "") << qPrintable(w->objectName());
    }

    // One line, as wide as its text, centred where it always was.
    const QLabel &label = *form.Label2;
    const int advance = QFontMetrics(label.font()).horizontalAdvance(label.text());
    std::printf("Label2: text %d px, label %d px\n", advance, label.width());
    EXPECT_LE(advance, label.contentsRect().width());
    EXPECT_NEAR(label.geometry().center().x(), (3840 + 2535 / 2) / 15, 1);
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

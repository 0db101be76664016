// The window as the user meets it: layout, intro, Start, the clock, the result
// box, the keyboard, closing and accessibility.
#include "fault_box.h"
#include "form_fixture.h"

#include <QAccessible>
#include <QFile>
#include <QFontInfo>
#include <QScreen>
#include <QScrollBar>

namespace uitest {
namespace {

TEST_F(FormTest, LayoutFontsAndGridGeometry) {
    Form1 &f = *form_;
    EXPECT_EQ(f.windowTitle(), "Qelvara v1.0");
    EXPECT_EQ(f.size(), QSize(681, 425));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_FALSE(f.windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
    for (const char *size : {"16x16", "32x32"})
        EXPECT_TRUE(QFile::exists(
            QStringLiteral(":/icons/hicolor/%1/apps/org.qelvara.Qelvara.png").arg(size)));
    EXPECT_FALSE(f.windowIcon().pixmap(32).isNull());
    EXPECT_EQ(f.MSHFlexGrid1->geometry(), QRect(8, 8, 665, 225));

    // The clock sits in the middle of the box the four lines draw.
    const QRect box(f.Line1->geometry().topLeft(), f.Line4->geometry().bottomRight());
    EXPECT_EQ(box, QRect(584, 256, 81, 41));
    EXPECT_EQ(f.Line3->geometry().bottom(), box.bottom());
    EXPECT_EQ(f.Line2->geometry().left(), box.left());
    EXPECT_LE((f.Label3->geometry().center() - box.center()).manhattanLength(), 1);
    EXPECT_EQ(f.Label3->alignment(), Qt::AlignCenter);
    EXPECT_EQ(f.Label3->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_TRUE(f.Label3->font().bold());

    // Traditional Chinese Ming and sans faces, not a Japanese fallback.
    for (QWidget *ming : {static_cast<QWidget *>(f.Text1), static_cast<QWidget *>(f.MSHFlexGrid1),
                          static_cast<QWidget *>(f.Label2)})
        EXPECT_EQ(QFontInfo(ming->font()).family(), "Noto Serif CJK TC")
            << ming->objectName().toStdString();
    for (QWidget *sans : {static_cast<QWidget *>(f.Command1), static_cast<QWidget *>(f.Command2),
                          static_cast<QWidget *>(f.Label3)})
        EXPECT_EQ(QFontInfo(sans->font()).family(), "Noto Sans CJK TC")
            << sans->objectName().toStdString();
    EXPECT_EQ(f.MSHFlexGrid1->font().pointSizeF(), 18.0);
    EXPECT_EQ(f.Text1->font().pointSizeF(), 12.0);

    // 20 columns of 493 twips (not clamped by the header) and five full rows
    // of one 18-point character, all inside the grid.
    qelvara::SheetGrid &grid = *f.MSHFlexGrid1;
    for (int c = 0; c < 20; ++c)
        EXPECT_EQ(grid.columnWidth(c), 33) << c;
    EXPECT_GE(grid.rowHeight(0), QFontMetrics(grid.font()).height());
    EXPECT_LE(5 * grid.rowHeight(0), grid.viewport()->height());
    EXPECT_LE(20 * 33, grid.viewport()->width());

    // Centred on the available screen area.
    const QRect screen = f.screen()->availableGeometry();
    EXPECT_LE((f.frameGeometry().center() - screen.center()).manhattanLength(), 2);
}

TEST_F(FormTest, IntroThenStartShowsTheSheet) {
    Form1 &f = *form_;
    auto visible = [&] {
        QStringList names;
        for (QWidget *w : f.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (w->isVisible())
                names << w->objectName();
        names.sort();
        return names.join(' ').toStdString();
    };
    EXPECT_EQ(visible(), "Command2 Label2 Text2");
    EXPECT_EQ(f.Text2->text(), "Text2");
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_TRUE(f.Text2->hasFocus());
    EXPECT_FALSE(f.Text2->hasSelectedText());
    EXPECT_EQ(f.Text2->cursorPosition(), 0);

    Start();
    EXPECT_EQ(visible(), "Command1 Label3 Line1 Line2 Line3 Line4 MSHFlexGrid1 Text1");
    ASSERT_EQ(temp::State.SheetText.size(), 100u);
    for (int k = 1; k <= 100; ++k) {
        EXPECT_EQ(Cell(k)->text(), SheetChar(k)) << k;
        EXPECT_EQ(Colour(k), QColor(Qt::black)) << k;
    }
    EXPECT_EQ(f.Label3->text(), "0:00");
    EXPECT_FALSE(f.Command1->isEnabled());
    EXPECT_TRUE(f.Timer1->isActive());
    EXPECT_TRUE(f.Text1->hasFocus());

    // The grid is display-only: a click or the wheel changes nothing.
    qelvara::SheetGrid &grid = *f.MSHFlexGrid1;
    f.Window().SelectCell(4, 2);
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualItemRect(Cell(100)).center());
    QWheelEvent wheel(QPointF(50, 50), grid.viewport()->mapToGlobal(QPointF(50, 50)), {},
                      QPoint(0, -480), Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(grid.viewport(), &wheel);
    EXPECT_EQ(grid.CurrentColumn(), 4);
    EXPECT_EQ(grid.CurrentRow(), 2);
    EXPECT_EQ(grid.verticalScrollBar()->value(), 0);
}

TEST_F(FormTest, KeyboardNeverEndsTheWindowOrClicksAButton) {
    Form1 &f = *form_;
    for (QPushButton *b : {f.Command1, f.Command2})
        EXPECT_FALSE(b->isDefault() || b->autoDefault());
    int clicks = 0;
    for (QPushButton *b : {f.Command1, f.Command2})
        QObject::connect(b, &QPushButton::clicked, [&] { ++clicks; });

    QTest::keyClick(f.Text2, Qt::Key_Return);
    QTest::keyClick(f.Text2, Qt::Key_Escape);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(clicks, 0);

    Start();
    clicks = 0;
    TypeKey(SheetChar(1));
    QTest::keyClick(f.Text1, Qt::Key_Return);
    QTest::keyClick(f.Text1, Qt::Key_Enter, Qt::KeypadModifier);
    TypeKey(SheetChar(2));
    EXPECT_EQ(f.Text1->toPlainText(), SheetChar(1) + "\n\n" + SheetChar(2));
    QTest::keyClick(f.Text1, Qt::Key_Escape);
    QTest::keyClick(&f, Qt::Key_Escape);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.result(), 0);
    EXPECT_EQ(clicks, 0);
}

TEST_F(FormTest, ClockEnablesFinishAndTenMinutesAskForANewTest) {
    Form1 &f = *form_;
    Start();
    Tick(59);
    EXPECT_EQ(f.Label3->text(), "0:59");
    EXPECT_FALSE(f.Command1->isEnabled());
    Tick(1);
    EXPECT_EQ(f.Label3->text(), "1:00");
    EXPECT_TRUE(f.Command1->isEnabled());

    Commit(SheetChar(1) + SheetChar(2) + SheetChar(3));
    const std::u16string first_sheet = temp::State.SheetText;
    bool asked = false;
    WhenBoxOpens([&](QMessageBox *box) {
        asked = true;
        EXPECT_EQ(box->text(), Q(temp::ResultText(3, static_cast<float>(3.0 / 600.0 * 60.0))));
        EXPECT_EQ(box->windowTitle(), "成績");
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
        EXPECT_EQ(box->button(QMessageBox::Yes)->text(), "是(&Y)");
        EXPECT_EQ(box->button(QMessageBox::No)->text(), "否(&N)");
        EXPECT_TRUE(box->windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_FALSE(f.Timer1->isActive());
        EXPECT_EQ(f.Label3->text(), "9:59");
        // No cancel: neither Escape nor closing answers it.
        QTest::keyClick(box, Qt::Key_Escape);
        box->close();
        EXPECT_TRUE(box->isVisible());
        box->button(QMessageBox::Yes)->click();
    });
    Tick(540);
    EXPECT_TRUE(asked);
    EXPECT_EQ(temp::State.TotalSeconds, 600);
    EXPECT_EQ(f.Label3->text(), "0:00");
    EXPECT_TRUE(f.Timer1->isActive());
    EXPECT_FALSE(f.Command1->isEnabled());
    EXPECT_TRUE(f.Text1->toPlainText().isEmpty());
    EXPECT_NE(temp::State.SheetText, first_sheet);
    // The window gets its activation back from the closed box a moment later.
    EXPECT_EQ(f.focusWidget(), f.Text1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.Text1->hasFocus(); }));
}

TEST_F(FormTest, FinishThenNoEndsTheProgramWithStatusZero) {
    EXPECT_EXIT(
        {
            Start();
            Tick(65);
            WhenBoxOpens([](QMessageBox *box) { box->button(QMessageBox::No)->click(); });
            QTest::mouseClick(form_->Command1, Qt::LeftButton);
            std::fprintf(stderr, "FinishTest returned\n");
            std::exit(9);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(FormTest, FaultShowsACriticalBoxNamingIt) {
    EXPECT_EXIT(
        {
            qelvara::InstallFaultHandler();
            WhenBoxOpens([](QMessageBox *box) {
                std::fprintf(stderr, "icon %d: %s\n", static_cast<int>(box->icon()),
                             box->text().toUtf8().constData());
                box->button(QMessageBox::Ok)->click();
            });
            form_->Window().SelectCell(20, 0);
        },
        ::testing::ExitedWithCode(temp::kFaultExitStatus), "icon 3: .*Subscript out of range");
}

TEST_F(FormTest, ClosingTheWindowEndsItsModalRun) {
    form_.reset();
    Form1 form;
    QTimer::singleShot(0, &form, [&] {
        QTest::keyClick(&form, Qt::Key_Escape);
        EXPECT_TRUE(form.isVisible());
        form.close();
    });
    form.exec();
    EXPECT_FALSE(form.isVisible());
}

TEST_F(FormTest, ControlsHaveChineseAccessibleNamesAndDescriptions) {
    Form1 &f = *form_;
    Start();
    const std::pair<QWidget *, const char *> expected[] = {
        {f.Command2, "確定"},
        {f.Command1, "完成"},
        {f.Text1, "打字區"},
        {f.Label3, "計時 0:00"},
        {f.MSHFlexGrid1, "字表"},
        {f.Text2, "文字框"},
        {f.Label2, "準備好沒有？按【確定】開始"}};
    for (const auto &[widget, name] : expected) {
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(QAccessible::Name), QString::fromUtf8(name));
        EXPECT_FALSE(a->text(QAccessible::Description).isEmpty()) << name;
    }
}

} // namespace
} // namespace uitest

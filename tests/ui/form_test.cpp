// The window as the user meets it, on a fixed sheet: the intro and Start, keys
// that must do nothing, the sheet's colours in the grid and on screen, what a
// screen reader hears, the typing box's limit, the clock and the result box,
// and faults.
#include "ui/fault_box.h"
#include "window_test.h"

#include <QAccessible>
#include <QClipboard>

using temp::kSheetColumns;
using temp::kTypingLimit;

class FormTest : public WindowTest {
protected:
    void Paste(const QString &text) {
        QApplication::clipboard()->setText(text);
        form_.Text1->paste();
    }
    QColor Ink(int i) const { return Cell(i)->foreground().color(); }
    QString Heard(QObject *o, QAccessible::Text t = QAccessible::Name) const {
        return QAccessible::queryAccessibleInterface(o)->text(t);
    }
};

TEST_F(FormTest, IntroShowsItsThreeControlsWithTheCaretAtTheStart) {
    const QWidgetList intro{form_.Label2, form_.Command2, form_.Text2};
    for (QWidget *w : form_.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        EXPECT_EQ(w->isVisible(), intro.contains(w)) << qPrintable(w->objectName());
    EXPECT_FALSE(form_.Timer1->isActive());
    // The small box takes the first focus without selecting its text.
    EXPECT_TRUE(form_.Text2->hasFocus());
    EXPECT_EQ(form_.Text2->selectedText(), "");
    EXPECT_EQ(form_.Text2->cursorPosition(), 0);
}

TEST_F(FormTest, StartShowsTheTestViewWithAFreshSheet) {
    Start();
    const QWidgetList intro{form_.Label2, form_.Command2, form_.Text2};
    for (QWidget *w : form_.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        EXPECT_NE(w->isVisible(), intro.contains(w)) << qPrintable(w->objectName());
    EXPECT_EQ(Shown(), Sheet());
    EXPECT_EQ(form_.Label3->text(), "0:00");
    EXPECT_FALSE(form_.Command1->isEnabled());
    EXPECT_TRUE(form_.Timer1->isActive());
    EXPECT_TRUE(form_.Text1->hasFocus());
}

// A white character leaves no dark pixel in its cell, even as the current cell
// of a focused grid (which the user cannot focus, but a style would mark it);
// a black one does, where it was before the wheel turned.
TEST_F(FormTest, ATypedCharacterVanishesFromTheScreen) {
    Start();
    TypeKey(Sheet(6));
    qelvara::SheetGrid &grid = *form_.MSHFlexGrid1;
    grid.setCurrentCell(0, 6);
    grid.setFocus();
    QWheelEvent wheel({9, 9}, {9, 9}, {}, {0, -480}, {}, {}, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(grid.viewport(), &wheel);
    auto dark = [&](int i) {
        const QImage im = grid.viewport()->grab(grid.visualItemRect(Cell(i))).toImage();
        int n = 0;
        for (int p = 0; p < im.width() * im.height(); ++p)
            n += qGray(im.pixel(p % im.width(), p / im.width())) < 128;
        return n;
    };
    EXPECT_EQ(dark(6), 0);
    EXPECT_GT(dark(19), 30);
}

TEST_F(FormTest, AScreenReaderHearsTheClockAndNotTheVanishedCharacters) {
    for (auto *w :
         QWidgetList{form_.Command2, form_.Command1, form_.Text1, form_.Label3, form_.MSHFlexGrid1})
        for (auto text : {QAccessible::Name, QAccessible::Description})
            EXPECT_NE(Heard(w, text), "") << qPrintable(w->objectName()) << ' ' << text;
    Start();
    Tick(5);
    EXPECT_EQ(Heard(form_.Label3), "計時 0:05");

    QAccessibleTableInterface *table =
        QAccessible::queryAccessibleInterface(form_.MSHFlexGrid1)->tableInterface();
    ASSERT_NE(table, nullptr);
    auto cell = [&] { return table->cellAt(0, 6)->text(QAccessible::Name); };
    EXPECT_EQ(cell(), Sheet(6));
    TypeKey(Sheet(6));
    EXPECT_EQ(cell(), "（已打）");
    QTest::keyClick(form_.Text1, Qt::Key_Backspace);
    EXPECT_EQ(cell(), Sheet(6));
}

TEST_F(FormTest, EveryRoadIntoTheTypingBoxStopsAtTheLimit) {
    Start();
    const QString a = Sheet(0), b = Sheet(1), astral = "\U00020000";
    Paste(a.repeated(150));
    EXPECT_EQ(Typed(), a.repeated(kTypingLimit));
    form_.Text1->selectAll();
    TypeKey(b);                      // what replaces a selection may use its room
    InputMethod(b, a.repeated(150)); // a cut commit keeps the composition
    EXPECT_EQ(Typed(), b + a.repeated(kTypingLimit - 1));
    EXPECT_TRUE(form_.Text1->HasComposition());
    form_.Window().SetTypingText(u"");
    for (int i = 0; i < 150; ++i)
        TypeKey(a);
    QTest::keyClick(form_.Text1, Qt::Key_Return);
    EXPECT_EQ(Typed(), a.repeated(kTypingLimit));

    // A surrogate pair is never split at the limit, on any road.
    form_.Window().SetTypingText(a.repeated(kTypingLimit - 1).toStdU16String());
    Paste(astral);
    TypeKey(astral);
    InputMethod({}, astral);
    EXPECT_EQ(Typed(), a.repeated(kTypingLimit - 1));

    // What a commit replaces before the cursor is room for it too.
    form_.Text1->moveCursor(QTextCursor::End);
    InputMethod({}, b + b, -1, 1);
    EXPECT_EQ(Typed(), a.repeated(kTypingLimit - 2) + b + b);

    // Undoing and redoing a cut paste only revisits states that kept the limit.
    form_.Window().SetTypingText(a.repeated(kTypingLimit - 1).toStdU16String());
    form_.Text1->moveCursor(QTextCursor::End);
    Paste(b.repeated(60));
    QTest::keyClick(form_.Text1, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Typed(), a.repeated(kTypingLimit - 1));
    QTest::keyClick(form_.Text1, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Typed(), a.repeated(kTypingLimit - 1) + b);
}

TEST_F(FormTest, TenMinutesAskForANewTestAndOnlyYesOrNoAnswers) {
    Start();
    TypeKey(Sheet(0));
    QTest::keyClick(form_.Text1, Qt::Key_Backspace); // the box ends empty
    WhenBoxOpens([&](QMessageBox *box) {
        EXPECT_EQ(box->text(), QString::fromStdU16String(temp::ResultText(0, 0.0F)));
        EXPECT_EQ(box->windowTitle(), "成績");
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
        // In the program's language, whatever the locale.
        EXPECT_EQ(box->button(QMessageBox::Yes)->text(), "是(&Y)");
        EXPECT_EQ(box->button(QMessageBox::No)->text(), "否(&N)");
        // No cancel: neither Escape nor closing answers it.
        QTest::keyClick(box, Qt::Key_Escape);
        box->close();
        EXPECT_TRUE(box->isVisible());
        box->button(QMessageBox::Yes)->click();
    });
    Tick(600);
    EXPECT_EQ(form_.Label3->text(), "0:00");
    EXPECT_TRUE(QTest::qWaitFor([&] { return form_.Text1->hasFocus(); }));
    // Undo does not bring back the last test's text.
    QTest::keyClick(form_.Text1, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Typed(), "");
}

TEST_F(FormTest, FinishThenNoEndsWithStatusZero) {
    EXPECT_EXIT(
        {
            Start();
            Tick(60); // Finish can be clicked from the first minute on
            WhenBoxOpens([](QMessageBox *box) { box->button(QMessageBox::No)->click(); });
            QTest::mouseClick(form_.Command1, Qt::LeftButton);
        },
        ::testing::ExitedWithCode(0), "");
}

// The state may be half-changed: no tick may reach it while the box is open.
TEST_F(FormTest, AFaultShowsABoxWithTheClockStopped) {
    EXPECT_EXIT(
        {
            Start();
            qelvara::InstallFaultHandler();
            WhenBoxOpens([this](QMessageBox *box) {
                std::fprintf(stderr, "box: %s; clock running: %d\n", qPrintable(box->text()),
                             form_.Timer1->isActive());
                box->button(QMessageBox::Ok)->click();
            });
            form_.Window().SelectCell(kSheetColumns, 0);
        },
        ::testing::ExitedWithCode(temp::kFaultExitStatus),
        "box: .*Subscript out of range.*; clock running: 0");
}

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Death tests re-run this binary instead of forking a process with Qt's threads.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QApplication app(argc, argv);
    // A style that marks a focused current cell with a dark frame.
    QApplication::setStyle("Windows");
    return RUN_ALL_TESTS();
}

// The window as the user meets it, on a fixed sheet: intro and Start, keys that
// must do nothing, the sheet's colours in the grid and on screen, what a screen
// reader hears, the typing box's 100-unit limit, the clock and the result box,
// and faults.
#include "engine/random_source.h"
#include "engine/temp.h"
#include "ui/fault_box.h"
#include "ui/form1.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

// Answers the modal message box that the next statement opens: its event loop
// is the first to run the timer.
template <typename Answer> static void WhenBoxOpens(Answer answer) {
    QTimer::singleShot(0, [answer] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            answer(box);
    });
}

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        temp::ResetState();
        temp::SetRandomSource(&source_);
        form_.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form_));
    }

    void Start() { QTest::mouseClick(form_.Command2, Qt::LeftButton); }
    void Tick(int n) {
        for (int i = 0; i < n; ++i)
            form_.Timer1_Timer();
    }

    // Sheet characters and cells count from 0, row by row.
    QString Sheet() const { return QString::fromStdU16String(temp::State.SheetText); }
    QTableWidgetItem *Cell(int i) const { return form_.MSHFlexGrid1->item(i / 20, i % 20); }
    QColor Ink(int i) const { return Cell(i)->foreground().color(); }
    // The sheet as the grid shows it: a black cell's character, "_" for a white one.
    QString Shown() const {
        QString shown;
        for (int i = 0; i < 100; ++i)
            shown += Ink(i) == Qt::black ? Cell(i)->text() : Ink(i) == Qt::white ? "_" : "?";
        return shown;
    }

    // A key carrying a Chinese character, as a layout or a simple input method sends it.
    void TypeKey(const QString &text) {
        QTest::sendKeyEvent(QTest::Click, form_.Text1, Qt::Key_unknown, text, Qt::NoModifier);
    }
    void InputMethod(const QString &preedit, const QString &commit = {}) {
        QInputMethodEvent event(preedit, {});
        event.setCommitString(commit);
        QCoreApplication::sendEvent(form_.Text1, &event);
    }
    void Paste(const QString &text) {
        QApplication::clipboard()->setText(text);
        form_.Text1->paste();
    }

    temp::TwisterSource source_{20240601};
    Form1 form_;
};

TEST_F(FormTest, IntroStartKeysColoursAndAccessibleNames) {
    const QWidgetList intro{form_.Label2, form_.Command2, form_.Text2};
    for (QWidget *w : form_.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        EXPECT_EQ(w->isVisible(), intro.contains(w)) << qPrintable(w->objectName());
    EXPECT_FALSE(form_.Timer1->isActive());
    Start();
    for (QWidget *w : form_.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        EXPECT_NE(w->isVisible(), intro.contains(w)) << qPrintable(w->objectName());
    EXPECT_EQ(Shown(), Sheet());
    EXPECT_EQ(form_.Label3->text(), "0:00");
    EXPECT_FALSE(form_.Command1->isEnabled());
    EXPECT_TRUE(form_.Timer1->isActive());
    EXPECT_TRUE(form_.Text1->hasFocus());
    // Traditional Chinese Ming and sans faces, not a Japanese or Hong Kong fallback.
    EXPECT_EQ(form_.MSHFlexGrid1->fontInfo().family(), "Noto Serif CJK TC");
    EXPECT_EQ(form_.Label3->fontInfo().family(), "Noto Sans CJK TC");

    // Neither key is the window's: Enter breaks the line, Escape does nothing.
    for (QPushButton *b : {form_.Command1, form_.Command2})
        EXPECT_FALSE(b->isDefault() || b->autoDefault());
    TypeKey(Sheet().mid(6, 1));
    QTest::keyClick(form_.Text1, Qt::Key_Return);
    QTest::keyClick(form_.Text1, Qt::Key_Escape);
    EXPECT_EQ(form_.Text1->toPlainText(), Sheet().mid(6, 1) + "\n");
    EXPECT_TRUE(form_.isVisible());

    // A composition changes neither the content nor any cell until it is
    // committed; Backspace takes back the last committed character.
    QSignalSpy changes(form_.Text1, &qelvara::TypingBox::contentChanged);
    InputMethod(Sheet().mid(50, 2));
    InputMethod({}, Sheet().mid(20, 1) + Sheet().mid(99, 1) + Sheet().mid(19, 1));
    EXPECT_EQ(changes.count(), 1);
    QTest::keyClick(form_.Text1, Qt::Key_Backspace);
    EXPECT_EQ(Shown(), Sheet().replace(6, 1, '_').replace(20, 1, '_').replace(99, 1, '_'));

    // On screen: a white character leaves no dark pixel in its cell, even as the
    // current cell of a focused grid (which the user cannot focus, but a style
    // would mark it); a black one does, where it was before the wheel turned.
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

    // What a screen reader says for each control the user meets.
    for (auto *w : QWidgetList{form_.Command2, form_.Command1, form_.Text1, form_.Label3, &grid})
        for (auto text : {QAccessible::Name, QAccessible::Description})
            EXPECT_NE(QAccessible::queryAccessibleInterface(w)->text(text), "") << text;
}

TEST_F(FormTest, EveryRoadIntoTheTypingBoxStopsAt100Units) {
    Start();
    const QString a = Sheet().mid(0, 1), b = Sheet().mid(1, 1), astral = "\U00020000";
    Paste(a.repeated(150));
    EXPECT_EQ(form_.Text1->toPlainText(), a.repeated(100));
    form_.Text1->selectAll();
    TypeKey(b);                      // what replaces a selection may use its room
    InputMethod(b, a.repeated(150)); // a cut commit keeps the composition
    EXPECT_EQ(form_.Text1->toPlainText(), b + a.repeated(99));
    EXPECT_TRUE(form_.Text1->HasComposition());
    form_.Window().SetTypingText(u"");
    for (int i = 0; i < 150; ++i)
        TypeKey(a);
    QTest::keyClick(form_.Text1, Qt::Key_Return);
    EXPECT_EQ(form_.Text1->toPlainText(), a.repeated(100));
    // A surrogate pair is never split at the limit, on any road.
    form_.Window().SetTypingText(a.repeated(99).toStdU16String());
    Paste(astral);
    TypeKey(astral);
    InputMethod({}, astral);
    EXPECT_EQ(form_.Text1->toPlainText(), a.repeated(99));

    // Undoing and redoing a cut paste only revisits states that kept the limit.
    Paste(b.repeated(60));
    QTest::keyClick(form_.Text1, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(form_.Text1->toPlainText(), a.repeated(99));
    QTest::keyClick(form_.Text1, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form_.Text1->toPlainText(), b + a.repeated(99));
}

TEST_F(FormTest, TenMinutesAskForANewTestAndOnlyYesOrNoAnswers) {
    Start();
    WhenBoxOpens([&](QMessageBox *box) {
        EXPECT_EQ(box->text(), QString::fromStdU16String(temp::ResultText(0, 0.0F)));
        EXPECT_EQ(box->windowTitle(), "成績");
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
        // No cancel: neither Escape nor closing answers it.
        QTest::keyClick(box, Qt::Key_Escape);
        box->close();
        EXPECT_TRUE(box->isVisible());
        box->button(QMessageBox::Yes)->click();
    });
    Tick(600);
    EXPECT_EQ(form_.Label3->text(), "0:00");
    EXPECT_TRUE(QTest::qWaitFor([&] { return form_.Text1->hasFocus(); }));
}

TEST_F(FormTest, FinishThenNoEndsWithStatusZeroAndAFaultShowsABox) {
    EXPECT_EXIT(
        {
            Start();
            Tick(60); // Finish can be clicked from the first minute on
            WhenBoxOpens([](QMessageBox *box) { box->button(QMessageBox::No)->click(); });
            QTest::mouseClick(form_.Command1, Qt::LeftButton);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            qelvara::InstallFaultHandler();
            WhenBoxOpens([](QMessageBox *box) {
                std::fprintf(stderr, "box: %s\n", qPrintable(box->text()));
                box->button(QMessageBox::Ok)->click();
            });
            form_.Window().SelectCell(20, 0);
        },
        ::testing::ExitedWithCode(temp::kFaultExitStatus), "box: .*Subscript out of range");
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

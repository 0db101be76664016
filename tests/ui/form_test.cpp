// The window as the user meets it, on a fixed sheet: the intro and Start, the
// roads into the typing box and its limit, keys, what a screen reader hears,
// the finish and the result box, and faults. This binary runs with -reverse
// and a Hebrew locale, so every test here also sees a right-to-left desktop.
#include "ui/fault_box.h"
#include "window_test.h"

#include <QAccessible>
#include <QClipboard>
#include <QMimeData>
#include <QRegularExpression>

#include <functional>
#include <vector>

using temp::kSheetColumns;
using temp::kTypingLimit;

class FormTest : public WindowTest {
protected:
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = {}) {
        QTest::keyClick(form_.Text1, key, mods);
    }
    QAccessibleInterface *Box() { return QAccessible::queryAccessibleInterface(form_.Text1); }

public: // a table of the roads takes their addresses
    // The roads into the typing box, each writing text at the caret.
    using WindowTest::TypeKey;
    void Enter(const QString &text) {
        for (qsizetype i = 0; i < text.size(); ++i)
            Key(Qt::Key_Return);
    }
    void Paste(const QString &text) {
        QApplication::clipboard()->setText(text);
        Key(Qt::Key_V, Qt::ControlModifier);
    }
    void Drop(const QString &text) {
        QMimeData data;
        data.setText(text);
        const QPoint at = form_.Text1->viewport()->rect().bottomRight();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(form_.Text1->viewport(), &enter);
        QCoreApplication::sendEvent(form_.Text1->viewport(), &drop);
    }
    void Commit(const QString &text) {
        InputMethod("字", text);
        EXPECT_EQ(form_.Text1->Composition(), QString("字")); // only the commit is cut
        InputMethod({});
    }
    void PasteUndoRedo(const QString &text) {
        Paste(text);
        Key(Qt::Key_Z, Qt::ControlModifier);
        Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    }
    void Accessible(const QString &text) { Box()->editableTextInterface()->insertText(999, text); }
};

TEST_F(FormTest, StartTurnsTheIntroIntoTheTestViewLeftToRight) {
    const QWidgetList intro{form_.Label2, form_.Command2, form_.Text2};
    const auto showsIntro = [&](bool shown) {
        for (QWidget *w : form_.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            EXPECT_EQ(w->isVisible(), intro.contains(w) == shown) << qPrintable(w->objectName());
    };
    showsIntro(true);
    EXPECT_FALSE(form_.Timer1->isActive());
    // The small box takes the first focus without selecting its text.
    EXPECT_TRUE(form_.Text2->hasFocus());
    EXPECT_EQ(form_.Text2->selectedText(), "");

    Start();
    showsIntro(false);
    EXPECT_EQ(Shown(), Sheet());
    EXPECT_EQ(form_.Label3->text(), "0:00");
    EXPECT_FALSE(form_.Command1->isEnabled());
    EXPECT_TRUE(form_.Timer1->isActive());
    EXPECT_TRUE(form_.Text1->hasFocus());
    // Sheet character 1 at the left edge, 20 to its right.
    const auto x = [&](int i) { return form_.MSHFlexGrid1->visualItemRect(Cell(i)).x(); };
    EXPECT_EQ(x(0), 0);
    EXPECT_LT(x(0), x(kSheetColumns - 1));
}

// Into a box with room for one unit, one unit of a long text fits, and no
// half of a surrogate pair.
TEST_F(FormTest, EveryRoadIntoTheTypingBoxStopsAtTheLimit) {
    Start();
    const QString a = Sheet(0), nearlyFull = a.repeated(kTypingLimit - 1);
    const struct {
        const char *name;
        void (FormTest::*write)(const QString &);
        QString unit; // what the road writes whatever the text
    } roads[] = {{"key", &FormTest::TypeKey, {}},
                 {"Enter", &FormTest::Enter, "\n"},
                 {"paste", &FormTest::Paste, {}},
                 {"drop", &FormTest::Drop, {}},
                 {"input method", &FormTest::Commit, {}},
                 {"undo and redo", &FormTest::PasteUndoRedo, {}},
                 {"accessibility, past the end", &FormTest::Accessible, {}}};
    for (const auto &road : roads) {
        SCOPED_TRACE(road.name);
        for (const QString &text : {a.repeated(150), QString("\U00020000")}) {
            form_.Window().SetTypingText(nearlyFull.toStdU16String());
            form_.Text1->moveCursor(QTextCursor::End);
            (this->*road.write)(text);
            const QString unit = road.unit.isEmpty() ? text.left(1) : road.unit;
            EXPECT_EQ(Typed(), nearlyFull + (unit.at(0).isSurrogate() ? QString() : unit));
        }
    }
}

// An input method that lets these through while it composes: Qt moved the
// caret into the composition's wrapped lines, past the end of the text, and
// the next input-method event crashed. They wait for the composition.
TEST_F(FormTest, CaretKeysUndoAndAccessibilityWaitForTheComposition) {
    Start();
    QAccessibleTextInterface *caret = Box()->textInterface();
    const std::vector<std::pair<const char *, std::function<void()>>> rows = {
        {"caret keys", [&] { Key(Qt::Key_Down), Key(Qt::Key_End), Key(Qt::Key_PageDown); }},
        {"undo", [&] { Key(Qt::Key_Z, Qt::ControlModifier); }},
        {"accessibility caret", [&] { caret->setSelection(0, 0, 2), caret->setCursorPosition(0); }},
        {"accessibility edit", [&] { Box()->editableTextInterface()->insertText(0, "\n"); }}};
    const QString text = Sheet().left(3) + "\n" + Sheet().mid(3, 3), preedit(100, u'字');
    for (const auto &[name, act] : rows) {
        SCOPED_TRACE(name);
        form_.Window().SetTypingText(u"");
        InputMethod({}, text);
        Key(Qt::Key_Up);
        const int at = form_.Text1->textCursor().position();
        InputMethod(preedit);
        act();
        EXPECT_EQ(form_.Text1->Composition(), preedit);
        InputMethod({}, Sheet(9));
        EXPECT_EQ(Typed(), QString(text).insert(at, Sheet(9)));
    }
}

TEST_F(FormTest, EnterPressesTheFocusedButtonAndNothingElse) {
    QTest::keyClick(form_.Text2, Qt::Key_Return); // the small intro box starts nothing
    EXPECT_TRUE(form_.Command2->isVisible());
    form_.Command2->setFocus();
    QTest::keyClick(form_.Command2, Qt::Key_Return);
    ASSERT_TRUE(form_.Text1->isVisible());

    Tick(60); // Finish is enabled, but Enter in the box breaks the line; Escape does nothing
    Key(Qt::Key_Return);
    Key(Qt::Key_Enter, Qt::KeypadModifier);
    Key(Qt::Key_Escape);
    EXPECT_EQ(Typed(), "\n\n");
    EXPECT_TRUE(form_.isVisible());

    Key(Qt::Key_Backspace);
    Key(Qt::Key_Backspace);
    WhenBoxOpens([](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
    form_.Command1->setFocus();
    QTest::keyClick(form_.Command1, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(form_.Label3->text(), "0:00"); // a new test
    // Its box was empty before too; undo must not bring back the old text.
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Typed(), "");
}

TEST_F(FormTest, AScreenReaderHearsTheClockAndNotTheVanishedCharacters) {
    Start();
    Tick(5);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(form_.Label3)->text(QAccessible::Name),
              "計時 0:05");
    QAccessibleTableInterface *table =
        QAccessible::queryAccessibleInterface(form_.MSHFlexGrid1)->tableInterface();
    ASSERT_NE(table, nullptr);
    const auto heard = [&] { return table->cellAt(0, 6)->text(QAccessible::Name); };
    EXPECT_EQ(heard(), Sheet(6));
    TypeKey(Sheet(6));
    EXPECT_EQ(heard(), "（已打）");
    Key(Qt::Key_Backspace);
    EXPECT_EQ(heard(), Sheet(6));
}

// Text still composed at the finish counts once, as the box showed it and
// within the limit; what the input method commits for it later reaches
// neither this test nor the next. The box takes no Escape or close, and Yes
// is its default.
TEST_F(FormTest, TheFinishTakesTheCompositionOnceAndYesStartsAfresh) {
    Start();
    const QString a = Sheet(0), b = Sheet(1);
    form_.Window().SetTypingText(a.repeated(kTypingLimit - 2).toStdU16String());
    InputMethod(b + "\U00020000"); // three units where two fit: the pair stays out
    QString atFinish, counted;
    WhenBoxOpens([&](QMessageBox *box) {
        atFinish = Typed();
        counted = QRegularExpression("正確字數： (\\d+)字").match(box->text()).captured(1);
        InputMethod({}, b + Sheet(2)); // late, as over D-Bus after the reset
        EXPECT_EQ(Typed(), atFinish);
        QTest::keyClick(box, Qt::Key_Escape);
        box->close();
        QTest::keyClick(box, Qt::Key_Return); // an answer No ends the run: no PASSED line
        if (box->isVisible())
            ADD_FAILURE() << "Return did not answer", box->button(QMessageBox::Yes)->click();
    });
    Tick(600); // the same finish as Finish's
    EXPECT_EQ(atFinish, b + a.repeated(kTypingLimit - 2));
    EXPECT_EQ(counted, "2");
    ASSERT_TRUE(QTest::qWaitFor([&] { return form_.Text1->hasFocus(); }));
    EXPECT_EQ(Typed(), "");
    InputMethod({}, Sheet(3));
    EXPECT_EQ(Typed(), Sheet(3));
}

TEST_F(FormTest, FinishAfterAMinuteThenNoEndsWithStatusZero) {
    EXPECT_EXIT(
        {
            Start();
            Tick(60);
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
    // What a right-to-left desktop and the command line can ask for.
    qputenv("LC_ALL", "he_IL.UTF-8");
    std::vector<char *> args(argv, argv + argc);
    char reverse[] = "-reverse";
    args.push_back(reverse);
    int count = static_cast<int>(args.size());
    QApplication app(count, args.data());
    return RUN_ALL_TESTS();
}

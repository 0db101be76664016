// The window as the user meets it, on a fixed sheet: the intro and Start, keys,
// what a screen reader hears, the finish and the result box, and closing.
// The typing box's limit on every road in is the fuzz test's. This
// binary runs right to left with a Hebrew locale, so every test here also
// sees a right-to-left desktop.
#include "window_test.h"

#include "ui/qt_chinese.h"

#include <QClipboard>
#include <QLibraryInfo>
#include <QMenu>
#include <QVersionNumber>

#include <tuple>
#include <utility>

using FormTest = WindowTest;

TEST_F(FormTest, StartTurnsTheIntroIntoTheTestViewLeftToRightAndAScreenReaderHearsIt) {
    const QWidgetList intro{form_.Label2, form_.Command2, form_.Text2};
    const auto showsIntro = [&](bool shown) {
        for (QWidget *w : form_.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            EXPECT_EQ(w->isVisible(), intro.contains(w) == shown) << qPrintable(w->objectName());
    };
    // Centred on the screen's free area, the clock stopped; the small box takes
    // the first focus without selecting its text. The window's words, and a bold clock.
    const QPoint off =
        form_.frameGeometry().center() - form_.screen()->availableGeometry().center();
    EXPECT_EQ(std::tuple(off.manhattanLength() <= 2, form_.Timer1->isActive(),
                         form_.Text2->hasFocus(), form_.Text2->selectedText()),
              std::tuple(true, false, true, ""));
    EXPECT_EQ(QStringList({form_.windowTitle(), form_.Label2->text(), form_.Command2->text(),
                           form_.Command1->text()})
                  .join('|'),
              "Qelvara v1.0|準備好沒有？按【確定】開始|確定|完成");
    EXPECT_EQ(std::pair(form_.Label3->font().bold(), form_.Command2->font().bold()),
              std::pair(true, false));
    // The small intro box starts nothing.
    QTest::keyClick(form_.Text2, Qt::Key_Return), showsIntro(true);

    // Enter presses the focused button.
    form_.Command2->setFocus(), QTest::keyClick(form_.Command2, Qt::Key_Return);
    // A clock that ticked ten times too fast would show 0:03 by now; a slow
    // machine only delays ticks, so this cannot fail on a correct one.
    QTest::qWait(400);
    showsIntro(false);
    // The sheet in black, the clock at zero, Finish disabled, the clock running, the box
    // focused and editable to a screen reader, and sheet character 1 at the left edge.
    EXPECT_EQ(std::tuple(Shown(), form_.Label3->text(), form_.Command1->isEnabled(),
                         form_.Timer1->isActive(), form_.Text1->hasFocus(),
                         QAccessible::queryAccessibleInterface(form_.Text1)->state().editable,
                         form_.MSHFlexGrid1->visualItemRect(Cell(0)).x()),
              std::tuple(Sheet(), "0:00", false, true, true, true, 0));

    // A typed character is no longer read out.
    auto *table = QAccessible::queryAccessibleInterface(form_.MSHFlexGrid1)->tableInterface();
    const auto heard = [&] { return table->cellAt(0, 6)->text(QAccessible::Name); };
    EXPECT_EQ(heard(), Sheet(6));
    Compose(form_.Text1, {}, Sheet(6));
    EXPECT_EQ(heard(), "（已打）");
    Keys("Backspace");
    EXPECT_EQ(heard(), Sheet(6));
}

// An input method that lets these through while it composes: Qt moved the
// caret into the composition's wrapped lines, past the end of the text, and
// the next input-method event crashed (Qt 6.4). They wait for the composition.
TEST_F(FormTest, CaretKeysUndoAndAccessibilityWaitForTheComposition) {
    Start();
    QAccessibleInterface *box = QAccessible::queryAccessibleInterface(form_.Text1);
    QAccessibleTextInterface *caret = box->textInterface();
    const std::pair<const char *, std::function<void()>> rows[] = {
        {"caret keys", [&] { Keys("Down, End, PgDown"); }},
        {"undo", [&] { Keys("Ctrl+Z"); }},
        {"accessibility caret",
         [&] { caret->setSelection(0, 0, 2), caret->setCursorPosition(0); }}};
    const QString text = Sheet().left(3) + "\n" + Sheet().mid(3, 3), preedit(100, u'字');
    for (const auto &[name, act] : rows) {
        SCOPED_TRACE(name);
        form_.Window().SetTypingText(u"");
        Compose(form_.Text1, {}, text);
        Keys("Up");
        const int at = form_.Text1->textCursor().position();
        Compose(form_.Text1, preedit);
        act();
        EXPECT_EQ(form_.Text1->Composition(), preedit);
        Compose(form_.Text1, {}, Sheet(9));
        // Qt 6.8 moves the caret over a composition safely: the keys go to the end there.
        const bool moved = name == std::string_view("caret keys") &&
                           QLibraryInfo::version() >= QVersionNumber(6, 8);
        EXPECT_EQ(Typed(), QString(text).insert(moved ? text.size() : at, Sheet(9)));
    }
}

// The box's menu speaks Chinese, offers nothing that inserts past the limit,
// and each entry does what its name says, once.
TEST_F(FormTest, EachEntryOfTheBoxMenuDoesWhatItsChineseNameSays) {
    Start();
    const QString a = Sheet(0), b = Sheet(1), c = Sheet(2);
    Compose(form_.Text1, {}, a + b); // two edits, apart: two steps to undo
    Select(form_.Text1, 0, 0);
    Compose(form_.Text1, {}, c);
    QApplication::clipboard()->setText(Sheet(3));
    const std::unique_ptr<QMenu> menu(form_.Text1->CreateContextMenu());
    QStringList names; // without the mnemonic and the shortcut
    for (QAction *action : menu->actions())
        names += action->text().section('\t', 0, 0).remove(QRegularExpression("\\(&.\\)"));
    EXPECT_EQ(names.join('|'), "復原|重做||剪下|複製|貼上|刪除||全部選擇");
    struct Row {
        const char *name;
        int from, to; // the selection first; -1: as the entry before left it
        QString text, selected, clipboard;
    };
    const Row rows[] = {{"復原", -1, -1, a + b, "", Sheet(3)},
                        {"重做", -1, -1, c + a + b, "", Sheet(3)},
                        {"全部選擇", -1, -1, c + a + b, c + a + b, Sheet(3)},
                        {"複製", -1, -1, c + a + b, c + a + b, c + a + b},
                        {"剪下", 0, 1, a + b, "", c},
                        {"貼上", 2, 2, a + b + c, "", c},
                        {"刪除", 0, 1, b + c, "", c}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        if (row.from >= 0)
            Select(form_.Text1, row.from, row.to);
        // The menu as the user opens it, for the state the box is in now.
        const std::unique_ptr<QMenu> now(form_.Text1->CreateContextMenu());
        const qsizetype at = names.indexOf(QString::fromUtf8(row.name));
        ASSERT_GE(at, 0);
        now->actions().at(at)->trigger();
        EXPECT_EQ(Typed(), row.text);
        EXPECT_EQ(form_.Text1->textCursor().selectedText(), row.selected);
        EXPECT_EQ(QApplication::clipboard()->text(), row.clipboard);
    }
}

TEST_F(FormTest, EnterPressesTheFocusedButtonAndNothingElse) {
    Start();
    Tick(9);
    Keys("Tab"); // Finish is still disabled: Tab has nowhere to go, and types nothing
    EXPECT_EQ(Typed(), "");
    const QString nine = form_.Label3->text();
    Tick(51); // Finish is enabled, but Enter in the box breaks the line; Escape does nothing
    EXPECT_EQ(nine + " " + form_.Label3->text(), "0:09 1:00");
    Keys("Return, Num+Enter, Esc");
    EXPECT_EQ(std::tuple(Typed(), form_.isVisible()), std::tuple("\n\n", true));

    Keys("Backspace, Backspace");
    WhenBoxOpens([](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
    Compose(form_.Text1, Sheet(3)), Keys("Tab"); // Tab takes the composition into the box
    EXPECT_EQ(Typed(), Sheet(3));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter, Qt::KeypadModifier);
    // Tab led out of the box to Finish: a new test, its box focused.
    EXPECT_TRUE(form_.Label3->text() == "0:00" && form_.focusWidget() == form_.Text1);
    // Its box was empty before too; undo must not bring back the old text.
    Keys("Ctrl+Z");
    EXPECT_EQ(Typed(), "");
}

// Text still composed at the finish counts once, as the box showed it and
// within the limit; what the input method commits for it later does not reach
// this test (nor the next: the end-to-end tests, with real input methods). The
// box takes no Escape or close, no key at once after the clock's finish, and
// Yes is its default.
TEST_F(FormTest, TheFinishTakesTheCompositionOnceAndTheBoxTakesNoEscape) {
    Start();
    const QString a = Sheet(0), b = Sheet(1);
    form_.Window().SetTypingText(a.repeated(temp::kTypingLimit - 2).toStdU16String());
    Compose(form_.Text1, b + "\U00020000"); // three units where two fit: the pair stays out
    QString atFinish, counted;
    WhenBoxOpens([&](QMessageBox *box) {
        atFinish = Typed(); // at ten minutes, the clock stopped before it moved on
        // The box: its caption, a question, Yes and No.
        const QMessageBox::StandardButton yes = QMessageBox::Yes, no = QMessageBox::No;
        EXPECT_EQ(std::tuple(form_.Label3->text(), form_.Timer1->isActive(), box->windowTitle(),
                             box->icon(), box->button(yes)->text() + box->button(no)->text()),
                  std::tuple("9:59", false, "成績", QMessageBox::Question, "是(&Y)否(&N)"));
        counted = QRegularExpression("正確字數： (\\d+)字").match(box->text()).captured(1);
        Compose(form_.Text1, {}, b + Sheet(2)); // late, as over D-Bus after the reset
        EXPECT_EQ(Typed(), atFinish);
        // The clock finished while the typist may still be typing: a key at
        // once answers nothing. After a short moment keys answer it again.
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_TRUE(box->isVisible()) << "a key at once answered the box";
        QTest::qWait(2000);
        QTest::keyClick(box, Qt::Key_Escape), box->close();
        // An answer No ends the run (no PASSED line); none leaves the test to time out.
        QTest::keyClick(box, Qt::Key_Return);
    });
    Tick(600); // the same finish as Finish's
    EXPECT_EQ(atFinish, b + a.repeated(temp::kTypingLimit - 2));
    EXPECT_EQ(counted, "2");
    Compose(form_.Text1, {}, a); // the next test takes commits again, its clock running
    EXPECT_EQ(std::pair(Typed(), form_.Timer1->isActive()), std::pair(a, true));
}

// No in the result box ends the program at once. Closing the window ends it
// from any state but the open result box, with nothing asked or scored
// first: a box answered No would end the run before the line the regex wants.
TEST_F(FormTest, NoInTheResultBoxOrClosingTheWindowMidTestEndsWithStatusZero) {
    const auto midTest = [this](const std::function<void()> &act) {
        Start(), Tick(60);
        WhenBoxOpens([](QMessageBox *box) { box->button(QMessageBox::No)->click(); });
        act();
    };
    EXPECT_EXIT(midTest([&] { QTest::mouseClick(form_.Command1, Qt::LeftButton); }),
                ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(midTest([&] {
                    std::fprintf(stderr, "closed: %d\n", form_.close() && !form_.isVisible());
                    std::_Exit(0); // as Main returns; no leak check of Qt's caches
                }),
                ::testing::ExitedWithCode(0), "closed: 1");
}

void Prepare(QApplication *app) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    if (app == nullptr)
        qputenv("LC_ALL", "he_IL.UTF-8");
    else {
        QApplication::setLayoutDirection(Qt::RightToLeft);
        qelvara::InstallQtChinese();
    }
}

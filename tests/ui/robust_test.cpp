// Roads into the window that a user's tools open besides the keyboard, and
// keyboard habits: accessibility edits and the widget's own API keep the
// typing box's limit; Enter presses the focused button and nothing else; the
// window stays left to right. This binary runs with -reverse and a Hebrew
// locale, so every test here also sees a right-to-left application.
#include "window_test.h"

#include <QAccessible>
#include <QClipboard>
#include <QMenu>
#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>
#include <vector>

class RobustTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        // Every length the change pass was shown.
        QObject::connect(form_.Text1, &qelvara::TypingBox::contentChanged, &form_,
                         [this] { seen_.push_back(form_.Text1->Length()); });
    }
    int Longest() const {
        return seen_.empty() ? 0 : *std::max_element(seen_.begin(), seen_.end());
    }

    std::vector<int> seen_;
};

TEST_F(RobustTest, AccessibilityEditsAndTheWidgetApiKeepTheLimit) {
    Start();
    QAccessibleInterface *box = QAccessible::queryAccessibleInterface(form_.Text1);
    ASSERT_NE(box, nullptr);
    QAccessibleEditableTextInterface *edit = box->editableTextInterface();
    ASSERT_NE(edit, nullptr);
    const QString a = Sheet(0), b = Sheet(1), astral = "\U00020001";

    edit->insertText(0, a.repeated(150));
    EXPECT_EQ(Typed(), a.repeated(100));
    box->setText(QAccessible::Value, b.repeated(300));
    EXPECT_EQ(Typed(), b.repeated(100));
    edit->replaceText(0, box->textInterface()->characterCount(), a.repeated(300));
    EXPECT_EQ(Typed(), a.repeated(100));

    // The whole sheet twice into an empty box: the first copy fits, and every
    // cell vanishes.
    edit->deleteText(0, -1);
    EXPECT_EQ(Typed(), "");
    edit->insertText(0, Sheet() + Sheet());
    EXPECT_EQ(Typed(), Sheet());
    EXPECT_EQ(Shown(), QString(100, '_'));
    edit->deleteText(30, 20); // either order
    EXPECT_EQ(Typed(), Sheet().remove(20, 10));
    EXPECT_EQ(Shown(), QString(20, '_') + Sheet().mid(20, 10) + QString(70, '_'));
    // Offsets past the end mean the end; a pair is never split at the limit.
    edit->insertText(5000, b.repeated(9) + astral);
    EXPECT_EQ(Typed(), Sheet().remove(20, 10) + b.repeated(9));
    edit->replaceText(-1, 99, astral);
    EXPECT_EQ(Typed().size(), 99);
    // An offset between the halves of a pair takes the pair whole; an
    // insertion there goes before it, a selection end moves outward.
    box->setText(QAccessible::Value, a + astral + b);
    edit->deleteText(2, 4);
    EXPECT_EQ(Typed(), a);
    edit->insertText(2, b + astral);
    edit->insertText(3, a);
    EXPECT_EQ(Typed(), a + b + a + astral);
    box->textInterface()->setSelection(0, 4, 1); // from between the halves
    TypeKey(b);
    EXPECT_EQ(Typed(), a + b);

    // The widget's own API: cut to what fits before the change pass sees it;
    // undo and redo pass over the overfilled state.
    form_.Text1->setPlainText(a.repeated(300));
    EXPECT_EQ(Typed(), a.repeated(100));
    form_.Text1->clear();
    form_.Text1->insertPlainText(b.repeated(98));
    form_.Text1->textCursor().insertText(a + astral + b);
    EXPECT_EQ(Typed(), b.repeated(98) + a);
    form_.Text1->appendPlainText(b); // a line break and b: the break fits
    EXPECT_EQ(Typed(), b.repeated(98) + a + "\n");
    QTest::keyClick(form_.Text1, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Typed(), b.repeated(98) + a);
    QTest::keyClick(form_.Text1, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Typed(), b.repeated(98) + a + "\n");
    EXPECT_EQ(Longest(), 100);
}

// Qt itself leaves a composition that comes with a commit ending in a line
// break on the line above, past its end; the caret moved over that line went
// past the end of the text and the next input-method event crashed.
TEST_F(RobustTest, ACommitEndingInALineBreakComposesOnTheNewLine) {
    Start();
    const QString preedit(60, QChar(0x5b57));
    QInputMethodEvent commit(preedit, {});
    commit.setCommitString(Sheet().left(1) + "\r"); // the box stores it as "\n"
    QCoreApplication::sendEvent(form_.Text1, &commit);
    EXPECT_EQ(Typed(), Sheet().left(1) + "\n");
    EXPECT_EQ(form_.Text1->textCursor().block().layout()->preeditAreaText(), preedit);
    QTest::keyClick(form_.Text1, Qt::Key_Up);
    EXPECT_LE(form_.Text1->textCursor().position(), 2);
    QInputMethodEvent end;
    QCoreApplication::sendEvent(form_.Text1, &end);
    EXPECT_EQ(Typed(), Sheet().left(1) + "\n");
}

// Qt 6.4's layout crashed at an insertion after text holding an open bidi
// isolate or override was pasted. No road stores those controls.
TEST_F(RobustTest, BidiControlsAreNotStored) {
    Start();
    QApplication::clipboard()->setText(Sheet(0) + "\u2066" + Sheet(1) + "\u202E");
    QTest::keyClick(form_.Text1, Qt::Key_V, Qt::ControlModifier);
    TypeKey("\u202B" + Sheet(2));
    InputMethod({}, Sheet(3) + "\u2069");
    form_.Text1->ReplaceRange(0, 0, "\u202A");
    EXPECT_EQ(Typed(), Sheet().left(4));
}

// An input method that lets caret keys or undo through while it composes:
// Qt moved the caret into the composition's wrapped lines, past the end of
// the text, and the next input-method event crashed; its undo left the
// composition past the end of the last line. Both wait for the composition,
// and so do an accessibility tool's caret and edits.
TEST_F(RobustTest, CaretKeysAndUndoWaitForTheComposition) {
    Start();
    InputMethod({}, Sheet().left(3) + "\r" + Sheet().mid(3, 3));
    QTest::keyClick(form_.Text1, Qt::Key_Up);
    const int caret = form_.Text1->textCursor().position();
    const QString preedit(100, QChar(0x5b57));
    InputMethod(preedit);
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_End, Qt::Key_PageDown, Qt::Key_Z})
        QTest::keyClick(form_.Text1, key, key == Qt::Key_Z ? Qt::ControlModifier : Qt::NoModifier);
    QAccessibleTextInterface *text =
        QAccessible::queryAccessibleInterface(form_.Text1)->textInterface();
    text->setSelection(0, 0, 2);
    text->setCursorPosition(0);
    QAccessible::queryAccessibleInterface(form_.Text1)
        ->editableTextInterface()
        ->insertText(0, "\n");
    EXPECT_EQ(form_.Text1->textCursor().position(), caret);
    EXPECT_EQ(form_.Text1->Composition(), preedit);
    InputMethod({}, Sheet(9));
    EXPECT_EQ(Typed(), QString(Sheet().left(3) + "\n" + Sheet().mid(3, 3)).insert(caret, Sheet(9)));
}

TEST_F(RobustTest, EnterPressesTheFocusedButtonAndNothingElse) {
    // Neither key belongs to the window: no default or cancel button.
    for (QPushButton *b : {form_.Command1, form_.Command2}) {
        EXPECT_FALSE(b->isDefault()) << qPrintable(b->objectName());
        EXPECT_FALSE(b->autoDefault()) << qPrintable(b->objectName());
    }
    // In the small intro box neither Enter starts the test.
    form_.Text2->setFocus();
    QTest::keyClick(form_.Text2, Qt::Key_Return);
    QTest::keyClick(form_.Text2, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(form_.Command2->isVisible());
    form_.Command2->setFocus();
    QTest::keyClick(form_.Command2, Qt::Key_Return);
    EXPECT_TRUE(form_.Text1->isVisible());

    Tick(60);
    // Finish is enabled, but Enter in the typing box breaks the line and
    // Escape does nothing.
    QTest::keyClick(form_.Text1, Qt::Key_Return);
    QTest::keyClick(form_.Text1, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(form_.Text1, Qt::Key_Escape);
    EXPECT_EQ(Typed(), "\n\n");
    EXPECT_TRUE(form_.isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    int asked = 0;
    QTimer::singleShot(0, [&asked] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            ++asked;
            box->button(QMessageBox::Yes)->click();
        }
    });
    form_.Command1->setFocus();
    QTest::keyClick(form_.Command1, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(form_.Label3->text(), "0:00"); // Yes: a new test
}

TEST_F(RobustTest, LeftToRightWhateverTheApplicationSays) {
    ASSERT_EQ(QApplication::layoutDirection(), Qt::RightToLeft);
    Start();
    const qelvara::SheetGrid &grid = *form_.MSHFlexGrid1;
    // Sheet character 1 at the left edge, 20 at the right.
    EXPECT_LT(grid.visualItemRect(grid.item(0, 0)).x(), grid.visualItemRect(grid.item(0, 19)).x());
    EXPECT_EQ(grid.visualItemRect(grid.item(0, 0)).x(), 0);
    form_.Text1->SetText(Sheet().left(3));
    EXPECT_LT(form_.Text1->cursorRect(QTextCursor(form_.Text1->document())).x(), 10);
    for (QWidget *w : QWidgetList{&form_, form_.Text1, form_.Command1, form_.Label3})
        EXPECT_EQ(w->layoutDirection(), Qt::LeftToRight) << qPrintable(w->objectName());
    std::unique_ptr<QMenu> menu(form_.Text1->CreateContextMenu());
    EXPECT_EQ(menu->layoutDirection(), Qt::LeftToRight);

    Qt::LayoutDirection box = Qt::RightToLeft;
    QTimer::singleShot(0, [&box] {
        if (auto *w = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            box = w->layoutDirection();
            w->button(QMessageBox::Yes)->click();
        }
    });
    Tick(600);
    EXPECT_EQ(box, Qt::LeftToRight);
}

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // What a right-to-left desktop and the command line can ask for.
    qputenv("LANG", "he_IL.UTF-8");
    qputenv("LC_ALL", "he_IL.UTF-8");
    std::vector<char *> args(argv, argv + argc);
    char reverse[] = "-reverse";
    args.push_back(reverse);
    int count = static_cast<int>(args.size());
    QApplication app(count, args.data());
    return RUN_ALL_TESTS();
}

// Text still being composed when a test finishes: it counts exactly once, as
// the box showed it, however the finish comes (pointer, keyboard, a screen
// reader's press, the clock), and nothing an input method commits for it
// later reaches this test or the next.
#include "window_test.h"

#include <QAccessible>
#include <QRegularExpression>

#include <functional>

class CompositionTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        Start();
    }

    // Answers the result box once it is open (a press through accessibility
    // opens it from a timer): notes the count it shows and the box's text,
    // runs `meanwhile`, then answers Yes.
    void AnswerYes(std::function<void()> meanwhile = {}) {
        answered_ = false;
        auto *poll = new QTimer(&form_);
        QObject::connect(poll, &QTimer::timeout, [this, poll, meanwhile] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box == nullptr)
                return;
            poll->deleteLater();
            static const QRegularExpression count("正確字數： (\\d+)字");
            counted_ = count.match(box->text()).captured(1).toInt();
            at_finish_ = Typed();
            if (meanwhile)
                meanwhile();
            box->button(QMessageBox::Yes)->click();
            answered_ = true;
        });
        poll->start(5);
    }

    bool answered_ = false;
    int counted_ = -1;
    QString at_finish_;
};

TEST_F(CompositionTest, EveryFinishCountsTheOpenCompositionOnce) {
    enum Finish { Click, Keyboard, Accessibility, Clock };
    for (Finish finish : {Click, Keyboard, Accessibility, Clock}) {
        SCOPED_TRACE(finish);
        Tick(finish == Clock ? 599 : 60);
        InputMethod({}, Sheet(0));
        InputMethod(Sheet(1) + Sheet(2));                     // still being composed at the finish
        const QString typed = Sheet(0) + Sheet(1) + Sheet(2); // the next test has a new sheet
        // A commit that comes late, as over D-Bus after the reset, must not be
        // added: not while the result box is open, nor in the next test.
        AnswerYes([&] {
            InputMethod({}, Sheet(1) + Sheet(2));
            EXPECT_EQ(Typed(), at_finish_);
        });
        switch (finish) {
        case Click:
            QTest::mouseClick(form_.Command1, Qt::LeftButton);
            break;
        case Keyboard:
            // Tab with the composition open: it is committed as the focus leaves.
            QTest::keyClick(form_.Text1, Qt::Key_Tab);
            ASSERT_TRUE(form_.Command1->hasFocus());
            EXPECT_EQ(Typed(), typed);
            InputMethod({}, Sheet(2)); // the plugin's own commit on the focus change
            QTest::keyClick(form_.Command1, Qt::Key_Space);
            break;
        case Accessibility:
            QAccessible::queryAccessibleInterface(form_.Command1)
                ->actionInterface()
                ->doAction(QAccessibleActionInterface::pressAction());
            break;
        case Clock:
            Tick(1);
            break;
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return answered_; }));
        EXPECT_EQ(at_finish_, typed);
        EXPECT_EQ(counted_, 3);
        EXPECT_FALSE(form_.Text1->HasComposition());

        // The next test starts empty and takes commits again at once.
        ASSERT_TRUE(QTest::qWaitFor([&] { return form_.Text1->hasFocus(); }));
        EXPECT_EQ(Typed(), "");
        InputMethod({}, Sheet(3));
        EXPECT_EQ(Typed(), Sheet(3));
        form_.Window().SetTypingText(u"");
    }
}

TEST_F(CompositionTest, TheCommittedCompositionKeepsTheLimitAndSurrogatePairs) {
    const QString a = Sheet(0), astral = "\U00020000";
    form_.Window().SetTypingText(a.repeated(98).toStdU16String());
    InputMethod(Sheet(1) + astral); // three units where two fit, at the caret
    const QString expected = Sheet(1) + a.repeated(98);
    Tick(60);
    AnswerYes();
    QTest::mouseClick(form_.Command1, Qt::LeftButton);
    EXPECT_EQ(at_finish_, expected);
    EXPECT_EQ(counted_, 2);
}

// The real window on real displays, inside scripts/e2e/session.sh: typed into
// through each input-method route (QELVARA_E2E_IM) on X and under headless
// mutter and KWin (QELVARA_E2E_COMPOSITOR), with keys and pointer given as
// the user gives them; and the title bars of headless weston and KWin.
#include "engine/temp.h"
#include "ui/form1.h"
#include "ui/input_method.h"

#include <QtWidgets>

#include <gtest/gtest.h>

const QString kIm = qEnvironmentVariable("QELVARA_E2E_IM");
const bool kOnFcitx5 = !kIm.startsWith("ibus-"); // ibus alone: fcitx5's ibus frontend

// Pumps the event loop meanwhile: the display server, the compositor and the
// input method all wait for the window's answers.
bool WaitUntil(const std::function<bool()> &cond, int ms = 5000) {
    const QDeadlineTimer deadline(ms);
    QTimer wake; // looks again now and then: other processes change things too
    wake.start(5);
    while (!cond() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return cond();
}

// Keys and pointer, from the tool named by QELVARA_E2E_INPUT: xdotool on X,
// one virtual keyboard and pointer for the whole run under a compositor. It
// answers "ok" to "key NAME...", "type TEXT", "move X Y" (screen pixels),
// "click" and "focus WINDOW".
struct Input : QObject {
    Input() {
        qApp->installEventFilter(this);
        tool_.startCommand(qEnvironmentVariable("QELVARA_E2E_INPUT"));
    }
    bool Send(const QString &line) {
        tool_.write(line.toUtf8() + '\n');
        return WaitUntil([&] { return tool_.canReadLine(); }) && tool_.readLine() == "ok\n";
    }
    // On Wayland the window does not know where it is on the screen; where it
    // sees the pointer tells. Near enough is on the widget.
    bool Click(const QWidget *widget) {
        // Where its own window saw it: every window (a tooltip too) has its own idea.
        watched_ = widget->window()->windowHandle(), seen_ = {-1, -1};
        const QPoint target = widget->mapToGlobal(widget->rect().center());
        const auto on = [&] { return widget->rect().contains(widget->mapFromGlobal(seen_)); };
        QPoint at = target;
        for (int i = 0; i < 8 && !on(); ++i) {
            const QPoint last = seen_;
            if (!Send(QString("move %1 %2").arg(at.x()).arg(at.y())))
                return false;
            // Missed the window: the middle of the screen, where windows open.
            at = WaitUntil([&] { return seen_ != last; }, 1000)
                     ? at + target - seen_
                     : widget->screen()->geometry().center();
        }
        return on() && Send("click");
    }
    bool eventFilter(QObject *object, QEvent *event) override {
        // Not Enter: Qt 6.4 on Wayland gives it a position off by the window's.
        if (event->type() == QEvent::MouseMove && object == watched_)
            seen_ = static_cast<QSinglePointEvent *>(event)->globalPosition().toPoint();
        keys_ += event->type() == QEvent::KeyPress;
        return false;
    }
    // Gives `window` the keyboard (on X: nobody else does without a window
    // manager). A compositor drops the first keys of a virtual keyboard, and
    // any before a new window has the keyboard: Escape, which nothing here
    // acts on, until one arrives.
    bool Focus(const QWidget *window) {
        const int before = keys_;
        Send(QString("focus %1").arg(window->winId()));
        for (int i = 0; i < 20 && keys_ == before; ++i)
            Send("key Escape"), WaitUntil([&] { return keys_ != before; }, 500);
        return keys_ != before;
    }
    QProcess tool_;
    const QWindow *watched_ = nullptr;
    QPoint seen_;
    int keys_ = 0;
} * input;

// Selects `engine` in the running input method (asked back: ibus also runs
// setxkbmap, which fails without an X display). The daemons need nothing of
// this process meanwhile.
bool SelectEngine(const QString &engine) {
    const QString set = kOnFcitx5 ? "fcitx5-remote -s %1; test \"$(fcitx5-remote -n)\" = %1"
                                  : "ibus engine %1; test \"$(ibus engine)\" = %1";
    return WaitUntil([&] { return QProcess::execute("sh", {"-c", set.arg(engine)}) == 0; });
}

struct Desktop : testing::Test {
    void Open() {
        temp::ResetState();
        form.reset(); // its window leaves the engine when it goes
        form = std::make_unique<Form1>();
        form->show();
        ASSERT_TRUE(WaitUntil([&] { return form->windowHandle()->isExposed(); }));
    }
    QString Text() const { return form->Text1->toPlainText(); }
    // toPlainText() never holds the composition.
    QString Preedit() const {
        return form->Text1->textCursor().block().layout()->preeditAreaText();
    }
    // Key names are capitalised or longer than the codes typed as text.
    bool Press(const QString &keys, const std::function<bool()> &cond = {}) {
        return input->Send((keys.size() > 3 || keys != keys.toLower() ? "key " : "type ") + keys) &&
               (!cond || WaitUntil(cond));
    }
    // Selects `engine`, then presses a key until the input method composes
    // with it, which shows that keys reach its input context; then takes the
    // composition back.
    bool Ready(const QString &engine) {
        const QString text = Text(), key = engine == "chewing" ? "j" : "a";
        if (!input->Focus(form.get()) || !SelectEngine(engine))
            return false;
        for (int i = 0; i < 20 && Preedit().isEmpty() && Text() == text; ++i) {
            Press(key), WaitUntil([&] { return !Preedit().isEmpty() || Text() != text; }, 1000);
            if (Text() == text + key) // it came before the input context was focused
                form->Window().SetTypingText(text.toStdU16String());
        }
        return !Preedit().isEmpty() && Press("Escape", [&] { return Preedit().isEmpty(); }) &&
               Text() == text;
    }
    std::unique_ptr<Form1> form;
};

// Zhuyin, then Cangjie, on a test started by keys and on one started by the
// pointer: what each engine is called, its keys for 我, what it shows for them
// and what of that the box keeps at a finish. Table engines show a code:
// fcitx5's table the keys, ibus-table its first candidate, Rime the keys and
// their radicals' names, of which only the keys were typed.
struct Engine {
    QString name, keys, commit, shown, kept, choose; // choose: keys that pick it
};
TEST_F(Desktop, StartTypeDeleteAndFinishWithKeysAndPointer) {
    const bool rime = kIm.endsWith("rime");
    const Engine zhuyin = rime ? Engine{"rime", "ji3", "Return", "ㄨㄛˇ", "", ""}
                               : Engine{"chewing", "ji3", "Return", "我", "我", ""};
    const Engine cangjie =
        rime        ? Engine{"rime", "hqi", "space", "hqi（竹手戈）", "hqi", "ctrl+grave 3"}
        : kOnFcitx5 ? Engine{"cangjie", "hqi", "space", "hqi", "hqi", ""}
                    : Engine{"table:cangjie5", "hqi", "space", "我", "我", ""};
    // KWin carries fcitx5 to Qt: the program names no plugin.
    EXPECT_TRUE(kIm != "kwin-fcitx" || qEnvironmentVariableIsEmpty("QT_IM_MODULE"));
    for (const Engine *e : {&zhuyin, &cangjie}) {
        const auto &[engine, keys, commit, shown, kept, choose] = *e;
        SCOPED_TRACE(keys.toStdString());
        const auto composed = [&] { return Preedit() == shown; };
        const auto committed = [&] { return Text() == "我" && Preedit().isEmpty(); };
        ASSERT_NO_FATAL_FAILURE(Open());
        ASSERT_TRUE(input->Focus(form.get()));
        if (e == &zhuyin) { // from the start screen's text box to Start (確定)
            ASSERT_TRUE(Press("Tab", [&] { return form->Command2->hasFocus(); }) &&
                        Press("space", [&] { return form->Text1->hasFocus(); }));
        }
        // Once more if need be: about one click in a hundred under mutter misses.
        for (int i = 0; i < 2 && !form->Text1->hasFocus(); ++i)
            input->Click(form->Command2), WaitUntil([&] { return form->Text1->hasFocus(); });
        ASSERT_TRUE(form->Text1->hasFocus()) << "Start";
        ASSERT_TRUE(Ready(engine) && (choose.isEmpty() || Press(choose)) && Press(keys, composed));
        ASSERT_TRUE(Press(commit, committed));
        ASSERT_TRUE(Press("BackSpace", [&] { return Text().isEmpty(); }));
        ASSERT_TRUE(Press(keys, composed) && Press(commit, committed));
        for (int i = 0; i < 60; ++i)
            form->Timer1_Timer();
        if (rime) { // a code cancelled, then Tab to Finish and back: nothing of it arrives
            ASSERT_TRUE(Press(keys, composed) && Press("Escape", committed) &&
                        Press("Tab", [&] { return form->Command1->hasFocus(); }) &&
                        Press("shift+Tab", [&] { return form->Text1->hasFocus(); }));
            EXPECT_FALSE(WaitUntil([&] { return !committed(); }, 1000)) << Text().toStdString();
        }
        // Composed again and left open at Finish; with Rime's Zhuyin, its menu.
        ASSERT_TRUE(rime && e == &zhuyin
                        ? Press("ctrl+grave", [&] { return Preedit().startsWith("〔"); })
                        : Press(keys, composed));
        // The result box's exec() holds up the click on Finish until it is
        // answered, with the keyboard, as its default button takes the Enter key.
        QString typed;
        bool modal = false, answered = false;
        QTimer answer;
        answer.callOnTimeout([&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                answer.stop(), typed = Text();
                modal = box->isModal() &&
                        box->windowHandle()->transientParent() == form->windowHandle();
                answered = input->Focus(box) && Press("Return", [&] { return !box->isVisible(); });
                if (!answered) // or the test would wait for it for good
                    box->button(QMessageBox::Yes)->click();
            }
        });
        answer.start(20);
        ASSERT_TRUE(input->Click(form->Command1));
        ASSERT_TRUE(WaitUntil([&] { return !typed.isEmpty() && !qApp->activeModalWidget(); }));
        EXPECT_TRUE(modal && answered) << "the result box, over the window, takes the keys";
        EXPECT_EQ(typed.toStdString(), ("我" + kept).toStdString()) << "the composition, once";
        // Nothing of it arrives in the next test either, not even as a
        // composition the engine kept and shows again once the box has the focus.
        WaitUntil([&] { return !Preedit().isEmpty(); }, 1000);
        EXPECT_EQ(Preedit().toStdString(), "") << "the next test's box";
        ASSERT_TRUE(Ready(engine) && Text().isEmpty());
    }
}

// What a title bar's maximize asks for, and under KWin, which draws the title
// bar itself (Breeze, its frame at the top left corner), a double click on it.
// weston would end a fixed-size client that kept its size when maximized.
TEST_F(Desktop, TheTitleBarCannotMaximizeTheWindow) {
    ASSERT_NO_FATAL_FAILURE(Open());
    form->windowHandle()->setWindowStates(Qt::WindowMaximized);
    // From here on, the compositor's answers: KWin would maximize a window it
    // may maximize on the double click, and the program would put it back.
    bool maximized = false;
    QObject::connect(form->windowHandle(), &QWindow::windowStateChanged,
                     [&](Qt::WindowState state) { maximized |= state != Qt::WindowNoState; });
    // The pointer reaches the window first, then the title bar.
    if (qEnvironmentVariable("QELVARA_E2E_COMPOSITOR") == "kwin") {
        ASSERT_TRUE(input->Click(form->Text2) && input->Send("move 200 12") &&
                    input->Send("click") && input->Send("click"));
    }
    WaitUntil([] { return false; }, 1000);
    EXPECT_TRUE(!maximized && form->isVisible()); // and still connected: weston did not end it
    EXPECT_EQ(form->windowHandle()->size(), QSize(681, 425)); // the title bar lies outside
    EXPECT_EQ(form->windowHandle()->windowStates(), Qt::WindowNoState);
}

int main(int argc, char **argv) {
    qelvara::ChooseInputMethod(argc, argv); // as the program starts
    QApplication app(argc, argv);
    input = new Input;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

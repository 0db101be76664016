// The real window on real displays, inside scripts/e2e/session.sh: typed into
// on X through each input-method route (QELVARA_E2E_IM: fcitx, ibus against
// fcitx5's ibus frontend, ibus-daemon), and as a client of headless weston
// and mutter. Pictures for people to look at land in QELVARA_SHOT_DIR.
#include "engine/random_source.h"
#include "engine/temp.h"
#include "ui/form1.h"

#include <QtDBus>
#include <QtWidgets>

#include <gtest/gtest.h>

const bool kOnFcitx5 = qEnvironmentVariable("QELVARA_E2E_IM") != "ibus-daemon";

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

// Runs a command line to its end: its output, none if it failed.
std::optional<QString> Tool(const QString &command) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.startCommand(command);
    if (!WaitUntil([&] { return p.state() == QProcess::NotRunning; }) ||
        p.error() != QProcess::UnknownError || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// Every sheet is the same, with 我 (bank index 592 of 1..5338) on it at 44,
// so that the README's picture shows a typed character gone; the rest from
// the middle of the bank.
struct PlacedSheet : temp::RandomSource {
    void Reseed() override { next_ = 0; }
    float Next() override {
        const int place = next_++ % temp::kSheetSize, n = place == 44 ? 592 : 2001 + place;
        return (n - 0.5f) / temp::kBankSize; // the middle of n's interval
    }
    int next_ = 0;
} sheet;

// Selects `engine` in the running input method. ibus also runs setxkbmap,
// which fails without an X display: what it reports afterwards counts.
bool SelectEngine(const QString &engine) {
    const QString ask = kOnFcitx5 ? "fcitx5-remote -n" : "ibus engine";
    const QString set = (kOnFcitx5 ? "fcitx5-remote -s " : "ibus engine ") + engine;
    return WaitUntil([&] { return Tool(set), Tool(ask) == engine; });
}

struct Desktop : testing::Test {
    void SetUp() override { // every test on a started sheet
        temp::ResetState();
        form.show();
        ASSERT_TRUE(WaitUntil([&] { return form.windowHandle()->isExposed(); }));
        form.Command2->click();
    }
    void TearDown() override { // what the box held when a check failed
        EXPECT_FALSE(HasFailure()) << Text().toStdString() << " + " << Preedit().toStdString();
    }
    QString Text() const { return form.Text1->toPlainText(); }
    // toPlainText() never holds the composition.
    QString Preedit() const { return form.Text1->textCursor().block().layout()->preeditAreaText(); }
    // Presses `key` until the input method composes with it, which shows that
    // keys reach its input context; then takes the composition back.
    bool Probe(const std::function<bool(QString)> &press, const QString &key) {
        const QString text = Text();
        for (int i = 0; i < 20 && Preedit().isEmpty() && Text() == text; ++i) {
            press(key), WaitUntil([&] { return !Preedit().isEmpty() || Text() != text; }, 1000);
            if (Text() == text + key) // it came before the input context was focused
                form.Window().SetTypingText(text.toStdU16String());
        }
        return !Preedit().isEmpty() && press("Escape") &&
               WaitUntil([&] { return Preedit().isEmpty(); }) && Text() == text;
    }

    // The X tests go through the pointer and keys of the X server, as the
    // user types. Ready gives the window the X focus, which nobody does
    // without a window manager, selects `engine` and waits until it composes
    // in the box.
    bool Ready(const QString &engine) {
        return Tool(QString("xdotool windowfocus --sync %1").arg(form.winId())) &&
               SelectEngine(engine) &&
               Probe([&](auto key) { return Press(key); }, engine == "chewing" ? "j" : "a");
    }
    // Presses keys, then waits for `cond`. Key names are longer than the
    // codes typed as text.
    bool Press(const QString &keys, const std::function<bool()> &cond = {}) {
        return Tool((keys.size() > 3 ? "xdotool key " : "xdotool type --delay 15 ") + keys) &&
               (!cond || WaitUntil(cond));
    }
    Form1 form;
};
// Chewing and Cangjie: a phonetic and a shape engine, each from both daemons;
// the second starts on the test that "yes" in the first one's result box began.
TEST_F(Desktop, InputMethodsCommitOnceAndAnOpenCompositionLandsOnceAtFinish) {
    for (const bool chewing : {true, false}) {
        SCOPED_TRACE(chewing ? "chewing" : "Cangjie");
        // Table engines show a code: fcitx5's table the keys, ibus-table its first candidate.
        const QString engine = chewing ? "chewing" : kOnFcitx5 ? "cangjie" : "table:cangjie5";
        const QString keys = chewing ? "ji3" : "hqi", commit = chewing ? "Return" : "space";
        const QString shown = chewing || !kOnFcitx5 ? "我" : "hqi";
        const auto composed = [&] { return Preedit() == shown; };
        const auto committed = [&] { return Text() == "我" && Preedit().isEmpty(); };
        ASSERT_TRUE(Ready(engine) && Press(keys, composed));
        ASSERT_TRUE(Press(commit, committed));
        ASSERT_TRUE(Press("BackSpace", [&] { return Text().isEmpty(); }));
        // Committed, then composed again and left open at Finish.
        ASSERT_TRUE(Press(keys, composed) && Press(commit, committed) && Press(keys, composed));
        if (chewing && qEnvironmentVariable("QELVARA_E2E_IM") == "fcitx") { // for the README
            // The candidate list, mapped (--sync) and so drawn once import connects.
            Tool("xdotool key Down search --sync --onlyvisible --name \"^Fcitx5 Input Window$\"");
            Tool("import -window root \"" QELVARA_SHOT_DIR "/typing-in-progress-fcitx.png\"");
            ASSERT_TRUE(Press("Escape", composed)); // closes the list, keeps the composition
        }
        for (int i = 0; i < 60; ++i)
            form.Timer1_Timer();
        // The result box's exec() holds up the click on Finish until it is answered.
        QString typed;
        QTimer answer;
        answer.callOnTimeout([&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                typed = Text(), box->button(QMessageBox::Yes)->click();
        });
        answer.start(20);
        // No --sync on the move: it waits forever when the pointer is already there.
        const QPoint at = form.Command1->mapToGlobal(form.Command1->rect().center());
        ASSERT_TRUE(Tool(QString("xdotool mousemove %1 %2 click 1").arg(at.x()).arg(at.y())));
        ASSERT_TRUE(WaitUntil([&] { return !typed.isEmpty() && !qApp->activeModalWidget(); }));
        EXPECT_EQ(typed, "我" + shown) << "the composition, once";
        // Nothing of it arrives in the next test either.
        ASSERT_TRUE(Ready(engine) && Text().isEmpty());
    }
}

// weston: what the title bar's maximize button asks for. weston would end a
// fixed-size client that kept its size under the maximized state.
TEST_F(Desktop, WestonRefusesMaximizeAndKeepsItsSize) {
    form.windowHandle()->setWindowStates(Qt::WindowMaximized);
    // A picture for people to look at; weston names it after the time.
    const QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    ASSERT_TRUE(WaitUntil([&] { return Tool("weston-screenshooter").has_value(); }));
    QFile::copy(QDir().entryList(QDir::Files).value(0), QELVARA_SHOT_DIR "/test-view-weston.png");
    EXPECT_TRUE(form.isVisible()); // still connected: weston did not end it
    EXPECT_EQ(form.windowHandle()->size(), QSize(681, 425)); // the title bar lies outside
    EXPECT_EQ(form.windowHandle()->windowStates(), Qt::WindowNoState);
}

TEST_F(Desktop, KeysThroughMutterReachTheBoxAsChinese) {
    ASSERT_TRUE(SelectEngine("table:cangjie5"));
    // mutter's remote desktop, on our own connection: a session ends with the
    // connection that made it. Plain messages: QDBusInterface would
    // introspect, and Qt caches that for good.
    QString rd = "org.gnome.Mutter.RemoteDesktop", path = "/org/gnome/Mutter/RemoteDesktop",
            in = rd;
    const auto call = [&](const QString &method, auto... args) {
        QDBusMessage m = QDBusMessage::createMethodCall(rd, path, in, method);
        return QDBusConnection::sessionBus().call((m << ... << args));
    };
    path = qvariant_cast<QDBusObjectPath>(call("CreateSession").arguments().value(0)).path();
    in = rd + ".Session";
    ASSERT_EQ(call("Start").type(), QDBusMessage::ReplyMessage) << path.toStdString();
    const auto press = [&](const QString &key) {
        const uint k = key == "Escape" ? 0xff1b : key == "space" ? ' ' : key[0].unicode();
        return call("NotifyKeyboardKeysym", k, true), call("NotifyKeyboardKeysym", k, false), true;
    };
    // The first keys of a session may never arrive (mutter 48 drops several),
    // and none before the window has the keyboard.
    ASSERT_TRUE(Probe(press, "a"));
    ASSERT_TRUE(press("a") && WaitUntil([&] { return Preedit() == "日"; }));
    ASSERT_TRUE(press("space") && WaitUntil([&] { return Text() == "日"; }));
}

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    temp::SetRandomSource(&sheet);
    QDir().mkpath(QELVARA_SHOT_DIR);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

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

// Every sheet is the same: 我 (bank index 592 of 1..5338) at 44, where a
// swapped row and column would not put it, the rest from the middle of the
// bank.
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
        ASSERT_EQ(form.MSHFlexGrid1->item(2, 4)->text(), "我"); // no filler clashed
    }
    void TearDown() override { // what the box held when a check failed
        EXPECT_FALSE(HasFailure()) << Text().toStdString() << " + " << Preedit().toStdString();
    }
    QString Text() const { return form.Text1->toPlainText(); }
    // toPlainText() never holds the composition.
    QString Preedit() const { return form.Text1->textCursor().block().layout()->preeditAreaText(); }
    // Read back from the X server: what is really shown, not what would be.
    QImage Shown(WId window) const { return form.screen()->grabWindow(window).toImage(); }
    // Pixels darker than mid-grey in sheet cell i, inside its grid lines, of a
    // picture that holds the window at `at`: a few hundred when its character
    // is black, none when it is white.
    int Ink(const QImage &img, int i, QPoint at = {}) const {
        const QTableWidget *g = form.MSHFlexGrid1;
        const QRect r = g->visualRect(g->model()->index(i / 20, i % 20)).adjusted(2, 2, -2, -2);
        const QImage cell = img.copy(r.translated(at + g->viewport()->mapTo(&form, QPoint())));
        int dark = 0;
        for (int p = 0; p < cell.width() * cell.height(); ++p)
            dark += qGray(cell.pixel(p % cell.width(), p / cell.width())) < 128;
        return dark;
    }
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
    // Waits until 我's cell shows white or black on the screen, repainted
    // first so that a wrong colour cannot hide behind a missed update.
    bool Shows(bool white) {
        form.MSHFlexGrid1->viewport()->repaint();
        return WaitUntil([&] { return (Ink(Shown(form.winId()), 44) > 20) != white; });
    }
    Form1 form;
};
// Chewing and Cangjie: a phonetic and a shape engine, each from both daemons;
// the second starts on the test that "yes" in the first one's result box began.
TEST_F(Desktop, InputMethodsTypedCharactersVanishComeBackAndTheOpenCompositionLandsOnce) {
    for (const bool chewing : {true, false}) {
        SCOPED_TRACE(chewing ? "chewing" : "Cangjie");
        // Table engines show a code: fcitx5's table the keys, ibus-table its first candidate.
        const QString engine = chewing ? "chewing" : kOnFcitx5 ? "cangjie" : "table:cangjie5";
        const QString keys = chewing ? "ji3" : "hqi", commit = chewing ? "Return" : "space";
        const QString shown = chewing || !kOnFcitx5 ? "我" : "hqi";
        const auto composed = [&] { return Preedit() == shown; };
        const auto committed = [&] { return Text() == "我" && Preedit().isEmpty(); };
        ASSERT_TRUE(Ready(engine) && Press(keys, composed) && Shows(false)) << "composed, not text";
        ASSERT_TRUE(Press(commit, committed) && Shows(true));
        ASSERT_TRUE(Press("BackSpace", [&] { return Text().isEmpty(); }) && Shows(false));
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

// Where w's own rendering stands on the output: the first offset where a
// lattice of probes matches but for two (a caret may blink). One pixel off,
// the glyphs' edges miss many.
std::optional<QPoint> Locate(const QImage &shot, QWidget *w) {
    const QImage want = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (int oy = 0; oy + want.height() <= shot.height(); ++oy)
        for (int ox = 0; ox + want.width() <= shot.width(); ++ox) {
            int misses = 0;
            for (int y = 3; y < want.height() && misses < 3; y += 7)
                for (int x = 3; x < want.width() && misses < 3; x += 7)
                    misses += shot.pixel(ox + x, oy + y) != want.pixel(x, y);
            if (misses < 3)
                return QPoint(ox, oy);
        }
    return {};
}

// weston's own screenshots: what the compositor really put on the output.
TEST_F(Desktop, WestonMapsItAtItsSizeWithEveryCellDrawnAndRefusesMaximize) {
    // What the title bar's maximize button asks for. weston would end a
    // fixed-size client that kept its size under the maximized state.
    form.windowHandle()->setWindowStates(Qt::WindowMaximized);
    form.Text1->insertPlainText("我");
    const QTemporaryDir dir; // weston-screenshooter writes here, naming its file after the time
    QDir::setCurrent(dir.path());
    QImage shot;
    std::optional<QPoint> at;
    int cell = 0; // the first of the 100 whose ink is wrong (only 我's is white), -1: no window
    ASSERT_TRUE(WaitUntil([&] {
        Tool("weston-screenshooter"); // the newest picture, none if it never wrote one
        shot = QImage(QDir().entryList(QDir::Files, QDir::Time).value(0))
                   .convertToFormat(QImage::Format_RGB32);
        for (cell = (at = Locate(shot, &form)) ? 0 : -1; cell >= 0 && cell < 100; ++cell)
            if ((Ink(shot, cell, *at) > 20) != (cell != 44))
                return false;
        return cell == 100;
    })) << cell;
    shot.save(QELVARA_SHOT_DIR "/test-view-weston.png");
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

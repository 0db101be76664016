// The real window on real displays, inside scripts/e2e/session.sh: typed into
// on X through each input-method route (QELVARA_E2E_IM: fcitx, ibus against
// fcitx5's ibus frontend, ibus-daemon), and as a client of headless weston
// and mutter. Pictures for people to look at land in QELVARA_SHOT_DIR.
#include "engine/bank/bank.h"
#include "engine/random_source.h"
#include "engine/temp.h"
#include "ui/form1.h"
#include "ui/version.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextLayout>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>

namespace {

const QString kRoute = qEnvironmentVariable("QELVARA_E2E_IM");
const bool kOnFcitx5 = kRoute != "ibus-daemon";

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

// Runs a tool (args[0]) to its end in `dir`: its output, none if it failed.
std::optional<QString> Tool(const QStringList &args, const QString &dir = {}) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(args[0], args.mid(1));
    if (!WaitUntil([&] { return p.state() == QProcess::NotRunning; }) ||
        p.error() != QProcess::UnknownError || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// The screen, from a tool that writes a PNG into its working directory.
QImage Screenshot(const QStringList &tool, const QString &keepAs) {
    const QTemporaryDir dir;
    const QStringList pngs =
        Tool(tool, dir.path()) ? QDir(dir.path()).entryList({"*.png"}) : QStringList();
    if (pngs.isEmpty())
        return {};
    const QImage shot = QImage(dir.filePath(pngs[0])).convertToFormat(QImage::Format_RGB32);
    QDir().mkpath(QELVARA_SHOT_DIR);
    shot.save(QELVARA_SHOT_DIR "/" + keepAs + ".png");
    return shot;
}

// Read back from the X server: what is really shown, not what would be.
QImage Shown(const QRect &r, WId window = 0) {
    return QGuiApplication::primaryScreen()
        ->grabWindow(window, r.x(), r.y(), r.width(), r.height())
        .toImage();
}

// Pixels darker than mid-grey: a few hundred in a sheet cell whose character
// is black, none in a white one.
int DarkPixels(const QImage &img) {
    int dark = 0;
    for (int i = 0; i < img.width() * img.height(); ++i)
        dark += qGray(img.pixel(i % img.width(), i / img.width())) < 128;
    return dark;
}

// A sheet cell inside its grid lines, in the window's coordinates.
QRect CellRect(const Form1 &form, int i) {
    const QTableWidget *grid = form.MSHFlexGrid1;
    const QRect r = grid->visualRect(grid->model()->index(i / 20, i % 20)).adjusted(2, 2, -2, -2);
    return r.translated(grid->viewport()->mapTo(&form, QPoint(0, 0)));
}

QString Preedit(const Form1 &form) { // toPlainText() never holds the composition
    return form.Text1->textCursor().block().layout()->preeditAreaText();
}

// Every sheet is the same: these characters at these places (a swapped row
// and column would show at 44), the rest from the middle of the bank.
const std::map<QChar, int> kPlaced = {{u'日', 0}, {u'月', 1}, {u'人', 2}, {u'我', 44}};
struct PlacedSheet : temp::RandomSource {
    void Reseed() override { next_ = 0; }
    float Next() override {
        const int place = next_++ % temp::kSheetSize;
        int n = 2001 + place; // bank index, 1..5338
        for (int slot = 0; slot < temp::kBankSlots; ++slot)
            for (const auto &[ch, at] : kPlaced)
                if (const auto i = temp::kBankData[slot].find(ch.unicode());
                    at == place && i != std::u16string_view::npos)
                    n = slot * temp::kSlotLength + static_cast<int>(i) + 1;
        return (n - 0.5f) / temp::kBankSize; // the middle of n's interval
    }
    int next_ = 0;
} sheet;

// Selects `engine` in the running input method. ibus also runs setxkbmap,
// which fails without an X display: what it reports afterwards counts.
bool SelectEngine(const QString &engine) {
    const QStringList ask =
        kOnFcitx5 ? QStringList{"fcitx5-remote", "-n"} : QStringList{"ibus", "engine"};
    const QStringList set = kOnFcitx5 ? QStringList{"fcitx5-remote", "-s"} : ask;
    return WaitUntil([&] { return Tool(set + QStringList{engine}), Tool(ask) == engine; });
}

struct Desktop : testing::Test {
    void SetUp() override {
        temp::ResetState();
        form_.show();
        ASSERT_TRUE(WaitUntil([&] { return form_.windowHandle()->isExposed(); }));
    }
    void Start() {
        form_.Command2->click();
        form_.Timer1->stop();                   // the tests tick the clock
        for (const auto &[ch, place] : kPlaced) // a filler that clashes shifts the sheet
            ASSERT_EQ(form_.MSHFlexGrid1->item(place / 20, place % 20)->text(), ch);
    }
    QString Text() const { return form_.Text1->toPlainText(); }
    testing::AssertionResult Seen(bool ok) const {
        return (ok ? testing::AssertionSuccess() : testing::AssertionFailure())
               << "text " << Text().toStdString() << ", composition "
               << Preedit(form_).toStdString();
    }
    // Presses `key` (a key name, or text to type) until the input method
    // composes with it, which shows that keys reach its input context; then
    // takes the composition back. A key that arrived before that context was
    // focused lands as a letter and is removed.
    testing::AssertionResult Probe(const std::function<bool(QString)> &press, const QString &key) {
        const QString text = Text();
        for (int attempt = 0; attempt < 20 && Preedit(form_).isEmpty(); ++attempt) {
            if (Text() != text && Text() != text + key)
                break;
            if (Text() != text)
                form_.Window().SetTypingText(text.toStdU16String());
            press(key);
            WaitUntil([&] { return !Preedit(form_).isEmpty() || Text() != text; }, 1000);
        }
        return Seen(!Preedit(form_).isEmpty() && press("Escape") &&
                    WaitUntil([&] { return Preedit(form_).isEmpty(); }) && Text() == text);
    }

    // The X tests go through the pointer and keys of the X server, as the
    // user types. Ready gives the window the X focus, which nobody does without a window
    // manager (--onlyvisible: Qt's hidden client leader has the same title),
    // selects `engine` and waits until it composes in the box.
    testing::AssertionResult Ready(const QString &engine) {
        const QString title = QStringLiteral("^%1$").arg(QString::fromUtf8(qelvara::kWindowTitle));
        if (!Tool({"xdotool", "search", "--sync", "--onlyvisible", "--name", title, "windowfocus",
                   "--sync"}) ||
            !SelectEngine(engine))
            return testing::AssertionFailure() << "no " << engine.toStdString();
        return Probe([&](const QString &key) { return bool(Press(key)); },
                     engine == "chewing" ? "j" : "a");
    }
    // Presses keys (named, or typed as text), then waits for `cond`.
    testing::AssertionResult Press(const QString &keys, const std::function<bool()> &cond = {},
                                   const char *how = "key") {
        return Seen(Tool({"xdotool", how, "--delay", "15", keys}) && (!cond || WaitUntil(cond)));
    }
    // Waits until 我's cell shows white or black on the screen, repainted
    // first so that a wrong colour cannot hide behind a missed update.
    bool Shows(bool white) {
        form_.MSHFlexGrid1->viewport()->repaint();
        const QRect cell =
            CellRect(form_, kPlaced.at(u'我')).translated(form_.mapToGlobal(QPoint()));
        return WaitUntil([&] { return (DarkPixels(Shown(cell)) > 20) != white; });
    }
    // No --sync on the move: it waits forever when the pointer is already there.
    bool ClickAt(const QWidget *w) {
        const QPoint p = w->mapToGlobal(w->rect().center());
        return Tool({"xdotool", "mousemove", QString::number(p.x()), QString::number(p.y()),
                     "click", "1"})
            .has_value();
    }
    Form1 form_;
};
struct InputMethod : Desktop, testing::WithParamInterface<std::string> {};

TEST_P(InputMethod, TypedCharactersVanishAndComeBackAndTheOpenCompositionLandsOnceAtFinish) {
    // Table engines show a code: fcitx5's table the keys, ibus-table its first candidate.
    const bool chewing = GetParam() == "Chewing";
    const QString engine = chewing ? "chewing" : kOnFcitx5 ? "cangjie" : "table:cangjie5";
    const QString keys = chewing ? "ji3" : "hqi", commit = chewing ? "Return" : "space";
    const QString shown = chewing || !kOnFcitx5 ? "我" : "hqi";
    Start();
    ASSERT_TRUE(Ready(engine));

    const auto composed = [&] { return Preedit(form_) == shown; };
    const auto committed = [&] { return Text() == "我" && Preedit(form_).isEmpty(); };
    ASSERT_TRUE(Press(keys, composed, "type"));
    EXPECT_TRUE(Shows(false)) << "a composition is not text yet";
    ASSERT_TRUE(Press(commit, committed));
    EXPECT_TRUE(Shows(true));
    ASSERT_TRUE(Press("BackSpace", [&] { return Text().isEmpty(); }));
    EXPECT_TRUE(Shows(false));

    ASSERT_TRUE(Press(keys, composed, "type") && Press(commit, committed));
    ASSERT_TRUE(Press(keys, composed, "type")); // open at Finish
    if (chewing && kRoute == "fcitx") { // the candidate list drawn, for the README's picture
        Press("Down");
        const auto list = Tool(
            {"xdotool", "search", "--sync", "--onlyvisible", "--name", "^Fcitx5 Input Window$"});
        const WId id = list ? list->section('\n', 0, 0).toULongLong() : 0;
        WaitUntil([&] { return id && DarkPixels(Shown({0, 0, -1, -1}, id)) > 100; });
        Screenshot({"import", "-window", "root", "shot.png"}, "typing-in-progress-fcitx");
        ASSERT_TRUE(Press("Escape", composed)); // closes the list, keeps the composition
    }
    for (int i = 0; i < 60; ++i)
        form_.Timer1_Timer();
    // The result box's exec() holds up the click on Finish until it is answered.
    QString typed;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            box && box->windowHandle()->isExposed() && typed.isEmpty())
            typed = Text(), ClickAt(box->button(QMessageBox::Yes));
    });
    answer.start(20);
    ASSERT_TRUE(ClickAt(form_.Command1)); // a click leaves the composition in the box
    ASSERT_TRUE(WaitUntil([&] { return !typed.isEmpty() && !QApplication::activeModalWidget(); }));
    EXPECT_EQ(typed, "我" + shown) << "the composition, once";

    form_.Timer1->stop(); // nothing of it arrives in the next test either
    ASSERT_TRUE(Ready(engine));
    EXPECT_EQ(Text(), "");
}

// Chewing and Cangjie: a phonetic and a shape engine, each from both daemons.
INSTANTIATE_TEST_SUITE_P(, InputMethod, testing::Values("Chewing", "Cangjie"),
                         [](const auto &info) { return info.param; });

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
    form_.windowHandle()->setWindowStates(Qt::WindowMaximized);
    Start();
    form_.Text1->insertPlainText("月");
    QImage shot;
    std::optional<QPoint> at;
    const auto wrongCell = [&] { // the first cell whose ink is wrong, -1 when all are right
        for (int i = 0; i < temp::kSheetSize; ++i)
            if ((DarkPixels(shot.copy(CellRect(form_, i).translated(*at))) > 20) != (i != 1))
                return i;
        return -1;
    };
    ASSERT_TRUE(WaitUntil([&] {
        shot = Screenshot({"weston-screenshooter"}, "test-view-weston");
        return (at = Locate(shot, &form_)) && wrongCell() < 0;
    })) << "window found "
        << at.has_value() << ", wrong cell " << (at ? wrongCell() : -1);
    EXPECT_EQ(form_.windowHandle()->size(), QSize(681, 425)); // the title bar lies outside
    EXPECT_EQ(form_.windowHandle()->windowStates(), Qt::WindowNoState);
}

// A call to mutter's remote desktop, on our own connection: a session ends
// with the connection that made it. Plain messages: QDBusInterface would
// introspect, and Qt caches that for good.
bool Mutter(const QString &path, const QString &method, const QVariantList &args = {},
            QString *session = nullptr) {
    const QString interface = "org.gnome.Mutter.RemoteDesktop";
    QDBusMessage m = QDBusMessage::createMethodCall(
        interface, path, path.contains("/Session/") ? interface + ".Session" : interface, method);
    m.setArguments(args);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(m);
    if (session != nullptr)
        *session = qvariant_cast<QDBusObjectPath>(reply.arguments().value(0)).path();
    return reply.type() == QDBusMessage::ReplyMessage;
}

TEST_F(Desktop, KeysThroughMutterReachTheBoxAsChinese) {
    Start();
    ASSERT_TRUE(WaitUntil([&] { return form_.windowHandle()->isActive(); }));
    ASSERT_TRUE(SelectEngine("table:cangjie5"));
    QString session;
    ASSERT_TRUE(Mutter("/org/gnome/Mutter/RemoteDesktop", "CreateSession", {}, &session));
    ASSERT_TRUE(Mutter(session, "Start"));
    const auto press = [&](const QString &key) {
        const uint keysym = key == "Escape" ? 0xff1b : key == "space" ? ' ' : key[0].unicode();
        return Mutter(session, "NotifyKeyboardKeysym", {keysym, true}) &&
               Mutter(session, "NotifyKeyboardKeysym", {keysym, false});
    };
    // The first keys of a session may never arrive (mutter 48 drops several).
    ASSERT_TRUE(Probe(press, "a"));
    ASSERT_TRUE(Seen(press("a") && WaitUntil([&] { return Preedit(form_) == "日"; })));
    ASSERT_TRUE(Seen(press("space") && WaitUntil([&] { return Text() == "日"; })));
    Mutter(session, "Stop");
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    temp::SetRandomSource(&sheet);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

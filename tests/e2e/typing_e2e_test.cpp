// The real window on an X server, typed into through a real input method, as
// a Zhuyin or Cangjie user types. Inside scripts/e2e/with-im-session.sh, whose
// route QELVARA_E2E_IM names: fcitx (its Qt plugin), ibus (Qt's ibus plugin
// against fcitx5) or ibus-daemon.
#include "tests/support/desktop.h"
#include "ui/version.h"

#include <QAccessible>
#include <QFile>
#include <QRegularExpression>
#include <QScreen>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace desktop;

const QString kRoute = qEnvironmentVariable("QELVARA_E2E_IM", "fcitx");
const bool kOnFcitx5 = kRoute != "ibus-daemon";
// Chewing on both; Cangjie is fcitx5's own table or ibus-table's.
const QString kChewing = "chewing", kCangjie = kOnFcitx5 ? "cangjie" : "table:cangjie5";

// Gives the window the X focus, which nobody does without a window manager
// (--onlyvisible: Qt's hidden client leader has the same title), then waits
// until the input method runs `engine` (ibus: one for every input context).
bool Focus(const QString &engine) {
    const QString title = QStringLiteral("^%1$").arg(QString::fromUtf8(qelvara::kWindowTitle));
    const QStringList ask =
        kOnFcitx5 ? QStringList{"fcitx5-remote", "-n"} : QStringList{"ibus", "engine"};
    const QStringList set = kOnFcitx5 ? QStringList{"fcitx5-remote", "-s"} : ask;
    return Tool({"xdotool", "search", "--sync", "--onlyvisible", "--name", title, "windowfocus",
                 "--sync"}) &&
           WaitUntil([&] { return Tool(set + QStringList{engine}) && Tool(ask) == engine; });
}

// No --sync on the move: it waits forever when the pointer is already there.
auto ClickAt(const QWidget *w) {
    const QPoint p = w->mapToGlobal(w->rect().center());
    return Tool(
        {"xdotool", "mousemove", QString::number(p.x()), QString::number(p.y()), "click", "1"});
}

// Read back from the X server: what is really shown, not what would be.
QImage Shown(const QRect &r, WId window = 0) {
    return QGuiApplication::primaryScreen()
        ->grabWindow(window, r.x(), r.y(), r.width(), r.height())
        .toImage();
}

// Sheet places of the characters typed: corners and edges, so that a wrong
// row or column shows.
const std::map<QChar, int> kPlaced = {
    {u'我', 0}, {u'你', 19}, {u'好', 20}, {u'中', 44}, {u'文', 99}};
PlacedSheet sheet(kPlaced);

struct TypingTest : testing::Test {
    void SetUp() override {
        temp::ResetState();
        form_.show();
        ASSERT_TRUE(WaitUntil([&] { return form_.windowHandle()->isExposed(); }));
        ASSERT_TRUE(ClickAt(form_.Command2)); // Start, with the pointer, as the user does
        ASSERT_TRUE(WaitUntil([&] { return form_.Text1->hasFocus(); }));
        form_.Timer1->stop(); // the tests tick the clock
        ASSERT_TRUE(Ready(kChewing));
        // A filler that clashes with a placed character shifts the sheet.
        for (const auto &[ch, place] : kPlaced)
            ASSERT_EQ(form_.MSHFlexGrid1->item(place / 20, place % 20)->text(), ch);
    }

    // Waits until each of the characters shows white, or black, on the screen.
    // The grid is repainted first: a cell turned white by mistake cannot hide
    // behind a missed update.
    bool Shows(const QString &chars, bool white) {
        form_.MSHFlexGrid1->viewport()->repaint();
        return WaitUntil([&] {
            return std::all_of(chars.begin(), chars.end(), [&](QChar ch) {
                const QRect cell =
                    CellRect(form_, kPlaced.at(ch)).translated(form_.mapToGlobal(QPoint()));
                return white ? DarkPixels(Shown(cell)) == 0 : DarkPixels(Shown(cell)) > 20;
            });
        });
    }

    // The input method composes in the box with `engine`: a probe key shows a
    // composition, which Escape takes back. A key that came before the
    // plugin's input context was focused lands as a letter: remove it and try
    // again. Whatever the input method sent before the probe's composition has
    // arrived by then, so the box holds all it will hold.
    testing::AssertionResult Ready(const QString &engine) {
        if (!Focus(engine))
            return testing::AssertionFailure() << "no " << engine.toStdString();
        const QString text = Text();
        for (int attempt = 0; attempt < 20; ++attempt) {
            Key(engine == kChewing ? "j" : "a");
            WaitUntil([&] { return !Preedit(form_).isEmpty() || Text() != text; }, 1000);
            if (!Preedit(form_).isEmpty())
                return Until([&] { return Preedit(form_).isEmpty(); }, "Escape");
            form_.Window().SetTypingText(text.toStdU16String());
        }
        return Seen(false) << " (" << engine.toStdString() << " composed nothing)";
    }

    QString Text() const { return form_.Text1->toPlainText(); }
    bool Key(const QString &keys, const char *how = "key") {
        return Tool({"xdotool", how, "--delay", "15", keys}).has_value();
    }
    // Presses `key` (if any), then waits for `cond`.
    testing::AssertionResult Until(const std::function<bool()> &cond, const QString &key = {}) {
        return Seen((key.isEmpty() || Key(key)) && WaitUntil(cond));
    }
    testing::AssertionResult Seen(bool ok) const {
        return (ok ? testing::AssertionSuccess() : testing::AssertionFailure())
               << "text " << Text().toStdString() << ", composition "
               << Preedit(form_).toStdString();
    }
    testing::AssertionResult Compose(const QString &keys, const QString &preedit) {
        return Seen(Key(keys, "type") && WaitUntil([&] { return Preedit(form_) == preedit; }));
    }
    // Return: chewing commits the whole composition in one event.
    testing::AssertionResult Commit(const QString &text) {
        return Until([&] { return Text() == text && Preedit(form_).isEmpty(); }, "Return");
    }

    Form1 form_; // shown, and so loaded, in SetUp
};

TEST_F(TypingTest, CommitsWhitenCellsOnScreenAndDeletionBlackensThem) {
    // A composition is not text yet: the sheet stays as it is.
    ASSERT_TRUE(Compose("ji3", "我"));
    EXPECT_TRUE(Shows("我", false));
    ASSERT_TRUE(Commit("我"));
    EXPECT_TRUE(Shows("我", true));

    ASSERT_TRUE(Compose("su3cl3", "你好"));
    EXPECT_TRUE(Shows("你好", false));
    if (kOnFcitx5) { // ibus-daemon runs without a panel here: no list to show
        // The candidate list, once drawn, for the picture of a test in progress.
        ASSERT_TRUE(Key("Down"));
        const auto list = Tool(
            {"xdotool", "search", "--sync", "--onlyvisible", "--name", "^Fcitx5 Input Window$"});
        ASSERT_TRUE(list);
        const WId id = list->section('\n', 0, 0).toULongLong();
        EXPECT_TRUE(WaitUntil([&] { return DarkPixels(Shown({0, 0, -1, -1}, id)) > 100; }));
        EXPECT_TRUE(Keep(Screenshot({"import", "-window", "root", "shot.png"}),
                         "typing-in-progress-" + kRoute));
        ASSERT_TRUE(Key("Escape")); // closes the list, keeps the composition
    }
    // A phrase whitens all its sheet characters once committed.
    ASSERT_TRUE(Commit("我你好"));
    EXPECT_TRUE(Shows("你好", true));

    // BackSpace on committed text gives the cell back.
    ASSERT_TRUE(Until([&] { return Text() == "我你"; }, "BackSpace"));
    EXPECT_TRUE(Shows("好", false));
    EXPECT_TRUE(Shows("我你", true));
}

// A composition still open when the test finishes, each way it can finish:
// the box takes it once, as shown, the count agrees with the box, and nothing
// of it arrives in the next test. Table engines leave a code in the
// composition: fcitx5's table the keys typed, ibus-table its first candidate.
struct FinishTest : TypingTest, testing::WithParamInterface<std::string> {};

TEST_P(FinishTest, TheOpenCompositionCountsOnce) {
    const QString how = QString::fromStdString(GetParam()); // the engine, then the finish
    const bool cangjie = how.startsWith("Cangjie");
    const QString engine = cangjie ? kCangjie : kChewing;
    const QString shown = !cangjie ? "中文" : kOnFcitx5 ? "hqi" : "我";
    ASSERT_TRUE(Ready(engine));
    for (int i = 0; i < (how.endsWith("Clock") ? 599 : 60); ++i)
        form_.Timer1_Timer();
    ASSERT_TRUE(Compose(cangjie ? "hqi" : "5j/ jp6", shown));
    QString seen, typed, held = shown;
    OnResultBox(&form_, [&](QMessageBox *box) {
        seen = box->text();
        typed = Text();
        ClickAt(box->button(QMessageBox::Yes));
    });
    if (how.endsWith("Click")) {
        ASSERT_TRUE(ClickAt(form_.Command1));
    } else if (how.endsWith("Keyboard")) {
        // A table engine takes the first Tab itself and commits its
        // candidate; the next one leaves the box for Finish. What the box
        // holds then is what Finish must count.
        ASSERT_TRUE(Until([&] { return Preedit(form_).isEmpty(); }, "Tab"));
        if (!form_.Command1->hasFocus()) {
            ASSERT_TRUE(Until([&] { return form_.Command1->hasFocus(); }, "Tab"));
        }
        held = Text();
        ASSERT_TRUE(Key("space"));
    } else if (how.endsWith("Accessibility")) {
        QAccessible::queryAccessibleInterface(form_.Command1)
            ->actionInterface()
            ->doAction(QAccessibleActionInterface::pressAction());
    } else {
        form_.Timer1_Timer(); // 10:00; returns once the box is answered
    }
    ASSERT_TRUE(Until([&] { return !seen.isEmpty() && !QApplication::activeModalWidget(); }));
    EXPECT_EQ(typed, held) << "the composition, once";
    static const QRegularExpression count("正確字數： (\\d+)字");
    EXPECT_EQ(count.match(seen).captured(1).toInt(),
              std::count_if(kPlaced.begin(), kPlaced.end(),
                            [&](auto &p) { return typed.contains(p.first); }))
        << "the count agrees with the box";

    // The next test: nothing of the composition arrives after all.
    form_.Timer1->stop();
    ASSERT_TRUE(Ready(engine));
    EXPECT_EQ(Text(), "");
}

// Chewing takes Tab while it composes: the keyboard cannot reach Finish.
INSTANTIATE_TEST_SUITE_P(, FinishTest,
                         testing::Values("ChewingClick", "ChewingAccessibility", "ChewingClock",
                                         "CangjieClick", "CangjieKeyboard", "CangjieAccessibility",
                                         "CangjieClock"),
                         [](const auto &info) { return info.param; });

// QT_IM_MODULE names the route under test, and its plugin is the one loaded.
TEST(InputRoute, TheNamedPluginIsLoaded) {
    QFile maps("/proc/self/maps");
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    EXPECT_TRUE(maps.readAll().contains(qgetenv("QT_IM_MODULE") == "ibus" ? "libibusplatform"
                                                                          : "libfcitx5platform"));
}

} // namespace

int main(int argc, char **argv) {
    return desktop::RunTests(argc, argv, sheet);
}

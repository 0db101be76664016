// The real window on a real X server, typed into with key presses through a
// real input method, the way a Zhuyin or Cangjie user types. Run inside
// scripts/e2e/with-im-session.sh, which provides the display and the input
// method; QELVARA_E2E_IM names the route: fcitx5 through its Qt plugin
// ("fcitx"), Qt's ibus plugin against fcitx5 ("ibus") or against a real
// ibus-daemon ("ibus-daemon").
#include "engine/bank/bank.h"
#include "engine/random_source.h"
#include "engine/temp.h"
#include "ui/form1.h"
#include "ui/version.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTextBlock>
#include <QTextLayout>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <ostream>

// Readable failure messages.
void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

// --- the desktop ------------------------------------------------------------

// Pumps the event loop meanwhile, so the window keeps answering the X server
// and the input method while a condition or a tool is waited for.
bool WaitUntil(const std::function<bool()> &cond, int ms = 5000) {
    const QDeadlineTimer deadline(ms);
    QTimer wake; // looks again now and then: other processes change things too
    wake.start(5);
    while (!cond() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return cond();
}

// Runs a tool (args[0]) to its end: its standard output, none if it failed.
std::optional<QString> Tool(const QStringList &args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(args[0], args.mid(1));
    if (!WaitUntil([&] { return p.state() == QProcess::NotRunning; }) ||
        p.error() != QProcess::UnknownError || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QString Route() {
    return qEnvironmentVariable("QELVARA_E2E_IM", "fcitx");
}
bool OnFcitx5() {
    return Route() != "ibus-daemon";
}
// Chewing on both; Cangjie is fcitx5's own table or ibus-table's.
const QString kChewing = "chewing";
QString Cangjie() {
    return OnFcitx5() ? "cangjie" : "table:cangjie5";
}

// The engine the input method runs for the focused box, if it is on.
std::optional<QString> Engine() {
    if (!OnFcitx5())
        return Tool({"ibus", "engine"}); // global: one for every input context
    if (Tool({"fcitx5-remote"}) != "2")
        return {};
    return Tool({"fcitx5-remote", "-n"});
}

// Gives the window the X focus, which nobody does without a window manager
// (--onlyvisible: Qt's hidden client leader has the same title), then waits
// until the input method runs `engine` for the typing box.
bool Focus(const QString &engine) {
    const QString title = QStringLiteral("^%1$").arg(QString::fromUtf8(qelvara::kWindowTitle));
    return Tool({"xdotool", "search", "--sync", "--onlyvisible", "--name", title, "windowfocus",
                 "--sync"}) &&
           WaitUntil([&] {
               const auto now = Engine();
               if (now && *now != engine)
                   Tool(OnFcitx5() ? QStringList{"fcitx5-remote", "-s", engine}
                                   : QStringList{"ibus", "engine", engine});
               return now == engine;
           });
}

// Text for a log line: a Tab as \t.
QString Visible(QString s) {
    return s.replace('\t', "\\t");
}

// No --sync on the move: it waits forever when the pointer is already there.
auto ClickAt(const QWidget *w) {
    const QPoint p = w->mapToGlobal(w->rect().center());
    return Tool(
        {"xdotool", "mousemove", QString::number(p.x()), QString::number(p.y()), "click", "1"});
}

// Pixels darker than mid-grey in a window (0: the root, whose pixels are the
// screen) read back from the X server: what is really shown, not what would be.
int DarkPixels(WId window, const QRect &r = {0, 0, -1, -1}) {
    QScreen *screen = QGuiApplication::primaryScreen();
    const QImage img = screen->grabWindow(window, r.x(), r.y(), r.width(), r.height()).toImage();
    int dark = 0;
    for (int i = 0; i < img.width() * img.height(); ++i)
        dark += qGray(img.pixel(i % img.width(), i / img.width())) < 128;
    return dark;
}

// Once a read-back answers, the X server has carried out every drawing request
// sent before it, so another client's screenshot shows them.
void FlushToScreen(QWidget *w) {
    w->repaint();
    DarkPixels(0, {0, 0, 1, 1});
}

// Waits until fcitx5's candidate window is mapped, then until it is drawn.
bool WaitForCandidateList() {
    const auto id =
        Tool({"xdotool", "search", "--sync", "--onlyvisible", "--name", "^Fcitx5 Input Window$"});
    return id && WaitUntil([&] { return DarkPixels(id->section('\n', 0, 0).toULongLong()) > 100; });
}

// The whole display as <shot dir>/<name>-<route>.png (the routes run in
// parallel), once all that w drew is on it.
void Screenshot(QWidget *w, const QString &name) {
    FlushToScreen(w);
    QDir().mkpath(QELVARA_E2E_SHOT_DIR);
    EXPECT_TRUE(Tool(
        {"import", "-window", "root", QELVARA_E2E_SHOT_DIR "/" + name + '-' + Route() + ".png"}));
}

// The engine shows the result box with exec(), which holds up whatever
// finished the test: answer it from inside that modal loop. Its title and text
// as shown go to *seen and the typing box's text meanwhile to *typed, a
// screenshot is taken if `shot` names one, and the pointer clicks Yes.
void AnswerYes(Form1 *form, QString *seen, QString *typed = nullptr, const QString &shot = {}) {
    QTimer::singleShot(20, form, [=] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box == nullptr || !box->windowHandle()->isExposed())
            return AnswerYes(form, seen, typed, shot);
        *seen = box->windowTitle() + ": " + box->text();
        if (typed != nullptr)
            *typed = form->Text1->toPlainText();
        if (!shot.isEmpty())
            Screenshot(box, shot);
        ClickAt(box->button(QMessageBox::Yes));
    });
}

const QString kResult = "成績: 正確字數： %1字\n您的速度：每分鐘平均%2字\n\n是否開始新一次練習？";

// --- the sheet ----------------------------------------------------------------

// Sheet positions (1..100) of the characters typed. In the corners and on the
// edges, so a wrong row or column shows. 灣 is typed too, but is not in the bank.
const std::map<QChar, int> kPlaced = {{u'我', 1},  {u'你', 20}, {u'好', 21}, {u'中', 45},
                                      {u'文', 60}, {u'台', 77}, {u'電', 99}, {u'腦', 100}};

// Every sheet (Reseed) is the same: kPlaced, the rest from the middle of the
// bank. A clash with a placed character would shift the sheet; SetUp sees it.
struct FixedSheet : temp::RandomSource {
    int next = 0;
    void Reseed() override { next = 0; }
    float Next() override {
        const int pos = next++ % temp::kSheetSize + 1;
        int n = 2000 + pos; // bank index, 1..5338
        for (int slot = 0; slot < temp::kBankSlots; ++slot)
            for (const auto &[ch, p] : kPlaced)
                if (const auto i = temp::kBankData[slot].find(ch.unicode());
                    p == pos && i != std::u16string_view::npos)
                    n = slot * temp::kSlotLength + static_cast<int>(i) + 1;
        // The middle of its interval: floor(r * 5338 + 1) == n.
        return (static_cast<float>(n) - 0.5f) / static_cast<float>(temp::kBankSize);
    }
};

FixedSheet sheet;

struct TypingTest : testing::Test {
    void SetUp() override {
        temp::ResetState();
        form_.show();
        ASSERT_TRUE(WaitUntil([&] { return form_.windowHandle()->isExposed(); }));
        ASSERT_TRUE(ClickAt(form_.Command2)); // Start, with the pointer, as the user does
        ASSERT_TRUE(WaitUntil([&] { return form_.Text1->hasFocus(); }));
        form_.Timer1->stop(); // the tests tick the clock, so result times are exact
        ASSERT_TRUE(Ready(kChewing));
        for (const auto &[ch, pos] : kPlaced)
            ASSERT_EQ(form_.MSHFlexGrid1->item((pos - 1) / 20, (pos - 1) % 20)->text(), ch);
        ASSERT_TRUE(Shows("我你好中文台電腦", false));
    }

    // Dark pixels of a sheet character's cell, inside the grid lines: none once
    // it is white on the white grid, a few hundred while it is black.
    int Ink(QChar ch) const {
        const int pos = kPlaced.at(ch) - 1;
        QTableWidget *grid = form_.MSHFlexGrid1;
        const QRect cell = grid->visualRect(grid->model()->index(pos / 20, pos % 20));
        return DarkPixels(
            0, cell.adjusted(2, 2, -2, -2).translated(grid->viewport()->mapToGlobal(QPoint(0, 0))));
    }
    // Waits until every one of the characters shows white, or black.
    bool Shows(const QString &chars, bool white) const {
        const auto shown = [&](QChar ch) { return white ? Ink(ch) == 0 : Ink(ch) > 20; };
        return WaitUntil([&] { return std::all_of(chars.begin(), chars.end(), shown); });
    }
    // Black after a repaint of the whole grid: a cell turned white by mistake
    // cannot hide behind a missed update.
    bool StillBlack(const QString &chars) const {
        FlushToScreen(form_.MSHFlexGrid1->viewport());
        return Shows(chars, false);
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
            Tool({"xdotool", "type", engine == kChewing ? "j" : "a"});
            WaitUntil([&] { return !Preedit().isEmpty() || Text() != text; }, 1000);
            if (!Preedit().isEmpty())
                return Seen(Key("Escape").has_value() &&
                            WaitUntil([&] { return Preedit().isEmpty(); }));
            form_.Window().SetTypingText(text.toStdU16String());
        }
        return Seen(false) << " (" << engine.toStdString() << " composed nothing)";
    }

    QString Text() const { return form_.Text1->toPlainText(); }
    // The composition: toPlainText() never holds it.
    QString Preedit() const {
        return form_.Text1->textCursor().block().layout()->preeditAreaText();
    }
    testing::AssertionResult Seen(bool ok) const {
        return (ok ? testing::AssertionSuccess() : testing::AssertionFailure())
               << "text " << Text().toStdString() << ", composition " << Preedit().toStdString();
    }
    // Types Zhuyin keys until chewing shows `preedit`.
    testing::AssertionResult Compose(const QString &keys, const QString &preedit) {
        return Seen(Tool({"xdotool", "type", "--delay", "15", keys}) &&
                    WaitUntil([&] { return Preedit() == preedit; }));
    }
    std::optional<QString> Key(const QString &name) { return Tool({"xdotool", "key", name}); }
    // Return: chewing commits the whole composition in one event.
    testing::AssertionResult Commit(const QString &text) {
        return Seen(Key("Return") &&
                    WaitUntil([&] { return Text() == text && Preedit().isEmpty(); }));
    }

    enum class Finish { Click, Keyboard, Accessibility, Clock };

    // Composes `shown` with `keys` and finishes the test the given way: the
    // box must take the shown text once and the count agree with the box.
    // Answers Yes and leaves the next test ready for `engine`.
    void FinishComposing(Finish finish, const QString &engine, const QString &keys,
                         const QString &shown) {
        static const char *const kNames[] = {"click", "keyboard", "accessibility", "10:00"};
        const char *name = kNames[static_cast<int>(finish)];
        SCOPED_TRACE(name);
        const QString before = Text();
        for (int i = 0; i < (finish == Finish::Clock ? 599 : 60); ++i)
            form_.Timer1_Timer();
        ASSERT_TRUE(Compose(keys, shown));
        QString seen, typed, held = before + shown;
        AnswerYes(&form_, &seen, &typed);
        switch (finish) {
        case Finish::Click:
            ASSERT_TRUE(ClickAt(form_.Command1));
            break;
        case Finish::Keyboard:
            // A table engine takes the first Tab itself and commits its
            // candidate; the next one leaves the box for Finish. What the box
            // holds then is what Finish must count.
            ASSERT_TRUE(Key("Tab"));
            ASSERT_TRUE(Seen(WaitUntil([&] { return Preedit().isEmpty(); })));
            if (!form_.Command1->hasFocus()) {
                ASSERT_TRUE(Key("Tab"));
            }
            ASSERT_TRUE(Seen(WaitUntil([&] { return form_.Command1->hasFocus(); })));
            held = Text();
            ASSERT_TRUE(Key("space"));
            break;
        case Finish::Accessibility:
            QAccessible::queryAccessibleInterface(form_.Command1)
                ->actionInterface()
                ->doAction(QAccessibleActionInterface::pressAction());
            break;
        case Finish::Clock:
            form_.Timer1_Timer(); // returns once the box is answered
            break;
        }
        ASSERT_TRUE(Seen(WaitUntil(
            [&] { return !seen.isEmpty() && QApplication::activeModalWidget() == nullptr; })));
        const int expected = static_cast<int>(std::count_if(
            kPlaced.begin(), kPlaced.end(), [&](auto &p) { return typed.contains(p.first); }));
        static const QRegularExpression count("正確字數： (\\d+)字");
        const int counted = count.match(seen).captured(1).toInt();
        EXPECT_EQ(typed, held) << "the composition, once";
        EXPECT_EQ(counted, expected) << "the count agrees with the box";

        // The next test: nothing of the composition arrives after all.
        form_.Timer1->stop();
        ASSERT_TRUE(Ready(engine));
        EXPECT_EQ(Text(), "");
        std::printf(
            "composition-at-finish %s %s %s: shown %s, box %s, counted %d: %s\n",
            qPrintable(Route()), qPrintable(engine), name,
            qPrintable(Visible(finish == Finish::Keyboard ? held.mid(before.size()) : shown)),
            qPrintable(Visible(typed)), counted,
            typed == held && counted == expected && Text().isEmpty() ? "once" : "WRONG");
    }

    Form1 form_; // shown, and so loaded, in SetUp
};

TEST_F(TypingTest, CommitsWhitenCellsOnScreenAndDeletionBlackensThem) {
    // A composition is not text yet: the box and the sheet stay as they are.
    QStringList changes;
    QObject::connect(form_.Text1, &qelvara::TypingBox::contentChanged, [&] { changes << Text(); });
    ASSERT_TRUE(Compose("ji3", "我"));
    EXPECT_TRUE(StillBlack("我"));
    ASSERT_TRUE(Commit("我"));
    EXPECT_TRUE(Shows("我", true));

    // A phrase held in the composition changes nothing until it is committed,
    // then whitens all its sheet characters in one change of the box.
    ASSERT_TRUE(Compose("su3cl3", "你好"));
    EXPECT_TRUE(StillBlack("你好"));
    if (OnFcitx5()) {             // ibus-daemon runs without a panel here: no list to show
        ASSERT_TRUE(Key("Down")); // the candidate list, for the picture of a test in progress
        EXPECT_TRUE(WaitForCandidateList());
        Screenshot(&form_, "typing-in-progress");
        ASSERT_TRUE(Key("Escape")); // closes the list, keeps the composition
    }
    ASSERT_TRUE(Commit("我你好"));
    EXPECT_TRUE(Shows("你好", true));
    EXPECT_EQ(changes, (QStringList{"我", "我你好"}));

    // BackSpace on committed text gives the cell back.
    ASSERT_TRUE(Key("BackSpace"));
    ASSERT_TRUE(Seen(WaitUntil([&] { return Text() == "我你"; })));
    EXPECT_TRUE(Shows("好", false));
    EXPECT_TRUE(Shows("我你", true));

    // Up to 99 units through the box's own paste (灣 is on no sheet); a commit
    // of two more is cut to the one that fits.
    QApplication::clipboard()->setText(QString(97, u'灣'));
    ASSERT_TRUE(Key("ctrl+v"));
    ASSERT_TRUE(Compose("2u04sl3", "電腦"));
    ASSERT_TRUE(Commit("我你" + QString(97, u'灣') + "電"));
    EXPECT_TRUE(Shows("電", true));
    EXPECT_TRUE(StillBlack("腦"));
}

// Chewing takes Tab while it composes, so the keyboard cannot reach Finish
// with a composition open.
TEST_F(TypingTest, ChewingCompositionCountsOnceAtEveryFinish) {
    for (Finish finish : {Finish::Click, Finish::Accessibility, Finish::Clock}) {
        ASSERT_TRUE(Compose("ji3", "我"));
        ASSERT_TRUE(Commit("我"));
        FinishComposing(finish, kChewing, "5j/ jp6", "中文");
        if (HasFatalFailure())
            return;
        // Yes: a new test on the same sheet, all black again.
        EXPECT_EQ(form_.Label3->text(), "0:00");
        EXPECT_TRUE(Shows("我中文", false));
    }
}

// Table engines leave a code in the composition: fcitx5's table shows the
// keys typed, ibus-table its first candidate.
TEST_F(TypingTest, CangjieCodeCountsOnceAtEveryFinish) {
    ASSERT_TRUE(Ready(Cangjie()));
    const QString shown = OnFcitx5() ? "hqi" : "我";
    for (Finish finish : {Finish::Click, Finish::Keyboard, Finish::Accessibility, Finish::Clock}) {
        FinishComposing(finish, Cangjie(), "hqi", shown);
        if (HasFatalFailure())
            return;
    }
}

// QT_IM_MODULE names the route under test, and its plugin is the one loaded.
TEST(InputRoute, TheNamedPluginIsLoaded) {
    QFile maps("/proc/self/maps");
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    EXPECT_TRUE(maps.readAll().contains(qgetenv("QT_IM_MODULE") == "ibus" ? "libibusplatform"
                                                                          : "libfcitx5platform"));
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    temp::SetRandomSource(&sheet);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

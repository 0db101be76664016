// The real window on a real X server, typed into with key presses through
// fcitx5 + chewing, the way a Zhuyin user types. Run inside
// scripts/e2e/with-im-session.sh, which provides the display and the input
// method; QT_IM_MODULE picks the route (Qt's fcitx5 plugin or its ibus plugin).
#include "engine/bank/bank.h"
#include "engine/random_source.h"
#include "engine/temp.h"
#include "ui/form1.h"
#include "ui/version.h"

#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QTextBlock>
#include <QTextLayout>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
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
bool WaitUntil(const std::function<bool()> &cond) {
    const QDeadlineTimer deadline(5000);
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

// Gives the window the X focus, which nobody does without a window manager
// (--onlyvisible: Qt's hidden client leader has the same title), then waits
// until the input method is on for the typing box: active, and chewing.
bool Focus() {
    const QString title = QStringLiteral("^%1$").arg(QString::fromUtf8(qelvara::kWindowTitle));
    return Tool({"xdotool", "search", "--sync", "--onlyvisible", "--name", title, "windowfocus",
                 "--sync"}) &&
           WaitUntil([] {
               return Tool({"fcitx5-remote"}) == "2" && Tool({"fcitx5-remote", "-n"}) == "chewing";
           });
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
        {"import", "-window", "root",
         QELVARA_E2E_SHOT_DIR "/" + name + '-' + qEnvironmentVariable("QT_IM_MODULE") + ".png"}));
}

// The engine shows the result box with exec(), which holds up whatever
// finished the test: answer it from inside that modal loop. Its title and text
// as shown go to *seen, a screenshot is taken, and the pointer clicks Yes.
void AnswerYes(QObject *owner, QString *seen) {
    QTimer::singleShot(20, owner, [=] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box == nullptr || !box->windowHandle()->isExposed())
            return AnswerYes(owner, seen);
        *seen = box->windowTitle() + ": " + box->text();
        Screenshot(box, "result-box");
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
        ASSERT_TRUE(Focus());
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
    auto Key(const QString &name) { return Tool({"xdotool", "key", name}); }
    // Return: chewing commits the whole composition in one event.
    testing::AssertionResult Commit(const QString &text) {
        return Seen(Key("Return") &&
                    WaitUntil([&] { return Text() == text && Preedit().isEmpty(); }));
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
    ASSERT_TRUE(Key("Down")); // the candidate list, for the picture of a test in progress
    EXPECT_TRUE(WaitForCandidateList());
    Screenshot(&form_, "typing-in-progress");
    ASSERT_TRUE(Key("Escape")); // closes the list, keeps the composition
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

TEST_F(TypingTest, BothFinishesCountTheOpenComposition) {
    ASSERT_TRUE(Compose("ji3", "我"));
    ASSERT_TRUE(Commit("我"));
    for (int i = 0; i < 60; ++i)
        form_.Timer1_Timer();
    // Still composing when the pointer presses Finish.
    ASSERT_TRUE(Compose("5j/ jp6", "中文"));
    QString seen;
    AnswerYes(&form_, &seen);
    ASSERT_TRUE(ClickAt(form_.Command1));
    ASSERT_TRUE(Seen(WaitUntil([&] { return !seen.isEmpty() && Text().isEmpty(); })));
    EXPECT_EQ(seen, kResult.arg(3).arg(" 3")) << "中文 of the open composition must count";

    // Yes: a new test on the same sheet, all black again, taking typing at once.
    EXPECT_EQ(form_.Label3->text(), "0:00");
    EXPECT_TRUE(Shows("我中文", false));
    form_.Timer1->stop();
    ASSERT_TRUE(Focus());
    ASSERT_TRUE(Compose("su3", "你"));
    ASSERT_TRUE(Commit("你"));

    // The 600th tick finishes the test with 台灣 still composed; 台 is on the
    // sheet, 灣 is not.
    for (int i = 0; i < 599; ++i)
        form_.Timer1_Timer();
    ASSERT_TRUE(Compose("w96j0 ", "台灣"));
    AnswerYes(&form_, &seen);
    form_.Timer1_Timer(); // returns once the box is answered
    EXPECT_EQ(seen, kResult.arg(2).arg(" .2")) << "台 of the open composition must count";
    EXPECT_EQ(form_.Label3->text(), "0:00");
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

// The real window on a real X server, typed into with key presses through
// fcitx5 + chewing, the way a Zhuyin user types. Run inside
// scripts/e2e/with-im-session.sh, which provides the display and the input
// method.
#include "desktop.h"
#include "result_box.h"

#include "bank/bank.h"
#include "form1.h"
#include "random_source.h"
#include "temp.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <memory>
#include <ostream>
#include <vector>

// Readable failure messages.
void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

using namespace e2e;

const QString kTitle = QStringLiteral("Qelvara v1.0");

// Bank index (1..5338) of a character, searched in the bank itself.
int BankIndexOf(char16_t ch) {
    for (int slot = 0; slot < temp::kBankSlots; ++slot) {
        const auto pos = temp::kBankData[static_cast<std::size_t>(slot)].find(ch);
        if (pos != std::u16string_view::npos)
            return slot * temp::kSlotLength + static_cast<int>(pos) + 1;
    }
    return 0;
}

// Sheet positions (1..100) of the characters the tests type. They sit in the
// corners and edges of the sheet, so a wrong row or column shows.
const std::map<QChar, int> kPlaced = {
    {u'我', 1},  {u'你', 20}, {u'好', 21}, {u'中', 45},
    {u'文', 60}, {u'台', 77}, {u'電', 99}, {u'腦', 100},
};
// Typed but never on the sheet. 灣 is not in the bank at all (Big5 0xC657).
constexpr char16_t kOffSheet = u'灣';

// Fixes the sheet: every draw yields the next planned bank index, and every
// new sheet (Reseed) starts the plan again.
class FixedSheet : public temp::RandomSource {
public:
    FixedSheet() {
        std::vector<int> used;
        for (const auto &[ch, pos] : kPlaced)
            used.push_back(BankIndexOf(ch.unicode()));
        int filler = 2001; // the middle of the bank: none of the typed characters
        for (int pos = 1; pos <= temp::kSheetSize; ++pos) {
            int n = 0;
            for (const auto &[ch, p] : kPlaced)
                if (p == pos)
                    n = BankIndexOf(ch.unicode());
            while (n == 0) {
                if (std::find(used.begin(), used.end(), filler) == used.end())
                    n = filler;
                ++filler;
            }
            plan_[static_cast<std::size_t>(pos - 1)] = n;
        }
    }
    void Reseed() override { next_ = 0; }
    float Next() override {
        const int n = plan_[next_++ % plan_.size()];
        // The middle of the index's interval: floor(r * 5338 + 1) == n.
        return (static_cast<float>(n) - 0.5f) / static_cast<float>(temp::kBankSize);
    }

private:
    std::array<int, temp::kSheetSize> plan_{};
    std::size_t next_ = 0;
};

QString ResultText(int count, const QString &speed) {
    return QStringLiteral("正確字數： %1字\n您的速度：每分鐘平均%2字\n\n是否開始新一次練習？")
        .arg(count)
        .arg(speed);
}

class TypingTest : public testing::Test {
protected:
    void SetUp() override {
        for (const auto &[ch, pos] : kPlaced)
            ASSERT_NE(BankIndexOf(ch.unicode()), 0) << "not in the bank: " << pos;
        ASSERT_EQ(BankIndexOf(kOffSheet), 0);

        temp::ResetState();
        temp::SetRandomSource(&sheet_);
        form_ = std::make_unique<Form1>();
        form_->show(); // the load pass runs here
        ASSERT_TRUE(WaitUntil([&] { return form_->windowHandle()->isExposed(); }));
        ASSERT_TRUE(FocusWindow(kTitle));

        // Start, with the pointer, as the user does.
        ASSERT_TRUE(WaitUntil([&] { return form_->Command2->isVisible(); }));
        ASSERT_TRUE(ClickAt(Center(form_->Command2)));
        ASSERT_TRUE(WaitUntil([&] { return form_->Text1->isVisible(); }));
        // The tests drive the clock themselves, so times in the result are exact.
        form_->Timer1->stop();

        ASSERT_EQ(temp::State.SheetText.size(), 100u);
        for (const auto &[ch, pos] : kPlaced)
            ASSERT_EQ(temp::State.SheetText[static_cast<std::size_t>(pos - 1)], ch.unicode());

        if (!form_->Text1->hasFocus()) {
            ASSERT_TRUE(ClickAt(Center(form_->Text1)));
        }
        ASSERT_TRUE(WaitUntil([&] { return form_->Text1->hasFocus(); }));
        ASSERT_TRUE(WaitUntil(ImReady)) << "fcitx5 is not on for the typing box";
        // Every sheet character shows black at first.
        for (const auto &[ch, pos] : kPlaced)
            ASSERT_TRUE(WaitUntil([&] { return Ink(ch) > 0; })) << pos;
    }

    void TearDown() override {
        form_.reset();
        temp::SetRandomSource(nullptr);
    }

    static QPoint Center(const QWidget *w) { return w->mapToGlobal(w->rect().center()); }

    // Dark pixels of a sheet character's cell on the screen: none once it is
    // white on the white grid, a few hundred while it is black.
    int Ink(QChar ch) const {
        const int pos = kPlaced.at(ch);
        QTableWidget *grid = form_->MSHFlexGrid1;
        const QModelIndex index = grid->model()->index((pos - 1) / 20, (pos - 1) % 20);
        if (grid->item(index.row(), index.column())->text() != QString(ch))
            return -1;
        // Inside the grid lines.
        const QRect cell = grid->visualRect(index).adjusted(2, 2, -2, -2);
        return DarkPixelsOnScreen(GlobalRect(grid->viewport(), cell));
    }
    bool White(QChar ch) const { return Ink(ch) == 0; }
    bool Black(QChar ch) const { return Ink(ch) > 20; }
    bool WhenWhite(QChar ch) const {
        return WaitUntil([&] { return White(ch); });
    }
    bool WhenBlack(QChar ch) const {
        return WaitUntil([&] { return Black(ch); });
    }
    // Black after a repaint of the whole grid: a cell the engine turned white
    // by mistake cannot hide behind a missed update.
    bool StillBlack(QChar ch) const {
        form_->MSHFlexGrid1->viewport()->repaint();
        FlushToScreen(form_.get());
        return Black(ch);
    }

    // Without a window manager nobody gives the X focus back to the window
    // when the result box closes.
    testing::AssertionResult Refocus() {
        if (!FocusWindow(kTitle))
            return testing::AssertionFailure() << "cannot focus " << kTitle.toStdString();
        if (!WaitUntil(ImReady))
            return testing::AssertionFailure() << "fcitx5 is not on for the typing box";
        return testing::AssertionSuccess();
    }

    QString Text() const { return form_->Text1->toPlainText(); }
    QString Preedit() const { return e2e::Preedit(form_->Text1); }

    // Types Zhuyin keys and waits until chewing shows the composition.
    testing::AssertionResult Compose(const QString &keys, const QString &expected) {
        if (!TypeKeys(keys))
            return testing::AssertionFailure() << "xdotool type " << keys.toStdString();
        if (!WaitUntil([&] { return Preedit() == expected; }))
            return testing::AssertionFailure()
                   << "composition " << Preedit().toStdString() << ", wanted "
                   << expected.toStdString() << "; text " << Text().toStdString();
        return testing::AssertionSuccess();
    }
    // Return: chewing commits the whole composition in one event.
    testing::AssertionResult Commit(const QString &expected_text) {
        if (!PressKeys({"Return"}))
            return testing::AssertionFailure() << "xdotool key Return";
        if (!WaitUntil([&] { return Text() == expected_text && Preedit().isEmpty(); }))
            return testing::AssertionFailure()
                   << "text " << Text().toStdString() << ", wanted " << expected_text.toStdString()
                   << "; composition " << Preedit().toStdString();
        return testing::AssertionSuccess();
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i)
            form_->Timer1_Timer();
    }

    FixedSheet sheet_;
    std::unique_ptr<Form1> form_;
};

TEST_F(TypingTest, CommitsWhitenCellsOnScreenAndDeletionBlackensThem) {
    // A composition is not text yet: the box and the grid stay as they are.
    ASSERT_TRUE(Compose("ji3", "我"));
    EXPECT_EQ(Text(), "");
    EXPECT_TRUE(StillBlack(u'我'));

    ASSERT_TRUE(Commit("我"));
    EXPECT_TRUE(WhenWhite(u'我'));

    // A phrase held in the composition changes nothing until it is committed...
    QStringList changes;
    QObject::connect(form_->Text1, &QPlainTextEdit::textChanged,
                     [&] { changes << form_->Text1->toPlainText(); });
    ASSERT_TRUE(Compose("su3cl3", "你好"));
    EXPECT_EQ(Text(), "我");
    EXPECT_TRUE(StillBlack(u'你'));
    EXPECT_TRUE(StillBlack(u'好'));

    // The candidate list up, for the picture of a test in progress.
    ASSERT_TRUE(PressKeys({"Down"}));
    EXPECT_TRUE(WaitForCandidateList());
    FlushToScreen(form_.get());
    EXPECT_TRUE(Screenshot("typing-in-progress"));
    ASSERT_TRUE(PressKeys({"Escape"})); // closes the list, keeps the composition
    ASSERT_TRUE(WaitUntil([&] { return Preedit() == "你好"; }));

    // ...and then whitens all its sheet characters in one change.
    changes.clear();
    ASSERT_TRUE(Commit("我你好"));
    EXPECT_TRUE(WhenWhite(u'你'));
    EXPECT_TRUE(WhenWhite(u'好'));
    // Composition updates repeat the old text; no state between the two shows.
    changes.removeAll("我");
    changes.removeDuplicates();
    EXPECT_EQ(changes, QStringList{"我你好"});

    // BackSpace on committed text gives the cell back.
    ASSERT_TRUE(PressKeys({"BackSpace"}));
    ASSERT_TRUE(WaitUntil([&] { return Text() == "我你"; }));
    EXPECT_TRUE(WhenBlack(u'好'));
    EXPECT_TRUE(White(u'我'));
    EXPECT_TRUE(White(u'你'));
}

TEST_F(TypingTest, CommitPastTheLimitIsCutToFit) {
    // 99 units through the box's own paste, none of them on the sheet.
    QApplication::clipboard()->setText(QString(99, QChar(kOffSheet)));
    ASSERT_TRUE(PressKeys({"ctrl+v"}));
    ASSERT_TRUE(WaitUntil([&] { return Text().size() == 99; })) << Text().size();

    ASSERT_TRUE(Compose("2u04sl3", "電腦"));
    ASSERT_TRUE(Commit(QString(99, QChar(kOffSheet)) + "電"));
    EXPECT_TRUE(WhenWhite(u'電'));
    EXPECT_TRUE(StillBlack(u'腦'));

    // A full box takes no more: the commit (the composition ends) adds nothing.
    ASSERT_TRUE(Compose("ji3", "我"));
    ASSERT_TRUE(PressKeys({"Return"}));
    ASSERT_TRUE(WaitUntil([&] { return Preedit().isEmpty(); }));
    EXPECT_EQ(Text().size(), 100);
    EXPECT_TRUE(StillBlack(u'我'));
}

TEST_F(TypingTest, FinishCountsTheOpenComposition) {
    ASSERT_TRUE(Compose("ji3", "我"));
    ASSERT_TRUE(Commit("我"));

    Ticks(59);
    EXPECT_FALSE(form_->Command1->isEnabled());
    Ticks(1);
    EXPECT_TRUE(form_->Command1->isEnabled());
    EXPECT_EQ(form_->Label3->text(), "1:00");

    // Still composing when the pointer presses Finish.
    ASSERT_TRUE(Compose("5j/ jp6", "中文"));
    ResultBoxAnswerer answer(ResultBoxAnswerer::How::ClickYes, "result-box");
    ASSERT_TRUE(ClickAt(Center(form_->Command1)));
    ASSERT_TRUE(WaitUntil([&] { return answer.answered && Text().isEmpty(); }));
    EXPECT_FALSE(answer.forced);

    EXPECT_EQ(answer.title, "成績");
    EXPECT_EQ(answer.icon, QMessageBox::Question);
    EXPECT_EQ(answer.roles,
              (QList<QMessageBox::ButtonRole>{QMessageBox::YesRole, QMessageBox::NoRole}));
    EXPECT_EQ(answer.text, ResultText(3, " 3")) << "中文 of the open composition must count";

    // Yes: a new test with the same fixed sheet, all black again, clock reset.
    EXPECT_EQ(form_->Label3->text(), "0:00");
    EXPECT_TRUE(WhenBlack(u'我'));
    EXPECT_TRUE(WhenBlack(u'中'));
    EXPECT_TRUE(WhenBlack(u'文'));
    EXPECT_TRUE(form_->Timer1->isActive());
    EXPECT_FALSE(form_->Command1->isEnabled());
    // ...taking typing at once, and nothing of the old composition comes late.
    ASSERT_TRUE(Refocus());
    ASSERT_TRUE(Compose("ji3", "我"));
    ASSERT_TRUE(Commit("我"));
    EXPECT_TRUE(WhenWhite(u'我'));
}

TEST_F(TypingTest, TenMinuteFinishCountsTheOpenComposition) {
    ASSERT_TRUE(Compose("su3", "你"));
    ASSERT_TRUE(Commit("你"));
    Ticks(599);
    EXPECT_EQ(form_->Label3->text(), "9:59");

    // 台 is on the sheet, 灣 is not.
    ASSERT_TRUE(Compose("w96j0 ", "台灣"));
    ResultBoxAnswerer answer(ResultBoxAnswerer::How::PressReturn);
    answer.WatchClock(form_->Label3);
    form_->Timer1_Timer(); // the 600th tick; returns once the box is answered
    EXPECT_TRUE(answer.answered);
    EXPECT_FALSE(answer.forced);
    EXPECT_EQ(answer.clock, "9:59");
    EXPECT_EQ(answer.text, ResultText(2, " .2")) << "台 of the open composition must count";
    EXPECT_EQ(form_->Label3->text(), "0:00");
    EXPECT_EQ(Text(), "");
    ASSERT_TRUE(Refocus());
    ASSERT_TRUE(Compose("ji3", "我"));
    ASSERT_TRUE(Commit("我"));
}

// The route under test is the one QT_IM_MODULE names: Qt's fcitx5 plugin, or
// Qt's own ibus plugin talking to fcitx5's ibus frontend.
TEST(InputRoute, TheNamedPluginIsLoaded) {
    QFile maps("/proc/self/maps");
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    const QByteArray loaded = maps.readAll();
    const bool fcitx = loaded.contains("libfcitx5platforminputcontextplugin");
    const bool ibus = loaded.contains("libibusplatforminputcontextplugin");
    const QByteArray route = qgetenv("QT_IM_MODULE");
    ASSERT_TRUE(route == "fcitx" || route == "ibus") << route.constData();
    EXPECT_EQ(fcitx, route == "fcitx");
    EXPECT_EQ(ibus, route == "ibus");
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        std::fprintf(stderr, "needs an X display and an input method: run it through "
                             "scripts/e2e/with-im-session.sh\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}

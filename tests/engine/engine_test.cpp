// Drawing, typing feedback, scoring, the clock and faults, through the fake window.
#include "fake_window.h"

#include "bank/bank.h"

#include <cstdio>
#include <set>

namespace {

using qtest::EngineFixture;
using qtest::FakeWindow;
using temp::kBlack;
using temp::kWhite;
using temp::State;
using Recolours = std::vector<FakeWindow::Recolour>;

FakeWindow::Recolour At(int k, std::uint32_t colour) {
    return {(k - 1) % 20, (k - 1) / 20, colour};
}

std::u16string Result(std::u16string_view count, std::u16string_view speed) {
    return u"正確字數：" + std::u16string(count) + u"字\n您的速度：每分鐘平均" +
           std::u16string(speed) + u"字\n\n是否開始新一次練習？";
}

TEST_F(EngineFixture, StartNewTestDrawsAFreshSheet) {
    temp::StartNewTest();
    const std::u16string first = State.SheetText;
    ASSERT_EQ(first.size(), 100u);
    EXPECT_EQ(std::set<char16_t>(first.begin(), first.end()).size(), 100u);
    for (int k = 1; k <= 100; ++k) {
        EXPECT_EQ(win.text[(k - 1) / 20][(k - 1) % 20], SheetChar(k)) << k;
        EXPECT_EQ(ColourOf(k), kBlack) << k;
        bool in_bank = false;
        for (auto slot : temp::kBankData)
            in_bank |= slot.find(first[k - 1]) != std::u16string_view::npos;
        EXPECT_TRUE(in_bank) << k;
    }
    EXPECT_EQ(win.text[0][19], SheetChar(20));
    EXPECT_EQ(win.text[1][0], SheetChar(21));
    EXPECT_EQ(win.text[4][19], SheetChar(100));
    EXPECT_EQ(win.text[5][0], u"");
    EXPECT_EQ(win.colour[5][0], qtest::kUnset);
    EXPECT_EQ(win.clock, u"0:00");
    EXPECT_TRUE(win.timer);
    EXPECT_FALSE(win.finish_enabled);
    EXPECT_EQ(win.focus_calls, 0); // first test: the box is still hidden
    EXPECT_EQ(State.Drawn[State.DrawIndex], temp::kTrue);
}

// A later test: fresh sheet, every cell black again, focus on the box, and the
// emptied box's old text looked up once on the new sheet.
TEST_F(EngineFixture, NextTestRedrawsAndLooksOldTextUpOnTheNewSheet) {
    temp::StartNewTest();
    temp::StartNewTest();
    const std::u16string next = State.SheetText; // the second sheet of this seed

    temp::TwisterSource again(20240611);
    temp::SetRandomSource(&again);
    temp::ResetState();
    temp::FillCharBank();
    win = FakeWindow();
    temp::StartNewTest();
    State.Started = temp::kTrue;
    const std::u16string old =
        next.substr(40, 2) + State.SheetText.substr(0, 1) + next.substr(7, 1);
    const std::u16string first = State.SheetText;
    Type(old);
    EXPECT_EQ(ColourOf(1), kWhite);
    win.recolours.clear();
    temp::StartNewTest();
    ASSERT_EQ(State.SheetText, next);
    EXPECT_NE(next, first);
    Recolours expected;
    for (int k = 1; k <= 100; ++k)
        expected.push_back(At(k, kBlack)); // the draw
    for (char16_t c : old)                 // then one change pass on the new sheet
        if (auto p = next.find(c); p != std::u16string::npos)
            expected.push_back(At(static_cast<int>(p) + 1, kBlack));
    EXPECT_EQ(win.recolours, expected);
    for (int k = 1; k <= 100; ++k) {
        EXPECT_EQ(win.text[(k - 1) / 20][(k - 1) % 20], SheetChar(k)) << k;
        EXPECT_EQ(ColourOf(k), kBlack) << k;
    }
    EXPECT_EQ(win.focus_calls, 1);
    EXPECT_EQ(win.typing, u"");
    EXPECT_EQ(State.PrevText, u"");
}

TEST_F(EngineFixture, ChangePassRecoloursAddedAndRemovedCharacters) {
    temp::StartNewTest();
    const auto a = SheetChar(1), b = SheetChar(5), x = SheetChar(23);
    Type(a + b);
    auto pass = [&](const std::u16string &text) {
        win.recolours.clear();
        Type(text);
        EXPECT_EQ(State.PrevText, text);
        return win.recolours;
    };
    EXPECT_EQ(pass(a + x + b), Recolours{At(23, kWhite)});
    EXPECT_EQ(win.colour[1][2], kWhite);
    EXPECT_EQ(pass(a + b), Recolours{At(23, kBlack)});

    std::u16string off; // a bank character that is not on the sheet
    for (char16_t c : temp::kBankData[0])
        if (off.empty() && State.SheetText.find(c) == std::u16string::npos)
            off = std::u16string(1, c);
    EXPECT_EQ(pass(a + b + u"\n"), Recolours{});
    EXPECT_EQ(pass(a + b + u"\n" + off + u"?"), Recolours{});

    // An input method commits three characters in one change.
    const std::u16string base = a + b + u"\n" + off + u"?";
    EXPECT_EQ(pass(base + SheetChar(7) + off + SheetChar(100) + SheetChar(40)),
              (Recolours{At(7, kWhite), At(100, kWhite), At(40, kWhite)}));

    // Same-length replacement of x by y counts as added; x is not turned black.
    pass(a + b);
    pass(a + x + b);
    const auto y = SheetChar(60);
    EXPECT_EQ(pass(a + y + b), (Recolours{At(60, kWhite), At(5, kWhite)}));
    EXPECT_EQ(ColourOf(23), kWhite);

    // Deleting one of two copies turns the cell black.
    pass(a + y + y);
    EXPECT_EQ(pass(a + y), Recolours{At(60, kBlack)});
}

TEST_F(EngineFixture, ScoreAndResultText) {
    temp::StartNewTest();
    auto finish = [&](const std::u16string &box, int m, int s) {
        Type(box);
        State.Minutes = static_cast<std::int16_t>(m);
        State.Seconds = static_cast<std::int16_t>(s);
        win.asks.clear();
        temp::FinishTest();
        EXPECT_EQ(State.TotalSeconds, m * 60 + s);
        EXPECT_EQ(win.asks.size(), 1u);
        EXPECT_EQ(win.asks.back().caption, u"成績");
        EXPECT_FALSE(win.asks.back().timer_then);
        return win.asks.back().text;
    };
    EXPECT_EQ(finish(u"", 1, 0), Result(u" 0", u" 0"));
    EXPECT_EQ(finish(State.SheetText, 10, 0), Result(u" 100", u" 10"));
    EXPECT_EQ(finish(State.SheetText.substr(0, 60), 1, 0), Result(u" 60", u" 60"));
    EXPECT_EQ(finish(SheetChar(9), 1, 5), Result(u" 1", u" .9230769"));
    EXPECT_EQ(finish(State.SheetText.substr(50, 45), 2, 3), Result(u" 45", u" 21.95122"));

    const auto a = SheetChar(3), b = SheetChar(99);
    Type(a + a + u"z\n" + b);
    EXPECT_EQ(temp::CountCorrect(), 2);
    Type(a + a);
    Type(a); // typed twice, deleted once: cell black, still counts
    EXPECT_EQ(ColourOf(3), kBlack);
    EXPECT_EQ(temp::CountCorrect(), 1);

    // No ends the program and starts nothing; Yes starts a new test.
    State.Minutes = 1;
    const auto sheet = State.SheetText;
    const int cell_sets = win.cell_text_sets;
    win.answers = {temp::Answer::No};
    temp::FinishTest();
    EXPECT_EQ(win.end_calls, 1);
    EXPECT_FALSE(win.timer);
    EXPECT_EQ(win.cell_text_sets, cell_sets);
    EXPECT_EQ(State.SheetText, sheet);
    State.Minutes = 1;
    temp::FinishTest();
    EXPECT_EQ(win.end_calls, 1);
    EXPECT_NE(State.SheetText, sheet);
    EXPECT_TRUE(win.timer);
    EXPECT_EQ(win.typing, u"");
}

TEST_F(EngineFixture, ClockEnablesFinishAtOneMinuteAndFinishesAtTen) {
    temp::StartNewTest();
    for (int t = 1; t <= 59; ++t) {
        temp::ClockTick();
        if (t == 5 || t == 10) {
            EXPECT_EQ(win.clock, t == 5 ? u"0:05" : u"0:10");
        }
    }
    EXPECT_EQ(win.clock, u"0:59");
    EXPECT_FALSE(win.finish_enabled);
    temp::ClockTick();
    EXPECT_EQ(win.clock, u"1:00");
    EXPECT_TRUE(win.finish_enabled);
    for (int t = 61; t <= 599; ++t)
        temp::ClockTick();
    EXPECT_EQ(win.clock, u"9:59");
    EXPECT_TRUE(win.asks.empty());
    temp::ClockTick(); // the 600th: result box while the label still reads 9:59
    ASSERT_EQ(win.asks.size(), 1u);
    EXPECT_EQ(win.asks[0].clock_then, u"9:59");
    EXPECT_EQ(State.TotalSeconds, 600);
    EXPECT_EQ(win.clock, u"0:00");
    EXPECT_TRUE(win.timer);
    EXPECT_FALSE(win.finish_enabled);
    temp::ClockTick();
    EXPECT_EQ(win.clock, u"0:01");
}

TEST(Format, NumbersAndClock) {
    EXPECT_EQ(temp::FormatStr(std::int16_t{0}), u" 0");
    EXPECT_EQ(temp::FormatStr(std::int16_t{45}), u" 45");
    EXPECT_EQ(temp::FormatStr(std::int16_t{-32768}), u"-32768");
    EXPECT_EQ(temp::FormatStr(100.f), u" 100");
    EXPECT_EQ(temp::FormatStr(0.5f), u" .5");
    EXPECT_EQ(temp::FormatStr(60.f), u" 60");
    EXPECT_EQ(temp::FormatStr(0.f), u" 0");
    EXPECT_EQ(temp::FormatStr(static_cast<float>(45.0 / 123.0 * 60.0)), u" 21.95122");
    EXPECT_EQ(temp::FormatStr(-2.25f), u"-2.25");
    EXPECT_EQ(temp::FormatStr(-0.5f), u"-.5");
    EXPECT_EQ(temp::ClockDisplay(0, 9), u"0:09");
    EXPECT_EQ(temp::ClockDisplay(9, 59), u"9:59");
    EXPECT_EQ(temp::ResultText(45, static_cast<float>(45.0 / 123.0 * 60.0)),
              Result(u" 45", u" 21.95122"));
}

void IndexPastTheEnd() {
    temp::CheckedArray<int, 0, 5> a;
    (void)a[6];
}

void OverflowWithOwnHandler() {
    temp::SetFaultHandler(+[](const char *m) { std::fprintf(stderr, "handled <%s>\n", m); });
    temp::Mul<std::int16_t>(std::int16_t{200}, 200);
}

TEST(FaultDeathTest, FaultsEndTheProgramNamingTheFault) {
    const auto code = ::testing::ExitedWithCode(temp::kFaultExitStatus);
    EXPECT_EXIT(temp::Narrow<std::int16_t>(32768), code, "Overflow");
    EXPECT_EXIT(temp::Add<std::int16_t>(std::int16_t{32767}, 1), code, "Overflow");
    EXPECT_EXIT(temp::IsMultiple(10, 0), code, "Division by zero");
    EXPECT_EXIT(IndexPastTheEnd(), code, "Subscript out of range");
    EXPECT_EXIT(OverflowWithOwnHandler(), code, "handled <Overflow>");
}

} // namespace

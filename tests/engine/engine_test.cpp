// The engine through the recording window: the bank, typing feedback,
// scoring, the clock, number text and faults, then thousands of random
// sheets and edit sequences.
#include "engine/random_source.h"
#include "engine/temp.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numeric>
#include <random>
#include <tuple>
#include <vector>

// The fixture is the window: a recording stand-in with a 10 x 20 grid model
// and the controls the engine drives, over a zeroed record and a fixed seed.

struct EngineFixture : ::testing::Test, temp::WindowOps {
    int column = -1, row = -1, focus_calls = 0, end_calls = 0;
    // Text and colour of each cell.
    std::array<std::array<std::pair<std::u16string, std::uint32_t>, temp::kSheetColumns>, 10>
        cells{};
    bool timer = false, finish_enabled = true;
    std::u16string typing, clock, bank; // bank: slots 1..34 end to end
    // What an input method is composing: CommitComposition types it, as the real box does.
    std::u16string composition;
    // Text, caption, and the clock label meanwhile: "running" if the timer was not stopped.
    std::vector<std::array<std::u16string, 3>> asks;
    temp::Answer answer = temp::Answer::Yes;
    temp::TwisterSource random{20240611};

    void SetUp() override {
        temp::ResetState();
        temp::FillCharBank();
        temp::SetWindow(this);
        temp::SetRandomSource(&random);
        bank = std::accumulate(&temp::State.CharBank[1], &temp::State.CharBank[35], bank);
    }
    std::u16string SheetChar(int k) const { return temp::State.SheetText.substr(k - 1, 1); }
    // The sheet as the grid shows it: a black cell's character, "_" for a white one.
    std::u16string Shown() const {
        std::u16string shown;
        for (int k = 0; k < temp::kSheetSize; ++k) {
            const auto &[text, ink] = cells[k / temp::kSheetColumns][k % temp::kSheetColumns];
            shown += ink == temp::kBlack ? text : ink == temp::kWhite ? u"_" : u"?";
        }
        return shown;
    }
    // What the grid must show for the box's text: white exactly where the
    // cell's character is in the box.
    std::u16string ShownFor(const std::u16string &typed) const {
        std::u16string shown = temp::State.SheetText;
        for (char16_t &c : shown)
            c = typed.find(c) == std::u16string::npos ? c : u'_';
        return shown;
    }

    void SelectCell(int c, int r) override { column = c, row = r; }
    // at() throws, failing the test, for a cell outside the grid.
    void SetCellTextColour(std::uint32_t bgr) override {
        EXPECT_LT(row * temp::kSheetColumns, temp::kSheetSize) << "only the sheet's rows change";
        cells.at(row).at(column).second = bgr;
    }
    void SetCellText(std::u16string_view t) override { cells.at(row).at(column).first = t; }
    void SetTimerRunning(bool on) override { timer = on; }
    std::u16string ReadTypingText() override { return typing; }
    // Like the real box: a change of content runs the change pass before returning.
    void SetTypingText(std::u16string_view t) override {
        if (std::exchange(typing, std::u16string(t)) != t)
            temp::TypingChanged();
    }
    void FocusTypingBox() override { ++focus_calls; }
    void CommitComposition() override { SetTypingText(typing + std::exchange(composition, {})); }
    void SetClockText(std::u16string_view t) override { clock = t; }
    void SetFinishEnabled(bool on) override { finish_enabled = on; }
    temp::Answer Ask(std::u16string_view t, std::u16string_view caption) override {
        asks.push_back({std::u16string(t), std::u16string(caption), timer ? u"running" : clock});
        return answer;
    }
    void EndProgram() override { ++end_calls; }
};

using namespace temp;

// Checked against the C library's own Big5 tables, not the generator's.
TEST_F(EngineFixture, BankMatchesTheCLibraryBig5TablesAndIndexLookup) {
    std::string big5; // 0xA440..0xC5FE in code order
    for (unsigned lead = 0xA4; lead <= 0xC5; ++lead)
        for (unsigned t = 0x40; t <= 0xFE; t = t == 0x7E ? 0xA1 : t + 1)
            big5 += {static_cast<char>(lead), static_cast<char>(t)};
    for (const char *table : {"BIG5", "BIG5-HKSCS"}) {
        std::u16string decoded(kBankSize, u'?');
        char *in = big5.data(), *out = reinterpret_cast<char *>(decoded.data());
        std::size_t inLeft = big5.size(), outLeft = 2 * decoded.size();
        iconv_t cd = iconv_open("UTF-16LE", table); // a missing table fails the comparison
        iconv(cd, &in, &inLeft, &out, &outLeft);
        iconv_close(cd);
        // Slot 17 (lead byte 0xB4) carries its first character last.
        std::rotate(&decoded[16 * kSlotLength], &decoded[16 * kSlotLength + 1],
                    &decoded[17 * kSlotLength]);
        EXPECT_TRUE(decoded == bank) << table;
    }
    std::ranges::sort(bank);
    EXPECT_EQ(std::ranges::unique(bank).begin(), bank.end()); // all 5338 different
    std::u16string lookedUp;
    for (std::int32_t n : {1, 157, 158, 2513, 2669, 5338})
        lookedUp += CharAt(State.CharBank[BankPlaceOf(n).slot], BankPlaceOf(n).position);
    EXPECT_EQ(lookedUp, u"一丙世媚婷讒");
    EXPECT_EQ(IsMultiple(314, 157) * 10 + IsMultiple(315, 157), 10); // 1 for a multiple, else 0
}

TEST_F(EngineFixture, ScoresTheBoxAndEndsOnNo) {
    StartNewTest();
    const std::u16string sheet = State.SheetText, a = SheetChar(3);
    // The time as minutes * 100 + seconds.
    const std::tuple<const char *, std::u16string, int, std::u16string, std::u16string> cases[] = {
        {"empty box", u"", 100, u" 0", u" 0"},
        {"below one a minute: no zero before the point", SheetChar(9), 105, u" 1", u" .9230769"},
        {"seven significant digits", sheet.substr(50, 45), 203, u" 45", u" 21.95122"},
        {"sixty in the first minute", sheet.substr(0, 60), 100, u" 60", u" 60"},
        {"duplicates and others count once or not at all", a + a + u"z\n" + SheetChar(99), 100,
         u" 2", u" 2"},
        {"typed twice, deleted once: still counts", a, 100, u" 1", u" 1"},
    };
    answer = Answer::No;
    for (const auto &[name, typed, time, count, speed] : cases) {
        SetTypingText(typed);
        std::tie(State.Minutes, State.Seconds) = std::pair(time / 100, time % 100);
        FinishTest();
        EXPECT_EQ(asks.back()[0], u"正確字數：" + count + u"字\n您的速度：每分鐘平均" + speed +
                                      u"字\n\n是否開始新一次練習？")
            << name;
    }
    // No ends the program, the clock stopped and no new sheet drawn.
    EXPECT_EQ(std::tuple(end_calls, timer, State.SheetText), std::tuple(6, false, sheet));
}

TEST_F(EngineFixture, ClockEnablesFinishAfterAMinuteAndFinishesAtTen) {
    StartNewTest();
    std::map<int, std::u16string> labels = {{0, u"0:00"},   {5, u"0:05"},   {9, u"0:09"},
                                            {10, u"0:10"},  {59, u"0:59"},  {60, u"1:00"},
                                            {599, u"9:59"}, {600, u"0:00"}, {601, u"0:01"}};
    for (int tick = 0; tick <= 601; ++tick, ClockTick()) { // tick: ticks so far
        if (tick == 599)
            composition = SheetChar(7) + u"z"; // still being composed at 10:00
        EXPECT_EQ(clock, labels.contains(tick) ? labels[tick] : clock) << tick;
        EXPECT_EQ(finish_enabled, tick >= 60 && tick < 600) << tick;
        ASSERT_EQ(asks.size(), tick < 600 ? 0u : 1u) << tick;
    }
    // The result box opened, the clock stopped, before the label moved on; Yes
    // set a new test going.
    EXPECT_EQ(std::tuple(asks[0][1], asks[0][2], State.TotalSeconds, timer),
              std::tuple(u"成績", u"9:59", 600, true));
    // The composition became typed text, and so it counted.
    EXPECT_EQ(asks[0][0].substr(0, 8), u"正確字數： 1字");
}

// A fresh process, as a launch of the program: its first two sheets, drawn
// from the clock.
std::u16string LaunchSheets() {
    int fds[2];
    std::u16string sheets(2 * kSheetSize, u'?');
    if (pipe(fds) == 0 && fork() == 0) {
        try { // a failing check throws: this copy must not go on to run the other tests
            SetRandomSource(nullptr);
            StartNewTest();
            sheets = State.SheetText;
            StartNewTest();
            sheets += State.SheetText;
        } catch (...) {
        }
        _exit(write(fds[1], sheets.data(), 2 * sheets.size()) < 0);
    }
    wait(nullptr); // the pipe holds all 400 bytes
    EXPECT_EQ(read(fds[0], sheets.data(), 2 * sheets.size()), 4 * kSheetSize);
    close(fds[0]), close(fds[1]);
    return sheets;
}

TEST_F(EngineFixture, EveryLaunchAndEveryTestDrawsAFreshSheet) {
    const std::u16string first = LaunchSheets(), second = LaunchSheets();
    EXPECT_NE(first.substr(0, kSheetSize), second.substr(0, kSheetSize)) << "two launches";
    EXPECT_NE(first.substr(0, kSheetSize), first.substr(kSheetSize)) << "two tests";
}

TEST(Helpers, AFaultEndsTheProgramNamingIt) {
    EXPECT_EXIT(State.Matched[101] = 0, ::testing::ExitedWithCode(kFaultExitStatus),
                "Subscript out of range");
}

// Each sheet and edit is checked against what any correct draw, change pass
// and count must do. A fault ends the process, which fails the test.
TEST_F(EngineFixture, AnySheetAndEditSequenceKeepsTheGridAndScoreRight) {
    auto uniform = [rng = std::mt19937(7)](std::size_t lo, std::size_t hi) mutable {
        return std::uniform_int_distribution(lo, hi)(rng);
    };
    constexpr int kSheets = 2000;
    std::vector<int> drawn(kBankSize); // how often each bank character came up
    for (int seq = 1; seq <= kSheets && !HasFailure(); ++seq) {
        SCOPED_TRACE(seq);
        State.Started = seq > 1 ? kTrue : kFalse; // no focus before the first test
        StartNewTest();
        // 100 different bank characters, in black, row by row: 20 in row 0,
        // column 19; 21 in row 1, column 0.
        for (int k = 1; k <= kSheetSize; ++k) {
            EXPECT_EQ(cells[(k - 1) / kSheetColumns][(k - 1) % kSheetColumns].first, SheetChar(k));
            EXPECT_EQ(State.SheetText.find(SheetChar(k)), k - 1u) << "drawn once: " << k;
            const auto n = bank.find(SheetChar(k));
            ASSERT_NE(n, std::u16string::npos) << k;
            ++drawn[n];
        }
        EXPECT_EQ(Shown(), State.SheetText);
        EXPECT_EQ(focus_calls, seq - 1);

        // Whole-box edits: mostly sheet characters (some twice, some replaced
        // by as many others), bank characters (mostly off the sheet), line
        // breaks, others, pairs. After each, a cell is white exactly when its
        // character is in the box. The window's fuzz test makes small edits.
        std::vector<std::u16string> pool = {u"\n", u"a", u"\U00020000"};
        for (int k = 1; k <= kSheetSize; ++k)
            pool.insert(pool.end(), {SheetChar(k), bank.substr(uniform(0, kBankSize - 1), 1)});
        for (int edit = 0; edit < 3; ++edit) {
            std::u16string text;
            for (auto n = uniform(0, 50); n > 0; --n) // at most 100 units
                text += pool[uniform(0, pool.size() - 1)];
            SetTypingText(text);
            EXPECT_EQ(Shown(), ShownFor(text));
            EXPECT_EQ(CountCorrect(), std::ranges::count(ShownFor(text), u'_'));
        }
    }
    // Every character can come up, and no part of the bank is favoured: each
    // slot's share stays within six standard deviations of an even draw.
    EXPECT_EQ(std::ranges::count(drawn, 0), 0) << "never drawn";
    const double perSlot = double(kSheets) * kSheetSize / kBankSlots;
    for (int slot = 0; slot < kBankSlots; ++slot)
        EXPECT_NEAR(
            std::accumulate(&drawn[slot * kSlotLength], &drawn[(slot + 1) * kSlotLength], 0),
            perSlot, 6 * std::sqrt(perSlot))
            << "slot " << slot + 1;
}

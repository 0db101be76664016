// The engine through the recording window: the bank, scoring and number
// text, the change pass, then thousands of random sheets. The window's tests
// drive the clock, and the fuzz test the change pass on random edits.
#include "engine/random_source.h"
#include "engine/temp.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <tuple>
#include <vector>

// The fixture is the window: a recording stand-in with a 10 x 20 grid model
// and the controls the engine drives, over a zeroed record and a fixed seed.

struct EngineFixture : ::testing::Test, temp::WindowOps {
    int column = -1, row = -1, end_calls = 0;
    // Text and colour of each cell.
    std::array<std::array<std::pair<std::u16string, std::uint32_t>, temp::kSheetColumns>, 10>
        cells{};
    bool timer = false;
    std::u16string typing, bank;      // bank: slots 1..34 end to end
    std::vector<std::u16string> asks; // the result box's texts
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
            shown += ink == temp::kWhite ? u"_" : text;
        }
        return shown;
    }
    void SelectCell(int c, int r) override { column = c, row = r; }
    // at() throws, failing the test, for a cell outside the grid.
    void SetCellTextColour(std::uint32_t bgr) override { cells.at(row).at(column).second = bgr; }
    void SetCellText(std::u16string_view t) override { cells.at(row).at(column).first = t; }
    void SetTimerRunning(bool on) override { timer = on; }
    std::u16string ReadTypingText() override { return typing; }
    // Like the real box: a change of content runs the change pass before returning.
    void SetTypingText(std::u16string_view t) override {
        if (std::exchange(typing, std::u16string(t)) != t)
            temp::TypingChanged();
    }
    void FocusTypingBox() override {}
    void CommitComposition() override {}
    void SetClockText(std::u16string_view) override {}
    void SetFinishEnabled(bool) override {}
    temp::Answer Ask(std::u16string_view t, std::u16string_view caption) override {
        EXPECT_EQ(caption, u"成績");
        asks.emplace_back(t);
        return answer;
    }
    void EndProgram() override { ++end_calls; }
};

using namespace temp;

// Checked against the C library's own Big5 tables, not the generator's.
TEST_F(EngineFixture, BankMatchesTheCLibraryBig5Tables) {
    std::string big5; // 0xA440..0xC5FE in code order
    for (unsigned lead = 0xA4; lead <= 0xC5; ++lead)
        for (unsigned t = 0x40; t <= 0xFE; t = t == 0x7E ? 0xA1 : t + 1)
            big5 += {static_cast<char>(lead), static_cast<char>(t)};
#ifdef _WIN32
    // The system's code page 950 (under Wine, Wine's).
    for (const char *table : {"950"}) {
        std::u16string decoded(kBankSize, u'?');
        MultiByteToWideChar(950, 0, big5.data(), static_cast<int>(big5.size()),
                            reinterpret_cast<wchar_t *>(decoded.data()), kBankSize);
#else
    for (const char *table : {"BIG5", "BIG5-HKSCS"}) {
        std::u16string decoded(kBankSize, u'?');
        char *in = big5.data(), *out = reinterpret_cast<char *>(decoded.data());
        std::size_t inLeft = big5.size(), outLeft = 2 * decoded.size();
        iconv_t cd = iconv_open("UTF-16LE", table); // a missing table fails the comparison
        iconv(cd, &in, &inLeft, &out, &outLeft);
        iconv_close(cd);
#endif
        // Slot 17 (lead byte 0xB4) carries its first character last.
        std::rotate(&decoded[16 * kSlotLength], &decoded[16 * kSlotLength + 1],
                    &decoded[17 * kSlotLength]);
        EXPECT_TRUE(decoded == bank) << table;
    }
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
    };
    answer = Answer::No;
    for (const auto &[name, typed, time, count, speed] : cases) {
        SetTypingText(typed);
        std::tie(State.Minutes, State.Seconds) = std::pair(time / 100, time % 100);
        FinishTest();
        EXPECT_EQ(asks.back(), u"正確字數：" + count + u"字\n您的速度：每分鐘平均" + speed +
                                   u"字\n\n是否開始新一次練習？")
            << name;
    }
    // No ends the program, the clock stopped and no new sheet drawn.
    EXPECT_EQ(std::tuple(end_calls, timer, State.SheetText), std::tuple(5, false, sheet));
}

// Each row edits the box from empty as a user would; afterwards every cell is
// white exactly when its character is in the box.
TEST_F(EngineFixture, TheChangePassWhitensExactlyTheSheetCharactersInTheBox) {
    StartNewTest();
    const std::u16string a = SheetChar(1), b = SheetChar(22), c = SheetChar(40), x = SheetChar(99);
    const std::pair<const char *, std::vector<std::u16string>> rows[] = {
        {"a character added", {a}},
        {"one of two copies deleted", {a + a, a}},
        {"a replacement over a selection", {a + b + c, a + x + c}},
        {"a whole-box paste", {a + b, c + x + u"z"}},
        {"a surrogate pair", {a + u"\U00020000" + b, a + b}},
    };
    for (const auto &[name, edits] : rows) {
        SetTypingText(u"");
        for (const std::u16string &text : edits)
            SetTypingText(text);
        std::u16string expected;
        for (int k = 1; k <= kSheetSize; ++k)
            expected += typing.find(SheetChar(k)) == std::u16string::npos ? SheetChar(k) : u"_";
        EXPECT_EQ(Shown(), expected) << name;
    }
}

// Each sheet character typed alone scores one, wherever it stands.
TEST_F(EngineFixture, EverySheetPositionCounts) {
    StartNewTest();
    std::vector<int> scores;
    for (int k = 1; k <= kSheetSize; ++k) {
        SetTypingText(SheetChar(k));
        scores.push_back(CountCorrect());
    }
    EXPECT_EQ(scores, std::vector<int>(kSheetSize, 1));
}

// Each sheet is checked against what any correct draw must do; the window's
// fuzz test checks the change pass on random edits. A fault ends the process,
// which fails the test.
TEST_F(EngineFixture, AnySheetIsDrawnRightAndNoPartOfTheBankFavoured) {
    constexpr int kSheets = 2000;
    std::vector<int> drawn(kBankSize); // how often each bank character came up
    for (int seq = 1; seq <= kSheets && !HasFailure(); ++seq) {
        SCOPED_TRACE(seq);
        const std::u16string last = State.SheetText;
        StartNewTest();
        EXPECT_NE(State.SheetText, last) << "each test draws a sheet of its own";
        // 100 different bank characters, in black, row by row: 20 in row 0,
        // column 19; 21 in row 1, column 0.
        for (int k = 1; k <= kSheetSize; ++k) {
            EXPECT_EQ(cells[(k - 1) / kSheetColumns][(k - 1) % kSheetColumns].first, SheetChar(k));
            EXPECT_EQ(State.SheetText.find(SheetChar(k)), k - 1u) << "drawn once: " << k;
            const auto n = bank.find(SheetChar(k));
            ASSERT_NE(n, std::u16string::npos) << k;
            ++drawn[n];
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

// The fixture is the window: a recording stand-in with a 10 x 20 grid model
// and the controls the engine drives, over a zeroed record and a fixed seed.
#pragma once

#include "engine/random_source.h"
#include "engine/temp.h"

#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <vector>

inline constexpr int kSheetRows = temp::kSheetSize / temp::kSheetColumns;

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
        EXPECT_LT(row, kSheetRows) << "only the sheet's rows change";
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

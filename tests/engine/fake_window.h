// A recording stand-in for the window: a 10 x 20 grid model, the typing box,
// the clock label, the Finish button, the timer and the question box.
#pragma once

#include "random_source.h"
#include "temp.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace qtest {

inline constexpr std::uint32_t kUnset = 0xDEAD01; // a colour the engine never uses

struct FakeWindow : temp::WindowOps {
    static constexpr int kRows = 10, kCols = 20;

    struct Recolour {
        int column, row;
        std::uint32_t colour;
        bool operator==(const Recolour &) const = default;
        friend void PrintTo(const Recolour &r, std::ostream *os) {
            *os << "(col " << r.column << ", row " << r.row << ", " << std::hex << r.colour << ")";
        }
    };
    struct AskCall {
        std::u16string text, caption, clock_then; // clock_then: the label while the box is open
        bool timer_then;
    };

    int column = -1, row = -1;
    std::array<std::array<std::u16string, kCols>, kRows> text{};
    std::array<std::array<std::uint32_t, kCols>, kRows> colour{};
    std::vector<Recolour> recolours;
    int cell_text_sets = 0;
    bool timer = false;
    std::u16string typing, clock;
    int focus_calls = 0, end_calls = 0;
    bool finish_enabled = true;
    std::vector<AskCall> asks;
    std::deque<temp::Answer> answers; // scripted; Yes once they run out

    FakeWindow() {
        for (auto &r : colour)
            r.fill(kUnset);
    }

    bool InModel(int c, int r) const { return c >= 0 && c < kCols && r >= 0 && r < kRows; }

    void SelectCell(int c, int r) override {
        EXPECT_TRUE(InModel(c, r)) << "cell (" << c << ", " << r << ")";
        column = c;
        row = r;
    }
    void SetCellTextColour(std::uint32_t bgr) override {
        recolours.push_back({column, row, bgr});
        if (InModel(column, row))
            colour[row][column] = bgr;
    }
    void SetCellText(std::u16string_view t) override {
        ++cell_text_sets;
        if (InModel(column, row))
            text[row][column] = t;
    }
    void SetTimerRunning(bool on) override { timer = on; }
    std::u16string ReadTypingText() override { return typing; }
    // Like the real box: a change of content runs the change event before returning.
    void SetTypingText(std::u16string_view t) override {
        if (t == typing)
            return;
        typing = t;
        temp::TypingChanged();
    }
    void FocusTypingBox() override { ++focus_calls; }
    void SetClockText(std::u16string_view t) override { clock = t; }
    void SetFinishEnabled(bool on) override { finish_enabled = on; }
    temp::Answer Ask(std::u16string_view t, std::u16string_view caption) override {
        asks.push_back({std::u16string(t), std::u16string(caption), clock, timer});
        if (answers.empty())
            return temp::Answer::Yes;
        temp::Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    void EndProgram() override { ++end_calls; }
};

// A zeroed record with the bank filled, this window, and a repeatable sheet.
struct EngineFixture : ::testing::Test {
    FakeWindow win;
    temp::TwisterSource random{20240611};

    void SetUp() override {
        temp::ResetState();
        temp::FillCharBank();
        temp::SetWindow(&win);
        temp::SetRandomSource(&random);
    }
    void TearDown() override {
        temp::SetRandomSource(nullptr);
        temp::SetWindow(nullptr);
    }
    // Sheet position k (1..100) as a one-unit string.
    std::u16string SheetChar(int k) const {
        return std::u16string(1, temp::State.SheetText.at(static_cast<std::size_t>(k - 1)));
    }
    std::uint32_t ColourOf(int k) const { return win.colour[(k - 1) / 20][(k - 1) % 20]; }
    void Type(const std::u16string &t) { win.SetTypingText(t); }
};

} // namespace qtest

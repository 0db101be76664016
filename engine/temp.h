// The test engine: one process-wide state record and the procedures that
// draw a sheet, follow the typing, keep the clock and score a finished test.
// Everything runs on the user-interface thread; nothing here locks.
#pragma once

#include "bank/bank.h"
#include "checked.h"
#include "window_ops.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace temp {

inline constexpr int kBankSize = kBankSlots * kSlotLength; // 5338
inline constexpr int kSheetSize = 100;
inline constexpr int kSheetColumns = 20;
inline constexpr int kTypingLimit = 100; // UTF-16 code units in the typing box
inline constexpr int kTickMilliseconds = 1000;

// Flags are 16-bit: 0 false, -1 true.
inline constexpr std::int16_t kFalse = 0;
inline constexpr std::int16_t kTrue = -1;

struct StateRecord {
    CheckedArray<std::u16string, 0, 50> CharBank;      // slots 1..34 hold the bank
    CheckedArray<std::int16_t, 0, kSheetSize> Matched; // CountCorrect's marks, by sheet position
    CheckedArray<std::int16_t, 0, kBankSize> Drawn;    // -1 when bank index n is on the sheet
    std::int32_t DrawIndex = 0;
    std::int16_t BankRow = 0;
    std::int32_t BankPos = 0;
    std::u16string SheetText;
    std::int16_t Minutes = 0;
    std::int16_t Seconds = 0;
    float Speed = 0;
    std::int16_t TotalSeconds = 0;
    std::u16string PrevText; // typing box after the last change pass
    std::u16string CurText;  // typing box at the start of the current pass
    std::int16_t Started = kFalse;
};

// The one state record of the process.
extern StateRecord State;

// Zeroes the record, as at program start.
void ResetState();

// The window the engine drives. Must be set before any procedure below but
// FillCharBank, IsMultiple and the formatting helpers runs.
void SetWindow(WindowOps *window);

// --- procedures -----------------------------------------------------------

void FillCharBank();
// The engine's part of the window's load pass: the bank filled, no test yet.
void OnLoad();
// The engine's part of the Start button: the first sheet; from then on every
// new test gives the typing box the focus.
void OnStart();
void StartNewTest();
void TypingChanged();
std::int16_t CountCorrect();
void FinishTest();
void ClockTick();

// 1 when value is a multiple of divisor, else 0 (not -1).
std::int16_t IsMultiple(std::int32_t value, std::int16_t divisor);

// Bank index n (1..5338) to slot (1..34) and position in the slot (1..157).
struct BankPlace {
    std::int16_t slot;
    std::int32_t position;
};
BankPlace BankPlaceOf(std::int32_t n);

// --- text helpers -----------------------------------------------------------

// The one-unit substring at 1-based position p; empty past the end.
std::u16string_view CharAt(std::u16string_view s, std::int64_t p);

// Number to text: a leading space for zero or positive values, "-" otherwise.
std::u16string FormatStr(std::int16_t value);
std::u16string FormatStr(float value); // 7 significant digits, ".5" not "0.5"

// "0:00", "0:09", "9:59".
std::u16string ClockDisplay(std::int16_t minutes, std::int16_t seconds);

// The result box's text for a count and a speed.
std::u16string ResultText(std::int16_t count, float speed);

inline constexpr std::u16string_view kResultCaption = u"成績";

} // namespace temp

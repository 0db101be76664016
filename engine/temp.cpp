#include "temp.h"

#include "bank/bank.h"
#include "random_source.h"

#include <cmath>
#include <cstdlib>

namespace temp {

StateRecord State;

namespace {

WindowOps *window = nullptr;

WindowOps &Window() {
    if (window == nullptr)
        RaiseFault(Fault::NoWindow);
    return *window;
}

// Whether the character at 1-based position p of s is unit. Past the end
// there is no character, and it equals nothing (not even U+0000).
bool UnitIs(std::u16string_view s, std::int64_t p, char16_t unit) {
    return p >= 1 && p <= static_cast<std::int64_t>(s.size()) &&
           s[static_cast<std::size_t>(p - 1)] == unit;
}

std::int16_t Length(std::u16string_view s) {
    return Narrow<std::int16_t>(static_cast<std::int64_t>(s.size()));
}

// Greedy alignment of text against other: the units of text that it does not
// match in order. Every unit that text holds more often than other is among them.
std::u16string Unmatched(std::u16string_view text, std::u16string_view other) {
    std::u16string left;
    std::int16_t k = 1;
    const std::int16_t length = Length(text);
    for (std::int16_t i = 1; i <= length; i = Add(i, 1)) {
        const char16_t unit = text[static_cast<std::size_t>(i - 1)];
        if (UnitIs(other, k, unit))
            k = Add(k, 1);
        else
            left += unit;
    }
    return left;
}

// Each changed character names the first sheet position that holds it; that
// cell turns white while the character is in the box and black otherwise.
void Recolour(std::u16string_view changed) {
    WindowOps &w = Window();
    CheckedArray<std::int16_t, 0, kSheetSize> hits;
    std::int16_t hitCount = 0;
    const std::u16string_view sheet = std::u16string_view(State.SheetText).substr(0, kSheetSize);
    for (const char16_t unit : changed) {
        const std::size_t found = sheet.find(unit);
        if (found == std::u16string_view::npos)
            continue;
        hitCount = Add(hitCount, 1);
        hits[hitCount] = static_cast<std::int16_t>(found + 1);
    }

    for (std::int16_t m = 1; m <= hitCount; m = Add(m, 1)) {
        const std::int16_t p = hits[m];
        std::int16_t row = Div(p, kSheetColumns);
        if (Mod(p, kSheetColumns) == 0)
            row = Sub(row, 1);
        const std::int16_t column = Sub(Sub(p, Mul(row, kSheetColumns)), 1);
        const bool typed =
            State.CurText.find(sheet[static_cast<std::size_t>(p - 1)]) != std::u16string::npos;
        w.SelectCell(column, row);
        w.SetCellTextColour(typed ? kWhite : kBlack);
    }
}

} // namespace

void ResetState() {
    State = StateRecord{};
}

void SetWindow(WindowOps *w) {
    window = w;
}

void FillCharBank() {
    for (int slot = 1; slot <= kBankSlots; ++slot)
        State.CharBank[slot] = std::u16string(kBankData[static_cast<std::size_t>(slot - 1)]);
}

std::int16_t IsMultiple(std::int32_t value, std::int16_t divisor) {
    return Mod<std::int32_t>(value, divisor) == 0 ? 1 : 0;
}

BankPlace BankPlaceOf(std::int32_t n) {
    // n = 157 is the last character of slot 1, not the first of slot 2.
    const std::int32_t slot32 = Sub<std::int32_t>(
        Add<std::int32_t>(Div<std::int32_t>(n, kSlotLength), 1), IsMultiple(n, kSlotLength));
    const std::int16_t slot = Narrow<std::int16_t>(slot32);
    const std::int16_t before = Mul<std::int16_t>(Sub<std::int16_t>(slot, 1), kSlotLength);
    return {slot, Sub<std::int32_t>(n, before)};
}

void OnLoad() {
    FillCharBank();
    State.Started = kFalse;
}

void OnStart() {
    StartNewTest();
    State.Started = kTrue;
}

void StartNewTest() {
    WindowOps &w = Window();
    RandomSource &random = CurrentRandomSource();

    random.Reseed();
    State.SheetText.clear();
    for (int n = 1; n <= kBankSize; ++n)
        State.Drawn[n] = kFalse;

    std::int16_t column = 0;
    std::int16_t row = 0;
    for (int i = 1; i <= kSheetSize; ++i) {
        std::int32_t n;
        do {
            const double r = random.Next();
            n = Narrow<std::int32_t>(static_cast<std::int64_t>(std::floor(r * kBankSize + 1)));
        } while (State.Drawn[n] != kFalse);
        State.DrawIndex = n;
        State.Drawn[n] = kTrue;

        const BankPlace place = BankPlaceOf(n);
        State.BankRow = place.slot;
        State.BankPos = place.position;
        const std::u16string_view ch = CharAt(State.CharBank[State.BankRow], State.BankPos);
        State.SheetText += ch;

        if (column >= kSheetColumns) {
            column = 0;
            row = Add(row, 1);
        }
        w.SelectCell(column, row);
        w.SetCellTextColour(kBlack);
        w.SetCellText(ch);
        column = Add(column, 1);
    }

    State.Minutes = 0;
    State.Seconds = 0;
    w.SetTimerRunning(true);
    // Runs the change pass when the box held text: the old text against the new
    // sheet, with PrevText still the old text. Its cells are black already.
    w.SetTypingText(u"");
    w.SetClockText(ClockDisplay(State.Minutes, State.Seconds));
    w.SetFinishEnabled(false);
    if (State.Started != kFalse)
        w.FocusTypingBox();
    State.PrevText.clear();
}

void TypingChanged() {
    WindowOps &w = Window();
    State.CurText = w.ReadTypingText();
#ifdef QELVARA_FAULT_TRIGGER
    // Test builds only: a subscript out of range on demand, where real faults
    // arise, with the clock running, so that the running program's fault path
    // can be checked. The variable is read once, not on every keystroke.
    static const char *const faultAt = std::getenv("QELVARA_FAULT_AT");
    if (faultAt != nullptr && Length(State.CurText) == std::atoi(faultAt))
        State.Matched[kSheetSize + 1] = kFalse;
#endif

    // What either text holds that the other does not account for is the
    // change: an addition, a removal, or both for a replacement. Each cell it
    // names shows whether its character is still in the box, so one copy
    // deleted of two leaves the cell white.
    Recolour(Unmatched(State.CurText, State.PrevText));
    Recolour(Unmatched(State.PrevText, State.CurText));

    State.PrevText = w.ReadTypingText();
}

std::int16_t CountCorrect() {
    for (int j = 1; j <= kSheetSize; ++j)
        State.Matched[j] = kFalse;
    std::int16_t count = 0;

    // The box cannot change while counting, so one read serves every position.
    const std::u16string typed = Window().ReadTypingText();
    const std::int16_t typedLength = Length(typed);
    for (std::int16_t i = 1; i <= typedLength; i = Add(i, 1)) {
        const char16_t unit = typed[static_cast<std::size_t>(i - 1)];
        for (int j = 1; j <= kSheetSize; ++j) {
            if (UnitIs(State.SheetText, j, unit) && State.Matched[j] == kFalse) {
                count = Add(count, 1);
                State.Matched[j] = kTrue;
            }
        }
    }
    return count;
}

void FinishTest() {
    WindowOps &w = Window();
    // Every finish, by button or by the clock: the text still being composed
    // is typed text by now, so it counts and the box agrees with the score.
    w.CommitComposition();
    w.SetTimerRunning(false);
    State.TotalSeconds = Add(Mul(State.Minutes, 60), State.Seconds);

    const std::int16_t correct = CountCorrect();
    if (State.TotalSeconds == 0)
        RaiseFault(correct == 0 ? Fault::InvalidOperation : Fault::DivisionByZero);
    State.Speed =
        ToSingle(static_cast<double>(correct) / static_cast<double>(State.TotalSeconds) * 60.0);

    // The count shown is the one the speed was computed from: the box cannot
    // change while the engine runs, so counting it again would give the same.
    const std::u16string text = ResultText(correct, State.Speed);
    if (w.Ask(text, kResultCaption) == Answer::Yes)
        StartNewTest();
    else
        w.EndProgram();
}

void ClockTick() {
    WindowOps &w = Window();
    State.Seconds = Add(State.Seconds, 1);
    if (State.Seconds == 60) {
        State.Minutes = Add(State.Minutes, 1);
        State.Seconds = 0;
    }
    if (State.Minutes == 1)
        w.SetFinishEnabled(true);
    if (State.Minutes == 10)
        FinishTest();
    w.SetClockText(ClockDisplay(State.Minutes, State.Seconds));
}

} // namespace temp

// The window operations on Form1's controls, plus what the load pass needs:
// the window centred on the work area, column widths and the typing box's
// maximum length.
#pragma once

#include "engine/window_ops.h"

#include <windows.h>

class Form1;

namespace qelvara::win {

inline constexpr UINT_PTR kTimer1 = 1;

class FormWindow : public temp::WindowOps {
public:
    explicit FormWindow(Form1 &form) : form_(form) {}

    void SelectCell(int column, int row) override;
    void SetCellTextColour(std::uint32_t bgr) override;
    void SetCellText(std::u16string_view text) override;
    void SetTimerRunning(bool on) override;
    std::u16string ReadTypingText() override;
    void SetTypingText(std::u16string_view text) override;
    void FocusTypingBox() override;
    void CommitComposition() override;
    void SetClockText(std::u16string_view text) override;
    void SetFinishEnabled(bool on) override;
    temp::Answer Ask(std::u16string_view text, std::u16string_view caption) override;
    [[noreturn]] void EndProgram() override;

    // A tick already queued when the timer stopped must not run.
    bool TimerRunning() const { return timer_running_; }

    // Centred on the work area (the screen without the taskbar) of the
    // window's monitor.
    void Centre();
    void SetColumnWidthTwips(int column, int twips);
    void SetTypingMaxLength(int units);

    // Set while a clock tick runs: a finish then is the clock's, and the
    // typist may still be typing.
    void SetInTick(bool in) { in_tick_ = in; }

private:
    Form1 &form_;
    bool timer_running_ = false;
    bool in_tick_ = false;
};

} // namespace qelvara::win

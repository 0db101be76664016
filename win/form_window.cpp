#include "form_window.h"

#include "accessible.h"
#include "fonts.h"
#include "form/form.h"
#include "form1.h"
#include "result_box.h"

#include <cstdio>
#include <cstdlib>

namespace qelvara::win {

void FormWindow::SelectCell(int column, int row) {
    form_.MSHFlexGrid1.SetCurrentColumn(column);
    form_.MSHFlexGrid1.SetCurrentRow(row);
}

void FormWindow::SetCellTextColour(std::uint32_t bgr) {
    // A COLORREF is 0x00BBGGRR too.
    form_.MSHFlexGrid1.SetCellTextColour(static_cast<COLORREF>(bgr));
}

void FormWindow::SetCellText(std::u16string_view text) {
    form_.MSHFlexGrid1.SetCellText(text);
}

void FormWindow::SetTimerRunning(bool on) {
    // Switching on a running timer keeps its period.
    if (on && !timer_running_)
        SetTimer(form_.Handle(), kTimer1, temp::kTickMilliseconds, nullptr);
    if (!on)
        KillTimer(form_.Handle(), kTimer1);
    timer_running_ = on;
}

std::u16string FormWindow::ReadTypingText() {
    return form_.Text1.Text();
}

void FormWindow::SetTypingText(std::u16string_view text) {
    form_.Text1.SetText(text);
}

void FormWindow::FocusTypingBox() {
    SetFocus(form_.Text1.Handle());
    // A new test: the box takes commits again (the finish stopped them).
    form_.Text1.ResumeCommits();
}

void FormWindow::CommitComposition() {
    form_.Text1.CommitComposition();
}

void FormWindow::SetClockText(std::u16string_view text) {
    SetWindowTextW(form_.Label3, Wide(text).c_str());
    // The name is what a screen reader says, so it carries the time too.
    Describe(form_.Label3, form::ClockName(text), {});
}

void FormWindow::SetFinishEnabled(bool on) {
    EnableWindow(form_.Command1, on);
}

temp::Answer FormWindow::Ask(std::u16string_view text, std::u16string_view caption) {
    const auto guard = in_tick_ ? form::kResultKeyGuard : std::chrono::milliseconds(0);
    return AskResult(form_.Handle(), text, caption, guard) == IDYES ? temp::Answer::Yes
                                                                    : temp::Answer::No;
}

void FormWindow::EndProgram() {
    // At once: no message loop, no destructors, no unload processing.
    std::fflush(nullptr);
    std::_Exit(0);
}

void FormWindow::Centre() {
    HWND window = form_.Handle();
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT &area = monitor.rcWork;
    RECT outer{};
    GetWindowRect(window, &outer);
    const LONG width = outer.right - outer.left, height = outer.bottom - outer.top;
    SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FormWindow::SetColumnWidthTwips(int column, int twips) {
    form_.SetColumnWidthTwips(column, twips);
}

void FormWindow::SetTypingMaxLength(int units) {
    form_.Text1.SetMaxLength(units);
}

} // namespace qelvara::win

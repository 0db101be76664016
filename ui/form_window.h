// The window operations on Form1's controls, plus what the load pass needs:
// screen and window sizes in twips, the window position, column widths and
// the typing box's maximum length.
#pragma once

#include "engine/window_ops.h"

class Form1;

namespace qelvara {

inline constexpr double kTwipsPerPixel = 15.0;

int TwipsToPixels(double twips);
double PixelsToTwips(double pixels);

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

    // The screen is its available area (without panels); left and top are
    // measured from that area's corner. The outer size includes the frame.
    double ScreenWidthTwips() const;
    double ScreenHeightTwips() const;
    double OuterWidthTwips() const;
    double OuterHeightTwips() const;
    void SetLeftTwips(double left);
    void SetTopTwips(double top);

    void SetColumnWidthTwips(int column, int twips);
    void SetTypingMaxLength(int units);

    // Set while a clock tick runs: a finish then is the clock's, and the
    // typist may still be typing.
    void SetInTick(bool in) { in_tick_ = in; }

private:
    Form1 &form_;
    bool in_tick_ = false;
};

} // namespace qelvara

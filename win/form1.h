// The program's one window: the intro (Label2, Command2, Text2), the test view
// (the sheet grid, the typing box, the clock in its drawn box, Finish) and the
// timer, on the system's own controls. Controls and event handlers keep their
// original form names; the table in form/form.h places them, in twips.
#pragma once

#include "form/form.h"
#include "form_window.h"
#include "sheet_grid.h"
#include "typing_box.h"

#include <windows.h>

#include <array>
#include <memory>

class Form1 {
public:
    // Creates the window hidden, at the system's DPI, with its controls.
    Form1();
    ~Form1();
    Form1(const Form1 &) = delete;
    Form1 &operator=(const Form1 &) = delete;

    // The load pass on the first call, then shows the window.
    void Show(int showCommand = SW_SHOWNORMAL);
    HWND Handle() const { return hwnd_; }
    unsigned Dpi() const { return dpi_; }

    // --- controls; Timer1 is the window's timer kTimer1 ---
    HWND Command2 = nullptr; // Start
    HWND Command1 = nullptr; // Finish
    qelvara::win::TypingBox Text1;
    qelvara::win::SheetGrid MSHFlexGrid1;
    HWND Text2 = nullptr;
    HWND Label2 = nullptr; // intro
    HWND Line4 = nullptr;  // the clock box: right, bottom, left, top
    HWND Line3 = nullptr;
    HWND Line2 = nullptr;
    HWND Line1 = nullptr;
    HWND Label3 = nullptr; // clock

    // --- events ---
    void Form1_Load();
    void Command2_Click();
    void Command1_Click();
    void Text1_Change();
    void Timer1_Timer();

    // The window operations the engine drives.
    qelvara::win::FormWindow &Window() { return *window_; }

    // Twips to pixels at the window's DPI.
    int Pixels(int twips) const;
    void SetColumnWidthTwips(int column, int twips);
    HWND Control(form::Id id) const;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    // Places, sizes and fonts for the window's DPI: at creation and on a DPI change.
    void Layout();
    void SetClientSize(const RECT *suggested);

    HWND hwnd_ = nullptr;
    unsigned dpi_ = 96;
    bool loaded_ = false;
    std::unique_ptr<qelvara::win::FormWindow> window_;
    std::array<HFONT, std::size(form::kControls)> fonts_{};
    std::array<int, temp::kSheetColumns> column_twips_{};
};

namespace qelvara::win {

// Runs the window's messages, with Tab moving the focus, until it closes.
int RunMessageLoop(Form1 &form);

} // namespace qelvara::win

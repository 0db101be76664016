// The sheet: the system's list view in report mode without headers, 10 rows
// of 20 cells, addressed by a current cell as the engine expects. It draws
// each cell itself (custom draw) as the character in its own colour on
// white, with no selection, focus or hover marks, so a white character
// vanishes in every cell. Nobody can edit it, select in it or scroll it.
//
// A list view rather than a hand-drawn window: screen readers know it, and
// read its rows and cells through the system's own accessibility support.
// What they read is each cell's text, which the list view asks the sheet for:
// the character of an untyped cell, and "（已打）" for a typed one, as on Linux.
#pragma once

#include "engine/temp.h"
#include "form/form.h"

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <string>
#include <string_view>

namespace qelvara::win {

class SheetGrid {
public:
    static constexpr int kRows = form::kGridRows;
    static constexpr int kColumns = temp::kSheetColumns;

    SheetGrid() = default;
    SheetGrid(const SheetGrid &) = delete;
    SheetGrid &operator=(const SheetGrid &) = delete;

    void Create(HWND parent, int id, bool visible);
    HWND Handle() const { return hwnd_; }

    // The current cell that the cell operations act on.
    void SetCurrentColumn(int column);
    void SetCurrentRow(int row);
    void SetCellTextColour(COLORREF colour);
    void SetCellText(std::u16string_view text);

    void SetColumnWidthPixels(int column, int pixels);
    void SetRowHeightPixels(int pixels);
    void SetFont(HFONT font);

    // The parent's WM_NOTIFY from the list view.
    LRESULT Notify(const NMHDR &header);

    // A cell's rectangle in the list view's client coordinates.
    RECT CellRect(int row, int column) const;

private:
    struct Cell {
        std::u16string text;
        COLORREF colour = RGB(0, 0, 0);
    };
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR self);
    LRESULT CustomDraw(NMLVCUSTOMDRAW &draw);
    void DrawCell(HDC dc, const RECT &rect, const Cell &cell) const;
    // What a screen reader reads for a cell, asked for by the list view.
    void Heard(NMLVDISPINFOW &info) const;
    void Redraw(int row, int column);

    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    HIMAGELIST row_height_ = nullptr;
    std::array<std::array<Cell, kColumns>, kRows> cells_{};
    std::array<int, kColumns> widths_{};
    int column_ = 0;
    int row_ = 0;
};

} // namespace qelvara::win

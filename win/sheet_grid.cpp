#include "sheet_grid.h"

#include "engine/fault.h"
#include "fonts.h"

#include <algorithm>

namespace qelvara::win {

namespace {

constexpr COLORREF kWhiteCell = RGB(255, 255, 255);

} // namespace

void SheetGrid::Create(HWND parent, int id, bool visible) {
    // LVS_NOSCROLL: the five sheet rows are the top rows, and nothing scrolls
    // them away; the other five lie below the edge, as in the grid it replaces.
    const DWORD style = WS_CHILD | WS_CLIPSIBLINGS | WS_BORDER | LVS_REPORT | LVS_NOCOLUMNHEADER |
                        LVS_NOSCROLL | LVS_SINGLESEL | (visible ? WS_VISIBLE : 0);
    hwnd_ = CreateWindowExW(0, WC_LISTVIEWW, L"", style, 0, 0, 0, 0, parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                            GetModuleHandleW(nullptr), nullptr);
    SendMessageW(hwnd_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES, LVS_EX_GRIDLINES);
    SendMessageW(hwnd_, LVM_SETBKCOLOR, 0, kWhiteCell);
    SendMessageW(hwnd_, LVM_SETTEXTBKCOLOR, 0, kWhiteCell);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    for (int c = 0; c < kColumns; ++c)
        SendMessageW(hwnd_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c),
                     reinterpret_cast<LPARAM>(&column));
    // Every cell's text is asked for when it is wanted (LVN_GETDISPINFO): a
    // screen reader always hears the cell as it is, and a colour change
    // repaints that cell alone, not its row.
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.pszText = LPSTR_TEXTCALLBACKW;
    for (int r = 0; r < kRows; ++r) {
        item.iItem = r;
        item.iSubItem = 0;
        SendMessageW(hwnd_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        for (int c = 1; c < kColumns; ++c) {
            item.iSubItem = c;
            SendMessageW(hwnd_, LVM_SETITEMTEXTW, static_cast<WPARAM>(r),
                         reinterpret_cast<LPARAM>(&item));
        }
    }
    SetWindowSubclass(hwnd_, Procedure, 0, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK SheetGrid::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR, DWORD_PTR self) {
    switch (message) {
    // Display only: no click selects, focuses or edits a cell, and no wheel
    // or key scrolls.
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
    case WM_KEYDOWN:
        return 0;
    case WM_NCDESTROY: {
        auto *grid = reinterpret_cast<SheetGrid *>(self);
        RemoveWindowSubclass(hwnd, Procedure, 0);
        if (grid->row_height_ != nullptr)
            ImageList_Destroy(grid->row_height_);
        grid->row_height_ = nullptr;
        break;
    }
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

void SheetGrid::SetCurrentColumn(int column) {
    if (column < 0 || column >= kColumns)
        temp::RaiseFault(temp::Fault::SubscriptOutOfRange);
    column_ = column;
}

void SheetGrid::SetCurrentRow(int row) {
    if (row < 0 || row >= kRows)
        temp::RaiseFault(temp::Fault::SubscriptOutOfRange);
    row_ = row;
}

void SheetGrid::SetCellTextColour(COLORREF colour) {
    Cell &cell = cells_[static_cast<std::size_t>(row_)][static_cast<std::size_t>(column_)];
    if (cell.colour == colour)
        return;
    cell.colour = colour;
    Redraw(row_, column_);
}

void SheetGrid::SetCellText(std::u16string_view text) {
    cells_[static_cast<std::size_t>(row_)][static_cast<std::size_t>(column_)].text = text;
    Redraw(row_, column_);
}

void SheetGrid::Heard(NMLVDISPINFOW &info) const {
    const int row = info.item.iItem, column = info.item.iSubItem;
    if ((info.item.mask & LVIF_TEXT) == 0 || row < 0 || row >= kRows || column < 0 ||
        column >= kColumns || info.item.cchTextMax <= 0)
        return;
    const Cell &cell = cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
    // A screen reader should not read out a character that has vanished.
    const std::u16string_view heard = cell.colour == kWhiteCell ? form::kTypedCell : cell.text;
    const std::size_t n =
        std::min(heard.size(), static_cast<std::size_t>(info.item.cchTextMax - 1));
    std::copy_n(heard.begin(), n, info.item.pszText);
    info.item.pszText[n] = L'\0';
}

void SheetGrid::Redraw(int row, int column) {
    const RECT cell = CellRect(row, column);
    InvalidateRect(hwnd_, &cell, FALSE);
}

RECT SheetGrid::CellRect(int row, int column) const {
    RECT rect{};
    rect.left = LVIR_BOUNDS;
    SendMessageW(hwnd_, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect));
    for (int c = 0; c < column; ++c)
        rect.left += widths_[static_cast<std::size_t>(c)];
    rect.right = rect.left + widths_[static_cast<std::size_t>(column)];
    return rect;
}

void SheetGrid::SetColumnWidthPixels(int column, int pixels) {
    if (column < 0 || column >= kColumns)
        temp::RaiseFault(temp::Fault::SubscriptOutOfRange);
    widths_[static_cast<std::size_t>(column)] = pixels;
    SendMessageW(hwnd_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), pixels);
}

void SheetGrid::SetRowHeightPixels(int pixels) {
    // A list view's rows are as tall as its small images: an empty image list
    // of that height sets them.
    HIMAGELIST old = row_height_;
    row_height_ = ImageList_Create(1, pixels, ILC_COLOR, 1, 0);
    SendMessageW(hwnd_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(row_height_));
    if (old != nullptr)
        ImageList_Destroy(old);
}

void SheetGrid::SetFont(HFONT font) {
    font_ = font;
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

LRESULT SheetGrid::Notify(const NMHDR &header) {
    switch (header.code) {
    case NM_CUSTOMDRAW:
        return CustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW *>(const_cast<NMHDR *>(&header)));
    case LVN_GETDISPINFOW:
        Heard(*reinterpret_cast<NMLVDISPINFOW *>(const_cast<NMHDR *>(&header)));
        return 0;
    case LVN_ITEMCHANGING: {
        // No item is ever selected or focused; its text may change.
        const auto &change = *reinterpret_cast<const NMLISTVIEW *>(&header);
        return (change.uChanged & LVIF_STATE) != 0 ? TRUE : FALSE;
    }
    default:
        return 0;
    }
}

LRESULT SheetGrid::CustomDraw(NMLVCUSTOMDRAW &draw) {
    switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
        // A row at a time, only its cells that need painting: a notification
        // for each cell costs more than drawing it (Wine: ~40 us each).
        const int row = static_cast<int>(draw.nmcd.dwItemSpec);
        if (row < 0 || row >= kRows)
            return CDRF_DODEFAULT;
        HDC dc = draw.nmcd.hdc;
        RECT clip{};
        GetClipBox(dc, &clip);
        const HGDIOBJ old = SelectObject(dc, font_);
        SetBkMode(dc, TRANSPARENT);
        RECT cell = CellRect(row, 0);
        for (std::size_t column = 0; column < kColumns; ++column) {
            cell.right = cell.left + widths_[column];
            RECT shown{};
            if (IntersectRect(&shown, &cell, &clip))
                DrawCell(dc, cell, cells_[static_cast<std::size_t>(row)][column]);
            cell.left = cell.right;
        }
        SelectObject(dc, old);
        return CDRF_SKIPDEFAULT;
    }
    default:
        return CDRF_DODEFAULT;
    }
}

void SheetGrid::DrawCell(HDC dc, const RECT &rect, const Cell &cell) const {
    // Inside the grid lines, which the list view draws afterwards.
    RECT inside = rect;
    inside.right -= 1;
    inside.bottom -= 1;
    FillRect(dc, &inside, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetTextColor(dc, cell.colour);
    const std::wstring text = Wide(cell.text);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &inside,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

} // namespace qelvara::win

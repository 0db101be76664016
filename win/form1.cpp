#include "form1.h"

#include "accessible.h"
#include "engine/temp.h"
#include "fonts.h"
#include "form/version.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

using qelvara::win::Wide;

namespace {

constexpr wchar_t kWindowClass[] = L"QelvaraForm1";
// A fixed single border with a caption and a close button; no maximise or
// minimise, no resizing.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
constexpr int kSheetRows = temp::kSheetSize / temp::kSheetColumns; // 5

int ControlId(form::Id id) {
    return 100 + static_cast<int>(id);
}

HMENU MenuId(form::Id id) {
    return reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(id)));
}

// A push button that Enter presses when it has the focus, as Space does,
// without being the window's default button.
LRESULT CALLBACK PushButton(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                            DWORD_PTR) {
    switch (message) {
    case WM_GETDLGCODE: {
        LRESULT code = DefSubclassProc(hwnd, message, wParam, lParam);
        const auto *msg = reinterpret_cast<const MSG *>(lParam);
        if (msg != nullptr && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN)
            code |= DLGC_WANTMESSAGE;
        return code;
    }
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            const bool repeat = (lParam & (1 << 30)) != 0;
            if (!repeat)
                SendMessageW(hwnd, BM_CLICK, 0, 0);
            return 0;
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, PushButton, 0);
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

void RegisterWindowClass() {
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW; // replaced per window, once it exists
    wc.hInstance = instance;
    wc.hIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);
}

} // namespace

Form1::Form1() : window_(std::make_unique<qelvara::win::FormWindow>(*this)) {
    RegisterWindowClass();
    hwnd_ = CreateWindowExW(kExStyle, kWindowClass, Wide(qelvara::kWindowTitle16).c_str(), kStyle,
                            CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc));
    dpi_ = GetDpiForWindow(hwnd_);
    CreateControls();
    SetClientSize(nullptr);
    Layout();
    temp::SetWindow(window_.get());
    Text1.OnChange([this] { Text1_Change(); });
}

Form1::~Form1() {
    temp::SetWindow(nullptr);
    if (hwnd_ != nullptr)
        DestroyWindow(hwnd_);
    for (HFONT font : fonts_)
        if (font != nullptr)
            DeleteObject(font);
}

HWND Form1::Control(form::Id id) const {
    switch (id) {
    case form::Id::Command2:
        return Command2;
    case form::Id::Command1:
        return Command1;
    case form::Id::Text1:
        return Text1.Handle();
    case form::Id::MSHFlexGrid1:
        return MSHFlexGrid1.Handle();
    case form::Id::Text2:
        return Text2;
    case form::Id::Label2:
        return Label2;
    case form::Id::Line4:
        return Line4;
    case form::Id::Line3:
        return Line3;
    case form::Id::Line2:
        return Line2;
    case form::Id::Line1:
        return Line1;
    case form::Id::Label3:
        return Label3;
    case form::Id::Timer1:
        break;
    }
    return nullptr;
}

void Form1::CreateControls() {
    // Tab moves in creation order here, so the controls are made in the
    // table's tab order; that also leaves Text2 above the Start button, as
    // the table has it (each control clips the ones above it, so the button
    // never paints over the box). The lines take no focus and come last.
    std::vector<const form::Control *> order;
    for (const form::Control &control : form::kControls)
        if (control.kind != form::Kind::Timer)
            order.push_back(&control);
    std::ranges::stable_sort(order, [](const form::Control *a, const form::Control *b) {
        const auto key = [](const form::Control *c) {
            return c->tabIndex == form::kNoTab ? 1000 : c->tabIndex;
        };
        return key(a) < key(b);
    });

    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (const form::Control *control : order) {
        const DWORD visible = control->visible ? WS_VISIBLE : 0;
        const std::wstring text = Wide(control->text);
        const auto make = [&](DWORD exStyle, const wchar_t *windowClass, DWORD style) {
            return CreateWindowExW(exStyle, windowClass, text.c_str(),
                                   WS_CHILD | WS_CLIPSIBLINGS | visible | style, 0, 0, 0, 0, hwnd_,
                                   MenuId(control->id), instance, nullptr);
        };
        switch (control->id) {
        case form::Id::Command2:
            Command2 = make(0, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON);
            break;
        case form::Id::Command1:
            Command1 = make(0, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON);
            break;
        case form::Id::Text1:
            Text1.Create(hwnd_, ControlId(control->id), control->visible);
            break;
        case form::Id::MSHFlexGrid1:
            MSHFlexGrid1.Create(hwnd_, ControlId(control->id), control->visible);
            break;
        case form::Id::Text2:
            Text2 = make(WS_EX_CLIENTEDGE, L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL);
            break;
        case form::Id::Label2:
            Label2 = make(0, L"STATIC", SS_CENTER | SS_NOPREFIX);
            break;
        case form::Id::Label3:
            Label3 = make(0, L"STATIC", SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX);
            break;
        // One pixel wide, in the frame colour (black in every standard scheme).
        case form::Id::Line4:
            Line4 = make(0, L"STATIC", SS_BLACKRECT);
            break;
        case form::Id::Line3:
            Line3 = make(0, L"STATIC", SS_BLACKRECT);
            break;
        case form::Id::Line2:
            Line2 = make(0, L"STATIC", SS_BLACKRECT);
            break;
        case form::Id::Line1:
            Line1 = make(0, L"STATIC", SS_BLACKRECT);
            break;
        case form::Id::Timer1:
            break;
        }
        qelvara::win::Describe(Control(control->id), form::AccessibleName(*control),
                               control->accessibleDescription);
    }
    for (HWND button : {Command1, Command2})
        SetWindowSubclass(button, PushButton, 0, 0);
}

int Form1::Pixels(int twips) const {
    return MulDiv(twips, static_cast<int>(dpi_), form::kTwipsPerInch);
}

void Form1::SetClientSize(const RECT *suggested) {
    const int width = Pixels(form::kClientWidth), height = Pixels(form::kClientHeight);
    RECT outer{0, 0, width, height};
    AdjustWindowRectExForDpi(&outer, kStyle, FALSE, kExStyle, dpi_);
    RECT now{};
    GetWindowRect(hwnd_, &now);
    const RECT &at = suggested != nullptr ? *suggested : now;
    SetWindowPos(hwnd_, nullptr, at.left, at.top, outer.right - outer.left,
                 outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE);
    // Where the frame is not what that DPI's metrics say (Wine keeps the
    // system's), the client area still gets its size.
    RECT client{};
    GetClientRect(hwnd_, &client);
    if (client.right != width || client.bottom != height)
        SetWindowPos(hwnd_, nullptr, 0, 0, outer.right - outer.left + width - client.right,
                     outer.bottom - outer.top + height - client.bottom,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form1::Layout() {
    for (std::size_t i = 0; i < std::size(form::kControls); ++i) {
        const form::Control &control = form::kControls[i];
        HWND hwnd = Control(control.id);
        if (hwnd == nullptr)
            continue;
        const form::Place &p = control.place;
        int left = Pixels(p.left), top = Pixels(p.top);
        int width = Pixels(p.left + p.width) - left, height = Pixels(p.top + p.height) - top;
        if (control.kind == form::Kind::Line) {
            width += 1;
            height += 1;
        }
        if (control.kind != form::Kind::Line) {
            HFONT old = fonts_[i];
            fonts_[i] = qelvara::win::CreateFormFont(control.font, dpi_);
            SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_[i]), FALSE);
            if (old != nullptr)
                DeleteObject(old);
        }
        if (control.id == form::Id::Label2) {
            // One line of 13 characters fills the designed rectangle exactly,
            // so a wider face would wrap it: the label grows to its text,
            // about the same centre.
            HDC dc = GetDC(hwnd);
            const HGDIOBJ old = SelectObject(dc, fonts_[i]);
            SIZE extent{};
            const std::wstring text = Wide(control.text);
            GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
            SelectObject(dc, old);
            ReleaseDC(hwnd, dc);
            const int grown = std::max(width, static_cast<int>(extent.cx) + 2);
            left -= (grown - width) / 2;
            width = grown;
        }
        SetWindowPos(hwnd, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    const auto grid = static_cast<std::size_t>(form::Id::MSHFlexGrid1);
    MSHFlexGrid1.SetFont(fonts_[grid]);
    for (int column = 0; column < temp::kSheetColumns; ++column)
        if (column_twips_[static_cast<std::size_t>(column)] != 0)
            SetColumnWidthTwips(column, column_twips_[static_cast<std::size_t>(column)]);
    // Rows tall enough for one 18-point character, all five sheet rows inside the grid.
    RECT inside{};
    GetClientRect(MSHFlexGrid1.Handle(), &inside);
    MSHFlexGrid1.SetRowHeightPixels((inside.bottom - inside.top) / kSheetRows);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void Form1::SetColumnWidthTwips(int column, int twips) {
    column_twips_.at(static_cast<std::size_t>(column)) = twips;
    MSHFlexGrid1.SetColumnWidthPixels(column, Pixels(twips));
}

void Form1::Show(int showCommand) {
    if (!loaded_) {
        loaded_ = true;
        Form1_Load();
    }
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
}

void Form1::Form1_Load() {
    qelvara::win::FormWindow &w = *window_;
    w.Centre();
    temp::OnLoad();
    w.SetTimerRunning(false);
    for (int column = 0; column < temp::kSheetColumns; ++column)
        w.SetColumnWidthTwips(column, form::kColumnWidth);
    w.SetTypingMaxLength(temp::kTypingLimit);
    // Text1 is hidden: the first visible control in tab order takes the focus.
    SetFocus(Text2);
}

void Form1::Command2_Click() {
    qelvara::win::FormWindow &w = *window_;
    temp::OnStart();
    ShowWindow(Command2, SW_HIDE);
    ShowWindow(Label2, SW_HIDE);
    ShowWindow(Command1, SW_SHOW);
    ShowWindow(Label3, SW_SHOW);
    for (HWND line : {Line1, Line2, Line3, Line4})
        ShowWindow(line, SW_SHOW);
    ShowWindow(Text1.Handle(), SW_SHOW);
    ShowWindow(Text2, SW_HIDE);
    w.SetTimerRunning(true);
    ShowWindow(MSHFlexGrid1.Handle(), SW_SHOW);
    // As every later test does: the user can type at once.
    w.FocusTypingBox();
}

void Form1::Command1_Click() {
    temp::FinishTest();
}

void Form1::Text1_Change() {
    temp::TypingChanged();
}

void Form1::Timer1_Timer() {
    window_->SetInTick(true);
    temp::ClockTick();
    window_->SetInTick(false);
}

LRESULT CALLBACK Form1::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *form = reinterpret_cast<Form1 *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (form == nullptr)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        form->hwnd_ = nullptr;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return form->Handle(message, wParam, lParam);
}

LRESULT Form1::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if (id == ControlId(form::Id::Command2) && code == BN_CLICKED)
            Command2_Click();
        else if (id == ControlId(form::Id::Command1) && code == BN_CLICKED)
            Command1_Click();
        else if (id == ControlId(form::Id::Text1) && code == EN_CHANGE)
            Text1.NoteTextChange();
        // IDOK (Enter) and IDCANCEL (Escape) from the dialog keys do nothing.
        return 0;
    }
    case WM_TIMER:
        if (wParam == qelvara::win::kTimer1 && window_->TimerRunning())
            Timer1_Timer();
        return 0;
    case WM_NOTIFY: {
        const auto *header = reinterpret_cast<const NMHDR *>(lParam);
        if (header->hwndFrom == MSHFlexGrid1.Handle())
            return MSHFlexGrid1.Notify(*header);
        break;
    }
    case WM_CTLCOLORSTATIC: {
        auto dc = reinterpret_cast<HDC>(wParam);
        const bool clock = reinterpret_cast<HWND>(lParam) == Label3;
        SetTextColor(dc, clock ? static_cast<COLORREF>(form::kClockColour)
                               : GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_NEXTDLGCTL: {
        // Tab and Shift+Tab, sent by IsDialogMessage; DefWindowProc ignores them.
        HWND next = lParam != 0 ? reinterpret_cast<HWND>(wParam)
                                : GetNextDlgTabItem(hwnd_, GetFocus(), wParam != 0);
        if (next != nullptr)
            SetFocus(next);
        return 0;
    }
    case DM_GETDEFID:
        return 0; // no default button
    case WM_DPICHANGED:
        dpi_ = HIWORD(wParam);
        SetClientSize(reinterpret_cast<const RECT *>(lParam));
        Layout();
        return 0;
    case WM_CLOSE:
        DestroyWindow(hwnd_);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

namespace qelvara::win {

int RunMessageLoop(Form1 &form) {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (form.Handle() != nullptr && IsDialogMessageW(form.Handle(), &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

} // namespace qelvara::win

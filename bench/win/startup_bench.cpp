// Start to first paint: from the process's creation to the window and all its
// controls painted, for Form1 ("form") or for a bare window of the same size
// with the same fonts and kinds of control ("bare"). Prints milliseconds;
// scripts/measure-wine.sh runs both in turn under Wine.
#include "win/fonts.h"
#include "win/form1.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cwchar>

namespace {

double MillisecondsSinceStart() {
    FILETIME created, exited, kernel, user, now;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    GetSystemTimePreciseAsFileTime(&now);
    const auto ticks = [](FILETIME t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(now) - ticks(created)) / 10000.0;
}

// Paints whatever is invalid, the controls too.
void PaintAll() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

HWND BareWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"BareWindow";
    RegisterClassW(&wc);
    RECT outer{0, 0, 681, 425};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    AdjustWindowRect(&outer, style, FALSE);
    HWND window = CreateWindowW(L"BareWindow", L"Bare Win32 window", style, CW_USEDEFAULT, 0,
                                outer.right - outer.left, outer.bottom - outer.top, nullptr,
                                nullptr, wc.hInstance, nullptr);
    const unsigned dpi = GetDpiForWindow(window);
    const struct {
        const wchar_t *kind, *text;
        form::Font font;
        RECT place;
    } controls[] = {
        {L"STATIC",
         L"一乙丁七乃九了二人儿入八几刀刁力匕十卜又",
         {form::Face::Ming, 18},
         {8, 8, 665, 40}},
        {L"STATIC", L"準備好沒有？按【確定】開始", {form::Face::Ming, 12}, {8, 240, 553, 40}},
        {L"STATIC", L"準備好沒有？按【確定】開始", {form::Face::NewMing, 9.75}, {8, 290, 200, 20}},
        {L"STATIC", L"0:00", {form::Face::Sans, 12, true}, {600, 260, 65, 25}},
        {L"BUTTON", L"確定", {form::Face::Sans, 9.75}, {584, 320, 81, 25}},
        {L"EDIT", L"Text2", {}, {584, 360, 81, 25}},
    };
    for (const auto &c : controls) {
        HWND control =
            CreateWindowW(c.kind, c.text, WS_CHILD | WS_VISIBLE, c.place.left, c.place.top,
                          c.place.right, c.place.bottom, window, nullptr, wc.hInstance, nullptr);
        SendMessageW(control, WM_SETFONT,
                     reinterpret_cast<WPARAM>(qelvara::win::CreateFormFont(c.font, dpi)), FALSE);
    }
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return window;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    if (argc > 1 && std::wcscmp(argv[1], L"bare") == 0) {
        BareWindow();
        PaintAll();
    } else {
        Form1 form;
        form.Show();
        PaintAll();
    }
    std::printf("%.1f\n", MillisecondsSinceStart());
    return 0;
}

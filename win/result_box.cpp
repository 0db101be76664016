#include "result_box.h"

#include "engine/fault.h"
#include "fonts.h"
#include "form/form.h"

namespace qelvara::win {

namespace {

// One box at a time: both are modal, and a fault ends the program.
HWND box = nullptr;
HHOOK activation = nullptr;
HHOOK filter = nullptr;
ULONGLONG keys_ignored_until = 0;

bool IsKey(UINT message) {
    return message >= WM_KEYFIRST && message <= WM_KEYLAST;
}

// Names the buttons as the program names them, once the box is laid out and
// about to show; the guard starts from then.
LRESULT CALLBACK Activation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && box == nullptr) {
        box = reinterpret_cast<HWND>(wParam);
        SetDlgItemTextW(box, IDYES, Wide(form::kYes).c_str());
        SetDlgItemTextW(box, IDNO, Wide(form::kNo).c_str());
        SetDlgItemTextW(box, IDOK, Wide(form::kFaultButton).c_str());
        keys_ignored_until += GetTickCount64();
    }
    return CallNextHookEx(activation, code, wParam, lParam);
}

// The box's own message loop shows each message here before handling it: a
// key in the guard time goes nowhere, and Escape never answers the box.
LRESULT CALLBACK Filter(int code, WPARAM wParam, LPARAM lParam) {
    const auto *msg = reinterpret_cast<const MSG *>(lParam);
    if (code == MSGF_DIALOGBOX && msg != nullptr && IsKey(msg->message)) {
        if (msg->wParam == VK_ESCAPE)
            return TRUE;
        if (GetTickCount64() < keys_ignored_until)
            return TRUE;
    }
    return CallNextHookEx(filter, code, wParam, lParam);
}

int Show(HWND owner, std::u16string_view text, std::u16string_view caption, UINT type,
         std::chrono::milliseconds ignoreKeys) {
    box = nullptr;
    keys_ignored_until = static_cast<ULONGLONG>(ignoreKeys.count());
    const DWORD thread = GetCurrentThreadId();
    activation = SetWindowsHookExW(WH_CBT, Activation, nullptr, thread);
    filter = SetWindowsHookExW(WH_MSGFILTER, Filter, nullptr, thread);
    const int answer = MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(), type);
    UnhookWindowsHookEx(filter);
    UnhookWindowsHookEx(activation);
    filter = activation = nullptr;
    box = nullptr;
    return answer;
}

} // namespace

int AskResult(HWND owner, std::u16string_view text, std::u16string_view caption,
              std::chrono::milliseconds ignoreKeys) {
    // Application-modal to its owner, which it disables; above other windows.
    int answer;
    do {
        answer = Show(owner, text, caption,
                      MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1 | MB_APPLMODAL | MB_TOPMOST,
                      ignoreKeys);
        // A box that cannot be shown is a failing call on a control.
        if (answer == 0)
            temp::RaiseFault(temp::Fault::NoWindow);
    } while (answer != IDYES && answer != IDNO); // only Yes or No answers it
    return answer;
}

void ShowFault(HWND owner, std::u16string_view text, std::u16string_view caption) {
    Show(owner, text, caption, MB_OK | MB_ICONERROR | MB_APPLMODAL | MB_TOPMOST,
         std::chrono::milliseconds(0));
}

HWND OpenMessageBox() {
    return box;
}

} // namespace qelvara::win

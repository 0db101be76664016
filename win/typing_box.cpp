#include "typing_box.h"

#include "box_text.h"
#include "fonts.h"

#include <commctrl.h>
#include <imm.h>

#include <limits>
#include <vector>

namespace qelvara::win {

namespace {

// The result flags of WM_IME_COMPOSITION: the box takes the result itself.
constexpr LPARAM kResultFlags =
    GCS_RESULTSTR | GCS_RESULTCLAUSE | GCS_RESULTREADSTR | GCS_RESULTREADCLAUSE;

std::u16string CompositionString(HWND hwnd, DWORD which) {
    HIMC context = ImmGetContext(hwnd);
    if (context == nullptr)
        return {};
    std::u16string text;
    const LONG bytes = ImmGetCompositionStringW(context, which, nullptr, 0);
    if (bytes > 0) {
        std::vector<wchar_t> buffer(static_cast<std::size_t>(bytes) / sizeof(wchar_t));
        ImmGetCompositionStringW(context, which, buffer.data(), static_cast<DWORD>(bytes));
        text.assign(buffer.begin(), buffer.end());
    }
    ImmReleaseContext(hwnd, context);
    return text;
}

} // namespace

void TypingBox::Create(HWND parent, int id, bool visible) {
    // Wraps at its right edge, with no scroll bars; it scrolls down by itself
    // once the lines fill it, or the control would refuse further text.
    const DWORD style = WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | ES_MULTILINE | ES_WANTRETURN |
                        ES_AUTOVSCROLL | (visible ? WS_VISIBLE : 0);
    hwnd_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", style, 0, 0, 0, 0, parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                            GetModuleHandleW(nullptr), nullptr);
    SetWindowSubclass(hwnd_, Procedure, 0, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK TypingBox::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR, DWORD_PTR self) {
    auto *box = reinterpret_cast<TypingBox *>(self);
    if (box->editing_)
        return DefSubclassProc(hwnd, message, wParam, lParam);
    return box->Handle(message, wParam, lParam);
}

LRESULT TypingBox::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CHAR:
        if (wParam == VK_BACK) {
            DeleteBack();
            return 0;
        }
        // Other control characters are the control's shortcuts: ^C, ^V, ^X
        // and ^Z send WM_COPY, WM_PASTE, WM_CUT and WM_UNDO, which come back here.
        if (wParam < 0x20 && wParam != '\r' && wParam != '\n' && wParam != '\t')
            break;
        Character(static_cast<char16_t>(wParam), false);
        return 0;
    case WM_IME_CHAR:
        Character(static_cast<char16_t>(wParam), true);
        return 0;
    // The composition is the input method's to show, in its own window at the
    // caret, never in the text: the control's own handling (Wine's EDIT) puts
    // it into the text, where the change pass and the limit would count it.
    case WM_IME_STARTCOMPOSITION:
        PlaceComposition();
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    case WM_IME_COMPOSITION:
        if (lParam & GCS_RESULTSTR) {
            const std::u16string result = CompositionString(hwnd_, GCS_RESULTSTR);
            if (!dropping_commits_)
                Insert(result);
            lParam &= ~kResultFlags;
        }
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    case WM_IME_ENDCOMPOSITION:
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    case WM_KEYDOWN:
        // The control deletes and pastes these without a message of its own.
        if (wParam == VK_DELETE && GetKeyState(VK_SHIFT) < 0) {
            SendMessageW(hwnd_, WM_CUT, 0, 0);
            return 0;
        }
        if (wParam == VK_DELETE) {
            DeleteForward();
            return 0;
        }
        if (wParam == VK_INSERT && GetKeyState(VK_SHIFT) < 0 && GetKeyState(VK_CONTROL) >= 0) {
            Paste();
            return 0;
        }
        break;
    case WM_PASTE:
        Paste();
        return 0;
    case WM_CUT:
        DefSubclassProc(hwnd_, WM_COPY, 0, 0);
        [[fallthrough]];
    case WM_CLEAR: {
        const auto [from, to] = Selection();
        Replace(from, to, u"");
        return 0;
    }
    case WM_SETTEXT:
        SetText(lParam != 0 ? reinterpret_cast<const char16_t *>(lParam) : u"");
        return TRUE;
    case EM_REPLACESEL: {
        const auto [from, to] = Selection();
        Replace(from, to, lParam != 0 ? reinterpret_cast<const char16_t *>(lParam) : u"",
                wParam != 0);
        return 0;
    }
    case EM_LIMITTEXT: // also EM_SETLIMITTEXT
        SetMaxLength(static_cast<int>(wParam));
        return 0;
    case WM_UNDO:
    case EM_UNDO: {
        const LRESULT undone = DefSubclassProc(hwnd_, message, wParam, lParam);
        NoteTextChange();
        return undone;
    }
    case WM_GETDLGCODE: {
        // Tab and Escape belong to the window (focus, nothing); Enter breaks the line.
        LRESULT code = DefSubclassProc(hwnd_, message, wParam, lParam);
        code &= ~static_cast<LRESULT>(DLGC_WANTALLKEYS | DLGC_WANTTAB);
        const auto *msg = reinterpret_cast<const MSG *>(lParam);
        if (msg != nullptr && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN)
            code |= DLGC_WANTMESSAGE;
        return code;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd_, Procedure, 0);
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd_, message, wParam, lParam);
}

void TypingBox::Character(char16_t unit, bool fromInputMethod) {
    if (fromInputMethod && dropping_commits_)
        return;
    if (unit == u'\r' || unit == u'\n') {
        Insert(u"\r\n");
        return;
    }
    if (unit == 0x7F) // Ctrl+BackSpace's character
        return;
    if (form::IsHighSurrogate(unit)) {
        pending_high_ = unit;
        return;
    }
    if (form::IsLowSurrogate(unit)) {
        // A low half without its high one stays out: it would be half a pair.
        if (pending_high_ != 0)
            Insert(std::u16string{pending_high_, unit});
        pending_high_ = 0;
        return;
    }
    pending_high_ = 0;
    Insert(std::u16string_view(&unit, 1));
}

std::u16string TypingBox::ControlText() const {
    const int length = GetWindowTextLengthW(hwnd_);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd_, text.data(), length + 1)));
    return {text.begin(), text.end()};
}

std::pair<int, int> TypingBox::Selection() const {
    DWORD from = 0, to = 0;
    SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    return {static_cast<int>(from), static_cast<int>(to)};
}

int TypingBox::Room(int replaced) const {
    if (max_length_ == 0)
        return std::numeric_limits<int>::max();
    return std::max(0, max_length_ - static_cast<int>(text_.size()) + replaced);
}

void TypingBox::SetMaxLength(int units) {
    max_length_ = std::max(units, 0);
    editing_ = true;
    SendMessageW(hwnd_, EM_LIMITTEXT, static_cast<WPARAM>(max_length_), 0);
    // Undo could bring back text from before the limit.
    SendMessageW(hwnd_, EM_EMPTYUNDOBUFFER, 0, 0);
    editing_ = false;
}

void TypingBox::Replace(int from, int to, std::u16string_view text, bool canUndo) {
    std::tie(from, to) = WholeCharacters(text_, from, to);
    const std::u16string stored = AsStored(text);
    const std::wstring fitted = Wide(Fit(stored, Room(to - from)));
    if (from == to && fitted.empty())
        return;
    editing_ = true;
    // Typing replaces the selection as it is: no selecting again (each
    // message to Wine's EDIT lays its lines out anew).
    if (Selection() != std::pair(from, to))
        SendMessageW(hwnd_, EM_SETSEL, static_cast<WPARAM>(from), static_cast<LPARAM>(to));
    SendMessageW(hwnd_, EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(fitted.c_str()));
    editing_ = false;
    NoteTextChange();
}

void TypingBox::Insert(std::u16string_view text) {
    if (AsStored(text).empty())
        return;
    const auto [from, to] = Selection();
    Replace(from, to, text);
}

void TypingBox::SetText(std::u16string_view text) {
    Replace(0, static_cast<int>(text_.size()), text, false);
    editing_ = true;
    SendMessageW(hwnd_, EM_SETSEL, 0, 0); // the caret at the start, as WM_SETTEXT leaves it
    SendMessageW(hwnd_, EM_EMPTYUNDOBUFFER, 0, 0);
    editing_ = false;
}

void TypingBox::DeleteBack() {
    const auto [from, to] = Selection();
    if (from != to)
        Replace(from, to, u"");
    else if (from > 0)
        Replace(from - 1, from, u"");
}

void TypingBox::DeleteForward() {
    const auto [from, to] = Selection();
    if (from != to)
        Replace(from, to, u"");
    else
        Replace(to, to + 1, u"");
}

void TypingBox::Paste() {
    if (!OpenClipboard(hwnd_))
        return;
    std::u16string text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto *units = static_cast<const char16_t *>(GlobalLock(data))) {
            text = units;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    Insert(text);
}

void TypingBox::NoteTextChange() {
    // The control's own EN_CHANGE during an edit of ours: the edit looks itself once it is done.
    if (editing_)
        return;
    std::u16string text = ControlText();
    if (text == text_)
        return;
    text_ = std::move(text);
    if (on_change_)
        on_change_();
}

std::u16string TypingBox::Composition() const {
    return CompositionString(hwnd_, GCS_COMPSTR);
}

void TypingBox::PlaceComposition() {
    HIMC context = ImmGetContext(hwnd_);
    if (context == nullptr)
        return;
    COMPOSITIONFORM form{};
    form.dwStyle = CFS_POINT;
    GetCaretPos(&form.ptCurrentPos);
    ImmSetCompositionWindow(context, &form);
    ImmReleaseContext(hwnd_, context);
}

void TypingBox::CommitComposition() {
    const std::u16string shown = Composition();
    dropping_commits_ = true;
    if (!shown.empty()) {
        if (HIMC context = ImmGetContext(hwnd_)) {
            ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0);
            ImmReleaseContext(hwnd_, context);
        }
    }
    Insert(shown);
}

} // namespace qelvara::win

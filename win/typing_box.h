// The typing box: the system's multi-line EDIT control, its maximum length
// (EM_LIMITTEXT) in UTF-16 code units, a line break stored as CR LF.
//
// One subclass procedure guards every road in: typed characters (WM_CHAR,
// WM_IME_CHAR), Enter, paste (WM_PASTE, Shift+Insert), an input method's
// commit (WM_IME_COMPOSITION's result), WM_SETTEXT and EM_REPLACESEL from
// anyone (an accessibility client writes with them), deleting keys and cut.
// All of them reach the text through Replace(), which widens the range to
// whole characters (a surrogate pair, CR LF) and fits the insertion to the
// room left before the content changes. Undo is the control's own: it only
// revisits states made on that road, and the history is emptied whenever
// the limit changes or the text is set. What an input method is still
// composing stays out of the text, in the input method's own window.
//
// The change event runs once for every change of the content, before the
// edit that made it returns: EN_CHANGE is not sent for WM_SETTEXT on a
// multi-line control, so the box compares the text after each edit itself.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

namespace qelvara::win {

class TypingBox {
public:
    TypingBox() = default;
    TypingBox(const TypingBox &) = delete;
    TypingBox &operator=(const TypingBox &) = delete;

    void Create(HWND parent, int id, bool visible);
    HWND Handle() const { return hwnd_; }

    // The box's change event.
    void OnChange(std::function<void()> handler) { on_change_ = std::move(handler); }
    // The parent's EN_CHANGE, and every edit of the box's own: the change
    // event runs when the content differs from what it last saw.
    void NoteTextChange();

    // 0 means no limit. Lowering it does not cut the present text.
    void SetMaxLength(int units);
    int MaxLength() const { return max_length_; }
    // The content as the last change event saw it: every change of the
    // control's text reaches NoteTextChange before anything else runs, and a
    // message to Wine's EDIT costs some 50 us, so the box keeps a copy.
    const std::u16string &Text() const { return text_; }

    // Replaces the content and empties the undo history; the change event
    // runs before this returns, and only when the content differs.
    void SetText(std::u16string_view text);
    // The one road in: the units from..to (clamped, in either order, widened
    // to whole characters) replaced with as much of text as fits.
    void Replace(int from, int to, std::u16string_view text, bool canUndo = true);

    // What an input method is composing in the box (empty when nothing).
    std::u16string Composition() const;
    // Ends composing for a finish: cancels the input method's composition and
    // puts what it showed into the box once (the change event runs before
    // this returns). From then on the box ignores what input methods commit,
    // until ResumeCommits() at the next test.
    void CommitComposition();
    void ResumeCommits() { dropping_commits_ = false; }

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR self);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

    // The selection replaced with text; nothing when the box stores none of it.
    void Insert(std::u16string_view text);
    void Character(char16_t unit, bool fromInputMethod);
    void DeleteBack();
    void DeleteForward();
    void Paste();
    std::pair<int, int> Selection() const;
    // The input method's composition window at the caret.
    void PlaceComposition();
    int Room(int replaced) const;
    std::u16string ControlText() const;

    HWND hwnd_ = nullptr;
    std::function<void()> on_change_;
    std::u16string text_;
    int max_length_ = 0;
    bool editing_ = false; // our own messages pass to the control
    bool dropping_commits_ = false;
    char16_t pending_high_ = 0; // a typed pair arrives as two WM_CHARs
};

} // namespace qelvara::win

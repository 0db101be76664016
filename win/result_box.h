// The question box at the end of a test and the fault box: the system's
// message box, with its buttons in the program's language.
#pragma once

#include <windows.h>

#include <chrono>
#include <string_view>

namespace qelvara::win {

// The result box: a question icon, Yes (the default) and No, above other
// windows and modal to owner. It has no cancel: Escape and the title bar's
// close do nothing. From the moment it shows, keys do nothing for
// `ignoreKeys` (after the clock's finish the typist may still be typing);
// the pointer answers it at once. Returns IDYES or IDNO.
int AskResult(HWND owner, std::u16string_view text, std::u16string_view caption,
              std::chrono::milliseconds ignoreKeys);

// The fault box: an error icon and one button, above the window.
void ShowFault(HWND owner, std::u16string_view text, std::u16string_view caption);

// The message box open now, if any (for tests).
HWND OpenMessageBox();

} // namespace qelvara::win

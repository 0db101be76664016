// What a screen reader calls a control and what it is for, set through the
// system's dynamic annotation (IAccPropServices), which every accessibility
// client reads, on the control as it is.
#pragma once

#include <windows.h>

#include <string_view>

namespace qelvara::win {

// Empty strings leave the control's own. Needs COM on the thread (Main
// starts it); without it, or without the service, this does nothing.
void Describe(HWND control, std::u16string_view name, std::u16string_view description);

} // namespace qelvara::win

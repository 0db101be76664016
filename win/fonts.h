// The shared table's faces as GDI fonts, at a window's DPI.
#pragma once

#include "form/form.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace qelvara::win {

// The font asked for, at dpi: the first of the face's Windows families that has
// Traditional Chinese glyphs (CHINESEBIG5_CHARSET), always asking for them.
// The default face is the system's message font. The caller deletes it.
HFONT CreateFormFont(const form::Font &wanted, unsigned dpi);

// The family that CreateFormFont picks for a face.
std::u16string FamilyOf(form::Face face);

// Wide strings for the W functions: wchar_t is UTF-16 on Windows.
inline std::wstring Wide(std::u16string_view text) {
    return {text.begin(), text.end()};
}

} // namespace qelvara::win

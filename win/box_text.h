// The typing box's text rules, apart from the control: the form the EDIT
// control stores text in, and whole characters (a surrogate pair, or a line
// break of CR LF) that no edit may split.
#pragma once

#include "form/box_text.h"

#include <string>
#include <string_view>

namespace qelvara::win {

// Every line-break convention (CR LF, CR, LF, U+2029) becomes CR LF, as the
// multi-line EDIT control stores it; NUL ends the text, as it ends a string
// given to the control.
std::u16string AsStored(std::u16string_view text);

// Whole characters, as both windows keep them.
using form::Fit;
using form::SplitsCharacter;
using form::WholeCharacters;

} // namespace qelvara::win

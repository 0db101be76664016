// The typing box's text rules, apart from the control: the form the EDIT
// control stores text in, and whole characters (a surrogate pair, or a line
// break of CR LF) that no edit may split.
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace qelvara::win {

// Every line-break convention (CR LF, CR, LF, U+2029) becomes CR LF, as the
// multi-line EDIT control stores it; NUL ends the text, as it ends a string
// given to the control.
std::u16string AsStored(std::u16string_view text);

// Whether offset `at` lies inside a whole character of text: between the
// halves of a surrogate pair, or between the CR and the LF of a line break.
bool SplitsCharacter(std::u16string_view text, std::size_t at);

// from..to clamped to text and put in order, each end moved out of a whole
// character: the start back, the end on; an insertion (from == to) goes before it.
std::pair<int, int> WholeCharacters(std::u16string_view text, int from, int to);

// The longest prefix of text that fits into room code units without
// splitting a pair or a line break.
std::u16string_view Fit(std::u16string_view text, int room);

} // namespace qelvara::win

// The typing box's rules for whole characters, the same in both windows: no
// edit may split a surrogate pair or the CR LF of a line break, and a text
// cut to fit the box keeps both halves or neither.
#pragma once

#include <cstddef>
#include <string_view>
#include <utility>

namespace form {

inline bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
inline bool IsLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Whether offset `at` lies inside a whole character of text: between the
// halves of a surrogate pair, or between the CR and the LF of a line break.
bool SplitsCharacter(std::u16string_view text, std::size_t at);

// from..to clamped to text and put in order, each end moved out of a whole
// character: the start back, the end on; an insertion (from == to) goes before it.
std::pair<int, int> WholeCharacters(std::u16string_view text, int from, int to);

// The longest prefix of text that fits into room code units without
// splitting a whole character.
std::u16string_view Fit(std::u16string_view text, int room);

} // namespace form

#include "box_text.h"

#include <algorithm>

namespace form {

bool SplitsCharacter(std::u16string_view text, std::size_t at) {
    if (at == 0 || at >= text.size())
        return false;
    const char16_t before = text[at - 1], after = text[at];
    return (IsHighSurrogate(before) && IsLowSurrogate(after)) ||
           (before == u'\r' && after == u'\n');
}

std::pair<int, int> WholeCharacters(std::u16string_view text, int from, int to) {
    const int length = static_cast<int>(text.size());
    from = std::clamp(from, 0, length);
    to = std::clamp(to, 0, length);
    if (from > to)
        std::swap(from, to);
    const bool insertion = from == to;
    if (SplitsCharacter(text, static_cast<std::size_t>(from)))
        --from;
    if (insertion)
        to = from;
    else if (SplitsCharacter(text, static_cast<std::size_t>(to)))
        ++to;
    return {from, to};
}

std::u16string_view Fit(std::u16string_view text, int room) {
    if (static_cast<int>(text.size()) <= room)
        return text;
    std::size_t n = static_cast<std::size_t>(std::max(room, 0));
    if (SplitsCharacter(text, n))
        --n; // a lone half is kept: cutting there splits nothing
    return text.substr(0, n);
}

} // namespace form

#include "box_text.h"

#include <algorithm>

namespace qelvara::win {

namespace {

bool IsHigh(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLow(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

} // namespace

std::u16string AsStored(std::u16string_view text) {
    text = text.substr(0, text.find(u'\0'));
    std::u16string stored;
    stored.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u == u'\r' || u == u'\n' || u == u'\u2029') {
            stored += u"\r\n";
            if (u == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else {
            stored += u;
        }
    }
    return stored;
}

bool SplitsCharacter(std::u16string_view text, std::size_t at) {
    if (at == 0 || at >= text.size())
        return false;
    const char16_t before = text[at - 1], after = text[at];
    return (IsHigh(before) && IsLow(after)) || (before == u'\r' && after == u'\n');
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
        --n;
    return text.substr(0, n);
}

} // namespace qelvara::win

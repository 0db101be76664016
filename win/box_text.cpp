#include "box_text.h"

namespace qelvara::win {

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

} // namespace qelvara::win

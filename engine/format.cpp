// Number and clock text, and the result box's text.
#include "temp.h"

#include <charconv>
#include <string>

namespace temp {

namespace {

std::u16string Widen(std::string_view ascii) {
    return {ascii.begin(), ascii.end()};
}

std::u16string Signed(std::string digits) {
    // Positive and zero values carry a space where the minus sign would stand.
    if (digits.front() != '-')
        digits.insert(digits.begin(), ' ');
    return Widen(digits);
}

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && s.front() == u' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == u' ')
        s.remove_suffix(1);
    return s;
}

} // namespace

std::u16string_view CharAt(std::u16string_view s, std::int64_t p) {
    if (p < 1 || p > static_cast<std::int64_t>(s.size()))
        return {};
    return s.substr(static_cast<std::size_t>(p - 1), 1);
}

std::u16string FormatStr(std::int16_t value) {
    return Signed(std::to_string(value));
}

std::u16string FormatStr(float value) {
    if (value == 0.0f)
        value = 0.0f; // no "-0"
    char buffer[32];
    // Seven significant digits, trailing zeros dropped, "." whatever the locale.
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 7);
    std::string text(buffer, result.ptr);
    // ".5", not "0.5".
    if (text.starts_with("0."))
        text.erase(0, 1);
    else if (text.starts_with("-0."))
        text.erase(1, 1);
    return Signed(text);
}

std::u16string ClockDisplay(std::int16_t minutes, std::int16_t seconds) {
    std::u16string text(Trim(FormatStr(minutes)));
    text += seconds > 9 ? u":" : u":0";
    text += Trim(FormatStr(seconds));
    return text;
}

std::u16string ResultText(std::int16_t count, float speed) {
    return u"正確字數：" + FormatStr(count) + u"字" + u"\n" + u"您的速度：每分鐘平均" +
           FormatStr(speed) + u"字" + u"\n\n" + u"是否開始新一次練習？";
}

} // namespace temp

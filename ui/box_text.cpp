#include "box_text.h"

#include <QRegularExpression>

#include <algorithm>

namespace qelvara {

bool IsBidiControl(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
}

QString AsStored(QString text) {
    text.removeIf(IsBidiControl); // first: a CR and an LF they parted are one break
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

QString Typed(QString composition) {
    static const QRegularExpression prompt(QStringLiteral(
        "(?<=[A-Za-z])\t?\uFF08[^\uFF08\uFF09]*\uFF09$|\u3014[^\u3014\u3015]*\u3015"));
    return composition.remove(prompt);
}

bool SplitsPair(QStringView text, qsizetype at) {
    return at > 0 && at < text.size() && text.at(at - 1).isHighSurrogate() &&
           text.at(at).isLowSurrogate();
}

std::pair<int, int> WholePairs(QStringView text, int from, int to) {
    const int length = static_cast<int>(text.size());
    from = std::clamp(from, 0, length);
    to = std::clamp(to, 0, length);
    if (from > to)
        std::swap(from, to);
    const bool insertion = from == to;
    if (SplitsPair(text, from))
        --from;
    if (insertion)
        to = from;
    else if (SplitsPair(text, to))
        ++to;
    return {from, to};
}

QString Fit(const QString &text, int room) {
    if (text.size() <= room)
        return text;
    qsizetype n = std::max(room, 0);
    if (SplitsPair(text, n))
        --n; // a lone half is kept: cutting there splits nothing
    return text.left(n);
}

} // namespace qelvara

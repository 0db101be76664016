#include "box_text.h"

#include "form/box_text.h"

#include <QRegularExpression>

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

namespace {

std::u16string_view View(QStringView text) {
    return {reinterpret_cast<const char16_t *>(text.utf16()),
            static_cast<std::size_t>(text.size())};
}

} // namespace

bool SplitsPair(QStringView text, qsizetype at) {
    return form::SplitsCharacter(View(text), static_cast<std::size_t>(at));
}

std::pair<int, int> WholePairs(QStringView text, int from, int to) {
    return form::WholeCharacters(View(text), from, to);
}

QString Fit(const QString &text, int room) {
    return text.left(static_cast<qsizetype>(form::Fit(View(text), room).size()));
}

} // namespace qelvara

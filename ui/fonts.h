// The shared table's faces and words as Qt takes them. The sheet, the typing
// box and the intro use a Ming (song) style Traditional Chinese face; buttons
// and the clock a sans serif one (form/form.h names the families).
#pragma once

#include "form/form.h"

#include <QFont>
#include <QString>

#include <string_view>

namespace qelvara {

QFont FontOf(const form::Font &wanted);
QFont MingFont(qreal points);
QFont SansFont(qreal points, bool bold = false);

inline QString ToQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace qelvara

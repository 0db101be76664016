#include "fonts.h"

#include <QStringList>

namespace qelvara {

QFont FontOf(const form::Font &spec) {
    QFont font;
    if (spec.face == form::Face::Default)
        return font;
    QStringList families;
    for (const std::u16string_view family : form::Families(spec.face, form::Platform::Linux))
        families << ToQString(family);
    font.setFamilies(families);
    font.setStyleHint(spec.face == form::Face::Sans ? QFont::SansSerif : QFont::Serif);
    font.setPointSizeF(spec.points);
    font.setBold(spec.bold);
    return font;
}

QFont MingFont(qreal points) {
    return FontOf({form::Face::Ming, points});
}

QFont SansFont(qreal points, bool bold) {
    return FontOf({form::Face::Sans, points, bold});
}

} // namespace qelvara

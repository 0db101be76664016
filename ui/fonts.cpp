#include "fonts.h"

#include <QStringList>

namespace qelvara {

QFont FontOf(const form::Font &wanted) {
    QFont font;
    if (wanted.face == form::Face::Default)
        return font;
    QStringList families;
    for (const std::u16string_view family : form::Families(wanted.face, form::Platform::Linux))
        families << ToQString(family);
    font.setFamilies(families);
    font.setStyleHint(wanted.face == form::Face::Sans ? QFont::SansSerif : QFont::Serif);
    font.setPointSizeF(wanted.points);
    font.setBold(wanted.bold);
    return font;
}

QFont MingFont(qreal points) {
    return FontOf({form::Face::Ming, points});
}

QFont SansFont(qreal points, bool bold) {
    return FontOf({form::Face::Sans, points, bold});
}

} // namespace qelvara

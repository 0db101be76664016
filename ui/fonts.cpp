#include "fonts.h"

#include <QStringList>

namespace qelvara {

QFont MingFont(qreal points) {
    QFont font;
    // Noto Serif CJK TC (fonts-noto-cjk) first; the AR PL faces are the older
    // Debian Ming fonts, then the Windows ones for a shared home directory.
    font.setFamilies({QStringLiteral("Noto Serif CJK TC"), QStringLiteral("AR PL UMing TW"),
                      QStringLiteral("AR PL Mingti2L Big5"), QStringLiteral("PMingLiU"),
                      QStringLiteral("MingLiU"), QStringLiteral("Noto Serif CJK HK")});
    font.setStyleHint(QFont::Serif);
    font.setPointSizeF(points);
    return font;
}

QFont SansFont(qreal points, bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("Noto Sans CJK TC"), QStringLiteral("Microsoft JhengHei"),
                      QStringLiteral("Noto Sans CJK HK"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

} // namespace qelvara

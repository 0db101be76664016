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
    // Where no sans face has Han glyphs, the Ming face draws them rather than
    // whatever fontconfig offers first, which may be Simplified.
    font.setFamilies({QStringLiteral("Noto Sans CJK TC"), QStringLiteral("Microsoft JhengHei"),
                      QStringLiteral("Noto Sans CJK HK"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("AR PL UMing TW")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

} // namespace qelvara

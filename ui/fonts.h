// The program's two type faces. The sheet, the typing box and the intro use a
// Ming (song) style Traditional Chinese face; buttons and the clock a sans
// serif one. Families are named explicitly: the generic "serif" can resolve to
// a Japanese or Simplified face, which draws many characters differently.
#pragma once

#include <QFont>

namespace qelvara {

QFont MingFont(qreal points);
QFont SansFont(qreal points, bool bold = false);

} // namespace qelvara

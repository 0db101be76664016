// Qt's own words in the window's language.
#pragma once

namespace qelvara {

// Loads Qt's Traditional Chinese translation (qtbase_zh_TW, Debian's
// qt6-translations-l10n) into the application, whatever the locale: the
// typing box's context menu and Qt's standard buttons then speak Chinese, as
// every word of the window does. Without the file they stay in English.
void InstallQtChinese();

} // namespace qelvara

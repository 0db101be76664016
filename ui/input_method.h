// Which input method Qt talks to when the desktop session names none.
#pragma once

namespace qelvara {

// Call before QApplication, with main's arguments. When neither QT_IM_MODULE
// nor QT_IM_MODULES is set and Qt would not reach the running input method by
// itself, sets QT_IM_MODULE to it (fcitx for fcitx5, ibus for ibus), as the
// desktop sessions do. Qt reaches one by itself only on Wayland through the
// compositor: under KDE Plasma, whose KWin carries the input method it was
// given, and from Qt 6.7 under GNOME, whose shell carries ibus over
// text-input v3 (Qt 6.4 lacks it). On X11 it never does.
void ChooseInputMethod(int argc, const char *const *argv);

} // namespace qelvara

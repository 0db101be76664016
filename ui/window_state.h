// Keeps a fixed-size window in its normal state on Wayland.
#pragma once

class QWindow;

namespace qelvara {

// Qt's own Wayland title bar offers maximize whatever the window's size
// limits, and a compositor that grants it expects the window to take the
// maximized size; one that keeps its size is cut off with a protocol error.
// This withdraws every request for the maximized or full-screen state the
// moment it is made, before the compositor can answer it. Does nothing on
// other platforms.
void KeepNormalState(QWindow *window);

} // namespace qelvara

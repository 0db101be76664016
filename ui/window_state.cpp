#include "window_state.h"

#include <QGuiApplication>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <wayland-client-core.h>

namespace qelvara {

namespace {

// xdg_toplevel requests, numbered as in the xdg-shell protocol.
constexpr uint32_t kUnsetMaximized = 10;
constexpr uint32_t kUnsetFullscreen = 12;

void Send(QWindow *window, uint32_t opcode) {
    auto *toplevel =
        static_cast<wl_proxy *>(QGuiApplication::platformNativeInterface()->nativeResourceForWindow(
            "xdg_toplevel", window));
    if (toplevel != nullptr)
        wl_proxy_marshal_flags(toplevel, opcode, nullptr, wl_proxy_get_version(toplevel), 0);
}

} // namespace

void KeepNormalState(QWindow *window) {
    if (QGuiApplication::platformName() != QLatin1String("wayland"))
        return;
    QObject::connect(window, &QWindow::windowStateChanged, window, [window] {
        const Qt::WindowStates states = window->windowStates();
        if (!(states & (Qt::WindowMaximized | Qt::WindowFullScreen)))
            return;
        // Qt has just queued the request, unsent. Qt itself would withdraw it
        // only once the compositor had granted it, and by then the window
        // would already have been drawn at the wrong size. Sent now, the
        // withdrawal travels with the request and the compositor never
        // answers either.
        if (states & Qt::WindowMaximized)
            Send(window, kUnsetMaximized);
        if (states & Qt::WindowFullScreen)
            Send(window, kUnsetFullscreen);
        window->setWindowStates(states & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
    });
}

} // namespace qelvara

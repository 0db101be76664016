#include "ui/input_method.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QVersionNumber>
#include <QtGlobal>

namespace qelvara {
namespace {

// The platform Qt will pick: -platform, then QT_QPA_PLATFORM, then the
// session's type, where Qt's Wayland plugin is installed.
bool OnWayland(int argc, const char *const *argv) {
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i)
        if (qstrcmp(argv[i], "-platform") == 0 || qstrcmp(argv[i], "--platform") == 0)
            platform = argv[i + 1];
    if (!platform.isEmpty())
        return platform.startsWith("wayland");
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                         QStringLiteral("/platforms"));
    return qgetenv("XDG_SESSION_TYPE") == "wayland" &&
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
           !platforms.entryList({QStringLiteral("libqwayland*")}).isEmpty();
}

} // namespace

void ChooseInputMethod(int argc, const char *const *argv) {
    if (!qEnvironmentVariableIsEmpty("QT_IM_MODULE") ||
        !qEnvironmentVariableIsEmpty("QT_IM_MODULES"))
        return;
    const bool wayland = OnWayland(argc, argv);
    const QByteArray desktop = qgetenv("XDG_CURRENT_DESKTOP");
    // KWin carries whatever input method it was given, and fcitx5 asks KDE
    // users to leave the variable unset: no need to ask the bus.
    if (wayland && desktop.contains("KDE"))
        return;
    // Without a session bus neither runs; and libdbus would launch one.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        !QFileInfo::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus")))
        return;
    // Only names already owned: asking for the others would start them.
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    const bool fcitx = bus && bus->isServiceRegistered(QStringLiteral("org.fcitx.Fcitx5"));
    const bool ibus = bus && bus->isServiceRegistered(QStringLiteral("org.freedesktop.IBus"));
    if (!fcitx && !ibus)
        return;
    // GNOME Shell carries ibus over text-input v3, which Qt has from 6.7.
    if (wayland && !fcitx && QLibraryInfo::version() >= QVersionNumber(6, 7) &&
        desktop.contains("GNOME"))
        return;
    qputenv("QT_IM_MODULE", fcitx ? "fcitx" : "ibus");
}

} // namespace qelvara

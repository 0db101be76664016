// Keys and pointer for a program under headless mutter, through mutter's
// remote-desktop D-Bus interface, for the end-to-end tests (commands.c reads
// the commands). One session for the whole run: stopping one removes its
// virtual keyboard, the window loses the keyboard focus, and Qt commits an
// open composition on that change. Every call waits for mutter's answer.
#include "commands.h"

#include <gio/gio.h>
#include <linux/input-event-codes.h>
#include <stdio.h>

static GDBusConnection *bus;
static char *session;
static double pointer_x, pointer_y;
static char failure[512] = "no session bus"; // why the last call failed

static GVariant *Call(const char *path, const char *interface, const char *method, GVariant *args) {
    GError *error = NULL;
    GVariant *reply =
        g_dbus_connection_call_sync(bus, "org.gnome.Mutter.RemoteDesktop", path, interface, method,
                                    args, NULL, G_DBUS_CALL_FLAGS_NONE, 5000, NULL, &error);
    if (!reply) {
        snprintf(failure, sizeof failure, "%s: %s", method, error->message);
        g_error_free(error);
    }
    return reply;
}

// An error message, or NULL once mutter has answered.
static const char *SessionCall(const char *method, GVariant *args) {
    GVariant *reply = Call(session, "org.gnome.Mutter.RemoteDesktop.Session", method, args);
    return reply ? (g_variant_unref(reply), NULL) : failure;
}

// A key or button pressed, then released.
static const char *PressRelease(const char *method, const char *format, guint32 code) {
    const char *error = SessionCall(method, g_variant_new(format, code, TRUE));
    return error ? error : SessionCall(method, g_variant_new(format, code, FALSE));
}

static const char *Key(xkb_keysym_t sym) {
    return PressRelease("NotifyKeyboardKeysym", "(ub)", sym);
}

static const char *Click(void) {
    return PressRelease("NotifyPointerButton", "(ib)", BTN_LEFT);
}

// Relative motion only: absolute motion needs a screen-cast stream, and so
// PipeWire. mutter keeps the pointer on the screen, so a long move to the top
// left corner gives a known place to count from.
static const char *Move(double x, double y) {
    const char *error = SessionCall("NotifyPointerMotionRelative",
                                    g_variant_new("(dd)", x - pointer_x, y - pointer_y));
    pointer_x = x, pointer_y = y;
    return error;
}

const struct Tool *Connect(void) {
    static const struct Tool mutter = {Key, Move, Click, NULL};
    bus = g_bus_get_sync(G_BUS_TYPE_SESSION, NULL, NULL);
    GVariant *reply = bus ? Call("/org/gnome/Mutter/RemoteDesktop",
                                 "org.gnome.Mutter.RemoteDesktop", "CreateSession", NULL)
                          : NULL;
    if (reply)
        g_variant_get(reply, "(o)", &session), g_variant_unref(reply);
    if (!reply || SessionCall("Start", NULL)) {
        fprintf(stderr, "mutter-input: no remote desktop session (%s)\n", failure);
        return NULL;
    }
    pointer_x = pointer_y = 100000;
    Move(0, 0);
    return &mutter;
}

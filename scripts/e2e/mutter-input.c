// Keys and pointer for a program under headless mutter, through mutter's
// remote-desktop D-Bus interface, for the end-to-end tests. One session for
// the whole run: stopping one removes its virtual keyboard, the window loses
// the keyboard focus, and Qt commits an open composition on that change.
//
// Reads commands from stdin, one per line, and answers each "ok" once mutter
// has taken it (or "error ..."):
//   key NAME...   press and release each X keysym name (Return, a, 3, ...)
//   type TEXT     press and release the key of each character
//   move X Y      put the pointer at X,Y of the screen
//   click         press and release the left button
//   focus WINDOW  nothing: mutter gives a new window the keyboard itself
#include <gio/gio.h>
#include <linux/input-event-codes.h>
#include <stdio.h>
#include <string.h>
#include <xkbcommon/xkbcommon.h>

static GDBusConnection *bus;
static char *session;
static double pointer_x, pointer_y;

static gboolean Call(const char *path, const char *interface, const char *method, GVariant *args,
                     GVariant **out) {
    GError *error = NULL;
    GVariant *reply =
        g_dbus_connection_call_sync(bus, "org.gnome.Mutter.RemoteDesktop", path, interface, method,
                                    args, NULL, G_DBUS_CALL_FLAGS_NONE, 5000, NULL, &error);
    if (!reply) {
        printf("error %s: %s\n", method, error->message);
        g_error_free(error);
        return FALSE;
    }
    if (out)
        *out = reply;
    else
        g_variant_unref(reply);
    return TRUE;
}

static gboolean SessionCall(const char *method, GVariant *args) {
    return Call(session, "org.gnome.Mutter.RemoteDesktop.Session", method, args, NULL);
}

static gboolean Key(xkb_keysym_t sym) {
    if (sym == XKB_KEY_NoSymbol) {
        printf("error unknown key\n");
        return FALSE;
    }
    return SessionCall("NotifyKeyboardKeysym", g_variant_new("(ub)", sym, TRUE)) &&
           SessionCall("NotifyKeyboardKeysym", g_variant_new("(ub)", sym, FALSE));
}

// Relative motion only: absolute motion needs a screen-cast stream, and so
// PipeWire. mutter keeps the pointer on the screen, so a long move to the top
// left corner gives a known place to count from.
static gboolean Move(double x, double y) {
    const gboolean moved = SessionCall("NotifyPointerMotionRelative",
                                       g_variant_new("(dd)", x - pointer_x, y - pointer_y));
    pointer_x = x, pointer_y = y;
    return moved;
}

static gboolean Run(char *line) {
    char *rest = strchr(line, ' ');
    rest = rest ? rest + 1 : line + strlen(line);
    if (g_str_has_prefix(line, "key ")) {
        for (char *name = strtok(rest, " "); name; name = strtok(NULL, " "))
            if (!Key(xkb_keysym_from_name(name, XKB_KEYSYM_NO_FLAGS)))
                return FALSE;
        return TRUE;
    }
    if (g_str_has_prefix(line, "type ")) {
        for (const char *c = rest; *c; c = g_utf8_next_char(c)) {
            if (!Key(xkb_utf32_to_keysym(g_utf8_get_char(c))))
                return FALSE;
            g_usleep(15000); // as xdotool type --delay 15: engines see separate keys
        }
        return TRUE;
    }
    double x, y;
    if (sscanf(line, "move %lf %lf", &x, &y) == 2)
        return Move(x, y);
    if (strcmp(line, "click") == 0)
        return SessionCall("NotifyPointerButton", g_variant_new("(ib)", BTN_LEFT, TRUE)) &&
               SessionCall("NotifyPointerButton", g_variant_new("(ib)", BTN_LEFT, FALSE));
    if (g_str_has_prefix(line, "focus"))
        return TRUE;
    printf("error unknown command\n");
    return FALSE;
}

int main(void) {
    GError *error = NULL;
    bus = g_bus_get_sync(G_BUS_TYPE_SESSION, NULL, &error);
    GVariant *reply = NULL;
    if (!bus || !Call("/org/gnome/Mutter/RemoteDesktop", "org.gnome.Mutter.RemoteDesktop",
                      "CreateSession", NULL, &reply)) {
        fprintf(stderr, "mutter-input: no remote desktop session\n");
        return 1;
    }
    g_variant_get(reply, "(o)", &session);
    g_variant_unref(reply);
    if (!SessionCall("Start", NULL))
        return 1;
    pointer_x = pointer_y = 100000;
    Move(0, 0);
    setvbuf(stdout, NULL, _IOLBF, 0);
    char line[1024];
    while (fgets(line, sizeof line, stdin)) {
        line[strcspn(line, "\n")] = '\0';
        if (Run(line))
            printf("ok\n");
    }
    return 0;
}

// Keys and pointer for a program under headless KWin, through KWin's
// fake-input protocol, for the end-to-end tests. One connection for the whole
// run: KWin makes a virtual device per connection, and a device that comes
// and goes can take the keyboard focus from the window, and Qt commits an
// open composition on that change. KWin offers the protocol to any client
// only with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1.
//
// Reads commands from stdin, one per line, and answers each "ok" once KWin
// has handled it (or "error ..."):
//   key NAME...      press and release each X keysym name (Return, a, 3, ...)
//   type TEXT        press and release the key of each character
//   move X Y         put the pointer at X,Y of the screen (logical pixels)
//   click            press and release the left button
//   focus WINDOW     nothing: KWin gives a new window the keyboard itself
//
// KWin gives the seat a pointer only while a device with one exists, so the
// first pointer events after this tool connects can reach a window before it
// has bound its pointer: move again when the window saw no move.
#define _POSIX_C_SOURCE 200809L // nanosleep

#include "fake-input-client-protocol.h"

#include <linux/input-event-codes.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

// keyboard_key came in version 4, the newest that KWin 5.27 offers.
enum { kMinVersion = 4, kReleased = 0, kPressed = 1 };

static struct wl_display *display;
static struct org_kde_kwin_fake_input *fake;
static uint32_t offered;
// KWin's default layout: keysyms are found on its keys.
static struct xkb_keymap *keymap;

static void Global(void *data, struct wl_registry *registry, uint32_t name, const char *interface,
                   uint32_t version) {
    (void)data;
    if (strcmp(interface, org_kde_kwin_fake_input_interface.name) != 0 || fake)
        return;
    offered = version;
    if (version < kMinVersion)
        return;
    // The highest version both sides know.
    const uint32_t ours = (uint32_t)org_kde_kwin_fake_input_interface.version;
    fake = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface,
                            version < ours ? version : ours);
}

static void GlobalRemove(void *data, struct wl_registry *registry, uint32_t name) {
    (void)data, (void)registry, (void)name;
}

static const struct wl_registry_listener kRegistryListener = {Global, GlobalRemove};

static void Evdev(uint32_t code, uint32_t state) {
    org_kde_kwin_fake_input_keyboard_key(fake, code, state);
}

// The evdev code whose first level gives `sym`, or whose second (with Shift)
// does; 0 if no key does.
static uint32_t KeyOf(xkb_keysym_t sym, int *shift) {
    for (int level = 0; level < 2; ++level) {
        for (xkb_keycode_t k = xkb_keymap_min_keycode(keymap); k <= xkb_keymap_max_keycode(keymap);
             ++k) {
            const xkb_keysym_t *syms;
            const int n =
                xkb_keymap_key_get_syms_by_level(keymap, k, 0, (xkb_level_index_t)level, &syms);
            for (int i = 0; i < n; ++i) {
                if (syms[i] == sym && k >= 8) {
                    *shift = level;
                    return k - 8; // xkb numbers keys from 8
                }
            }
        }
    }
    return 0;
}

static const char *Key(xkb_keysym_t sym) {
    int shift = 0;
    const uint32_t code = sym == XKB_KEY_NoSymbol ? 0 : KeyOf(sym, &shift);
    if (!code)
        return "no key gives that";
    if (shift)
        Evdev(KEY_LEFTSHIFT, kPressed);
    Evdev(code, kPressed);
    Evdev(code, kReleased);
    if (shift)
        Evdev(KEY_LEFTSHIFT, kReleased);
    return NULL;
}

static void Button(uint32_t code, uint32_t state) {
    org_kde_kwin_fake_input_button(fake, code, state);
}

// The next character of UTF-8 text, and where the one after it starts.
static uint32_t NextChar(const char **s) {
    const unsigned char *p = (const unsigned char *)*s;
    const int n = p[0] < 0x80 ? 1 : p[0] < 0xe0 ? 2 : p[0] < 0xf0 ? 3 : 4;
    uint32_t c = n == 1 ? p[0] : p[0] & (0x7f >> n);
    for (int i = 1; i < n; ++i) {
        if ((p[i] & 0xc0) != 0x80)
            return *s += i, 0xfffd;
        c = c << 6 | (p[i] & 0x3f);
    }
    *s += n;
    return c;
}

// Carries out one command line; an error message, or NULL.
static const char *Run(char *line) {
    char *rest = strchr(line, ' ');
    rest = rest ? (*rest = '\0', rest + 1) : line + strlen(line);
    const char *cmd = line;
    uint32_t x, y;
    if (!strcmp(cmd, "key")) {
        for (char *name = strtok(rest, " "); name; name = strtok(NULL, " ")) {
            const char *error = Key(xkb_keysym_from_name(name, XKB_KEYSYM_NO_FLAGS));
            if (error)
                return error;
        }
    } else if (!strcmp(cmd, "type")) {
        for (const char *c = rest; *c;) {
            const char *error = Key(xkb_utf32_to_keysym(NextChar(&c)));
            if (error)
                return error;
            // As xdotool type --delay 15: engines see separate keys.
            if (wl_display_roundtrip(display) < 0)
                return "the compositor closed the connection";
            nanosleep(&(struct timespec){0, 15000000}, NULL);
        }
    } else if (!strcmp(cmd, "move") && sscanf(rest, "%u %u", &x, &y) == 2) {
        org_kde_kwin_fake_input_pointer_motion_absolute(fake, wl_fixed_from_int((int)x),
                                                        wl_fixed_from_int((int)y));
    } else if (!strcmp(cmd, "click") && !*rest) {
        Button(BTN_LEFT, kPressed), Button(BTN_LEFT, kReleased);
    } else if (!strcmp(cmd, "focus")) {
    } else {
        return "unknown command";
    }
    return NULL;
}

int main(void) {
    struct xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    const struct xkb_rule_names us = {"evdev", "pc105", "us", "", ""};
    keymap = context ? xkb_keymap_new_from_names(context, &us, XKB_KEYMAP_COMPILE_NO_FLAGS) : NULL;
    display = wl_display_connect(NULL);
    if (!keymap || !display) {
        fprintf(stderr, "kwin-input: %s\n", keymap ? "no Wayland display" : "no us keymap");
        return 1;
    }
    struct wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, NULL);
    if (wl_display_roundtrip(display) < 0 || !fake) {
        fprintf(stderr,
                "kwin-input: no org_kde_kwin_fake_input version >= %d (offered: %u); "
                "KWin offers it only with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1\n",
                kMinVersion, offered);
        return 1;
    }
    // KWin ignores a device's events until it has asked.
    org_kde_kwin_fake_input_authenticate(fake, "kwin-input", "end-to-end tests");
    if (wl_display_roundtrip(display) < 0)
        return 1;
    setvbuf(stdout, NULL, _IOLBF, 0); // every answer at once: a test waits for it
    char line[1024];
    while (fgets(line, sizeof line, stdin)) {
        line[strcspn(line, "\r\n")] = '\0';
        const char *error = Run(line);
        if (!error && wl_display_roundtrip(display) < 0) {
            printf("error the compositor closed the connection\n");
            return 1;
        }
        if (error)
            printf("error %s\n", error);
        else
            printf("ok\n");
    }
    org_kde_kwin_fake_input_destroy(fake);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    return 0;
}

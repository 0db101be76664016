// Keys and pointer for a program under headless KWin, through KWin's
// fake-input protocol, for the end-to-end tests (commands.c reads the
// commands). One connection for the whole run: KWin makes a virtual device
// per connection, and a device that comes and goes can take the keyboard
// focus from the window, and Qt commits an open composition on that change.
// KWin offers the protocol to any client only with
// KWIN_WAYLAND_NO_PERMISSION_CHECKS=1.
//
// KWin gives the seat a pointer only while a device with one exists, so the
// first pointer events after this tool connects can reach a window before it
// has bound its pointer: move again when the window saw no move.
#include "commands.h"
#include "fake-input-client-protocol.h"

#include <linux/input-event-codes.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <wayland-client.h>

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

// Presses and releases the key whose first level gives `sym`, or else the
// one whose second (with Shift) does.
static const char *Key(xkb_keysym_t sym) {
    for (xkb_level_index_t level = 0; level < 2; ++level) {
        // xkb numbers keys from 8, evdev from 0, and 0 is no key.
        for (xkb_keycode_t k = 9; k <= xkb_keymap_max_keycode(keymap); ++k) {
            const xkb_keysym_t *syms;
            const int n = xkb_keymap_key_get_syms_by_level(keymap, k, 0, level, &syms);
            for (int i = 0; i < n; ++i) {
                if (syms[i] != sym)
                    continue;
                if (level)
                    Evdev(KEY_LEFTSHIFT, kPressed);
                Evdev(k - 8, kPressed), Evdev(k - 8, kReleased);
                if (level)
                    Evdev(KEY_LEFTSHIFT, kReleased);
                return NULL;
            }
        }
    }
    return "no key gives that";
}

static const char *Move(double x, double y) {
    org_kde_kwin_fake_input_pointer_motion_absolute(fake, wl_fixed_from_double(x),
                                                    wl_fixed_from_double(y));
    return NULL;
}

static const char *Click(void) {
    org_kde_kwin_fake_input_button(fake, BTN_LEFT, kPressed);
    org_kde_kwin_fake_input_button(fake, BTN_LEFT, kReleased);
    return NULL;
}

static const char *Sync(void) {
    return wl_display_roundtrip(display) < 0 ? "the compositor closed the connection" : NULL;
}

const struct Tool *Connect(void) {
    static const struct Tool kwin = {Key, Move, Click, Sync};
    struct xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    const struct xkb_rule_names us = {"evdev", "pc105", "us", "", ""};
    keymap = context ? xkb_keymap_new_from_names(context, &us, XKB_KEYMAP_COMPILE_NO_FLAGS) : NULL;
    display = wl_display_connect(NULL);
    if (!keymap || !display) {
        fprintf(stderr, "kwin-input: %s\n", keymap ? "no Wayland display" : "no us keymap");
        return NULL;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &kRegistryListener, NULL);
    if (wl_display_roundtrip(display) < 0 || !fake) {
        fprintf(stderr,
                "kwin-input: no org_kde_kwin_fake_input version >= %d (offered: %u); "
                "KWin offers it only with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1\n",
                kMinVersion, offered);
        return NULL;
    }
    // KWin ignores a device's events until it has asked.
    org_kde_kwin_fake_input_authenticate(fake, "kwin-input", "end-to-end tests");
    return Sync() ? NULL : &kwin;
}

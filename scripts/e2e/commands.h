// A key and pointer tool's side of commands.c: what it does on its compositor.
#pragma once

#include <xkbcommon/xkbcommon.h>

// Each returns an error message, or NULL.
struct Tool {
    const char *(*key)(xkb_keysym_t sym);    // press and release
    const char *(*move)(double x, double y); // the pointer to X,Y of the screen
    const char *(*click)(void);              // the left button
    const char *(*sync)(void); // until the compositor has handled all sent; NULL: each waits
};

// The tool's table once connected; NULL after saying why on stderr.
const struct Tool *Connect(void);

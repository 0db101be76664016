// Keys and pointer for a program under a headless compositor, for the
// end-to-end tests: the same commands as scripts/e2e/x-input.sh, read from
// stdin one per line, each answered "ok" once the compositor has taken it
// (or "error ..."):
//   key NAME...   press and release each X keysym name (Return, a, 3, ...)
//   type TEXT     press and release the key of each character
//   move X Y      put the pointer at X,Y of the screen (logical pixels)
//   click         press and release the left button
//   focus WINDOW  nothing: the compositor gives a new window the keyboard itself
// Each tool (mutter-input.c, kwin-input.c) supplies the compositor's side.
#define _POSIX_C_SOURCE 200809L // nanosleep

#include "commands.h"

#include <locale.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static const struct Tool *tool;

static const char *Key(xkb_keysym_t sym) {
    return sym == XKB_KEY_NoSymbol ? "unknown key" : tool->key(sym);
}

static const char *Sync(void) {
    return tool->sync ? tool->sync() : NULL;
}

// Carries out one command line; an error message, or NULL.
static const char *Run(char *line) {
    char *rest = strchr(line, ' ');
    rest = rest ? (*rest = '\0', rest + 1) : line + strlen(line);
    const char *error = NULL;
    double x, y;
    if (!strcmp(line, "key")) {
        for (char *name = strtok(rest, " "); name && !error; name = strtok(NULL, " "))
            error = Key(xkb_keysym_from_name(name, XKB_KEYSYM_NO_FLAGS));
    } else if (!strcmp(line, "type")) {
        // A pause after each, as xdotool type --delay 15: engines see separate keys.
        for (int n; *rest && !error; rest += n > 0 ? n : 1) {
            wchar_t c; // UTF-32 in glibc
            n = mbtowc(&c, rest, MB_CUR_MAX);
            error = Key(xkb_utf32_to_keysym(n > 0 ? (uint32_t)c : 0xfffd));
            if (!error && !(error = Sync()))
                nanosleep(&(struct timespec){0, 15000000}, NULL);
        }
    } else if (!strcmp(line, "move") && sscanf(rest, "%lf %lf", &x, &y) == 2) {
        error = tool->move(x, y);
    } else if (!strcmp(line, "click") && !*rest) {
        error = tool->click();
    } else if (strcmp(line, "focus")) {
        error = "unknown command";
    }
    return error;
}

int main(void) {
    if (!(tool = Connect()))
        return 1;
    setvbuf(stdout, NULL, _IOLBF, 0); // every answer at once: a test waits for it
    setlocale(LC_CTYPE, "C.UTF-8");   // TEXT is UTF-8 whatever the caller's locale
    char line[1024];
    while (fgets(line, sizeof line, stdin)) {
        line[strcspn(line, "\r\n")] = '\0';
        const char *error = Run(line);
        if (!error && (error = Sync())) // the compositor went away: nothing more reaches it
            return printf("error %s\n", error), 1;
        printf("%s%s\n", error ? "error " : "ok", error ? error : "");
    }
    return 0;
}

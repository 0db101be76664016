#!/usr/bin/python3
# The program over the real accessibility bus, as on-screen keyboards and
# dictation tools reach it: a write through AT-SPI keeps the box's limit, and
# closing the window mid-test ends the program with status 0, no result box.
#   scripts/e2e/session.sh --a11y tests/e2e/a11y_e2e.py build/test/app/qelvara
import ctypes
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def find(node, ok):  # the first descendant that is ok, read afresh
    node.clear_cache()
    for child in filter(None, map(node.get_child_at_index, range(node.get_child_count()))):
        found = child if ok(child) else find(child, ok)
        if found is not None:
            return found
    return None


def wait_for(what, node, ok):
    for _ in range(200):
        found = find(node, ok)
        if found is not None:
            return found
        time.sleep(0.1)
    sys.exit(f"FAIL: no {what} over AT-SPI")


def showing(role, name):
    return lambda n: (n.get_role() == role and n.get_name() == name
                      and n.get_state_set().contains(Atspi.StateType.SHOWING))


def close_window(pid):  # as a title bar's close button does
    ids = subprocess.run(["xdotool", "search", "--pid", str(pid)], capture_output=True,
                         text=True, check=True).stdout.split()
    x = ctypes.CDLL("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    display = ctypes.c_void_p(x.XOpenDisplay(None))
    protocols, delete = (x.XInternAtom(display, n, 0) for n in (b"WM_PROTOCOLS", b"WM_DELETE_WINDOW"))
    for window in map(int, ids):
        # An XClientMessageEvent as 24 longs: type, serial, send_event,
        # display, window, message_type, format, then data[0] = the protocol.
        event = (ctypes.c_long * 24)(33, 0, 0, 0, window, protocols, 32, delete)
        x.XSendEvent(display, ctypes.c_ulong(window), 0, ctypes.c_long(0), event)
    x.XFlush(display)


Atspi.init()
program = subprocess.Popen(sys.argv[1:])
try:
    app = wait_for("program", Atspi.get_desktop(0), lambda a: a.get_process_id() == program.pid)
    Atspi.Action.do_action(wait_for("Start", app, showing(Atspi.Role.PUSH_BUTTON, "確定")), 0)
    box = wait_for("typing box", app, showing(Atspi.Role.TEXT, "打字區"))
    Atspi.EditableText.insert_text(box, 0, "丶" * 150, 150)
    held = Atspi.Text.get_character_count(box)
    running = program.poll() is None
    close_window(program.pid)
    status = program.wait(timeout=15)
finally:
    program.kill()
print(f"an insert of 150 left {held} in the box (limit 100), the program running: {running};"
      f" closed mid-test, it ended with status {status}")
sys.exit(0 if (held, running, status) == (100, True, 0) else 1)

#!/usr/bin/python3
"""The typing box as on-screen keyboards and dictation tools reach it: over
AT-SPI. Runs the program, presses Start through its accessible action, writes
into the box through its EditableText interface and reads it back through its
Text interface: every write is cut to the box's 100 units and none faults.
Then closes the window mid-test: the program must end with status 0 and no
result box. Run it under scripts/e2e/with-a11y-session.sh:

    with-a11y-session.sh tests/e2e/a11y_e2e.py build/test/app/qelvara
"""
import ctypes
import subprocess
import sys
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

LIMIT = 100
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


def wait_for(find, what, timeout=20.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = find()
        if found is not None:
            return found
        time.sleep(0.1)
    sys.exit(f"FAIL {what} did not appear over AT-SPI")


def find(node, role, name):
    """The showing descendant with this role and name, read afresh."""
    node.clear_cache()
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is None:
            continue
        if (child.get_role() == role and child.get_name() == name
                and child.get_state_set().contains(Atspi.StateType.SHOWING)):
            return child
        found = find(child, role, name)
        if found is not None:
            return found
    return None


def program_app(pid):
    desktop = Atspi.get_desktop(0)
    desktop.clear_cache()
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def close_window(pid):
    """Asks the program's windows to close, as a window manager's close button does."""
    # Window ids by the program's pid (_NET_WM_PID), from xdotool.
    ids = subprocess.run(["xdotool", "search", "--pid", str(pid)], capture_output=True,
                         text=True).stdout.split()
    x = ctypes.CDLL("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                             ctypes.c_void_p]
    x.XFlush.argtypes = x.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):  # XClientMessageEvent, format 32
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                    ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                    ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5),
                    ("pad", ctypes.c_long * 19)]  # the size of an XEvent

    display = x.XOpenDisplay(None)
    protocols = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
    delete = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    for window in ids:
        event = ClientMessage(type=33, window=int(window), message_type=protocols, format=32)
        event.data[0] = delete
        event.data[1] = 0  # CurrentTime
        x.XSendEvent(display, int(window), 0, 0, ctypes.byref(event))
    x.XFlush(display)
    x.XCloseDisplay(display)
    return len(ids)


def main():
    Atspi.init()
    stderr = tempfile.TemporaryFile(mode="w+")
    program = subprocess.Popen(sys.argv[1:], stderr=stderr)
    try:
        run(program)
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()
        stderr.seek(0)
        errors = stderr.read()
        sys.stderr.write(errors)
    check("run-time error" not in errors, "no fault was reported on stderr")
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


def run(program):
    app = wait_for(lambda: program_app(program.pid), "the program")
    start = wait_for(lambda: find(app, Atspi.Role.PUSH_BUTTON, "確定"), "Start")
    Atspi.Action.do_action(start, 0)
    box = wait_for(lambda: find(app, Atspi.Role.TEXT, "打字區"), "the typing box")
    grid = find(app, Atspi.Role.TABLE, "字表")
    cells = (Atspi.Table.get_accessible_at(grid, i // 20, i % 20) for i in range(100))
    sheet = "".join(cell.get_name() for cell in cells)
    check(len(sheet) == 100, f"the sheet reads as 100 characters ({len(sheet)})")

    def after(what, expected):
        count = Atspi.Text.get_character_count(box)
        content = Atspi.Text.get_text(box, 0, -1)
        check(count == expected and len(content) == expected,
              f"{what}: the box holds {count} units ({len(content)} read), expected {expected}")
        check(program.poll() is None, f"{what}: the program still runs")

    outside = "丶"  # not in the bank
    Atspi.EditableText.insert_text(box, 0, outside * 150, 150)
    after("insert 150 units", LIMIT)
    Atspi.EditableText.set_text_contents(box, outside * 300)
    after("set 300 units as the contents", LIMIT)
    Atspi.EditableText.delete_text(box, 0, LIMIT)
    after("delete everything", 0)
    Atspi.EditableText.insert_text(box, 0, sheet * 2, 200)
    after("insert 200 sheet characters into the empty box", LIMIT)
    check(Atspi.Text.get_text(box, 0, -1) == sheet, "what fitted is the sheet, in order")
    Atspi.EditableText.delete_text(box, 10, 60)
    after("delete 50 units", LIMIT - 50)

    # Closing the window mid-test ends the program with status 0. A result
    # box would wait for an answer, and the program would not end.
    check(close_window(program.pid) > 0, "the program's window was found on the display")
    try:
        status = program.wait(timeout=15)
    except subprocess.TimeoutExpired:
        status = None
    check(status == 0, f"closed mid-test, the program ended with status 0 ({status})")


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
# The built program as a screen reader finds it, launched twice: each launch
# starts a test on a sheet of its own. In the second, the first character
# typed makes a subscript out of range (QELVARA_FAULT_AT=1, read only by test
# builds): a box names the fault in Chinese, the clock no longer moves behind it, and
# once the box is closed the program is gone with status 3.
# Usage, in an X session with xdotool, with QELVARA_FAULT_AT=1 and
# QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 set: fault_box.py PROGRAM
import subprocess
import sys
import time

import pyatspi


def check(ok, what):
    if not ok:
        program.kill()
        sys.exit(f"FAIL: {what}")
    return ok


def wait(what, probe):
    end = time.monotonic() + 20
    while not (value := probe()) and program.poll() is None and time.monotonic() < end:
        time.sleep(0.1)
    return check(value, f"{what} (program status {program.poll()})")


def windows():
    desktop = pyatspi.Registry.getDesktop(0)
    return [w for a in desktop if a and a.get_process_id() == program.pid for w in a]


def named(root, name):
    return pyatspi.findDescendant(root, lambda o: o.name.startswith(name))


sheets = []
for _ in range(2):
    program = subprocess.Popen(sys.argv[1:])
    form = wait("no window on the AT-SPI bus", windows)[0]
    named(form, "確定").queryAction().doAction(0)  # Start
    wait("the clock does not run", lambda: named(form, "計時 0:01"))
    sheets.append([c.name for c in named(form, "字表") if c.getRole() == pyatspi.ROLE_TABLE_CELL])
    if len(sheets) == 1:
        program.kill(), program.wait()
check(len(set(sheets[0][:100])) == 100 and sheets[0] != sheets[1], f"two launches drew {sheets}")

subprocess.run(["xdotool", "search", "--name", "^Qelvara", "windowfocus", "--sync", "type", "a"])
box = wait("no box over the window", lambda: windows()[1:2])[0]
text = " ".join(o.name + o.description for o in [box, *pyatspi.findAllDescendants(box, bool)])
check("陣列索引超出範圍" in text, f"the box does not name the fault: {text!r}")
clock = named(form, "計時").name
time.sleep(2.5)
check(named(form, "計時").name == clock, f"the clock went on behind the box from {clock!r}")
named(box, "確定").queryAction().doAction(0)
wait("the program did not end with status 3 once the box closed", lambda: program.poll() == 3)

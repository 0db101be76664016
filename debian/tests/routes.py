#!/usr/bin/python3
"""The installed program on one end-to-end route, inside scripts/e2e/session.sh
(which names the route in QELVARA_E2E_IM): Start pressed with the keyboard, then
我 typed with Zhuyin and with Cangjie through the route's input method lands in
the typing box once and goes again on BackSpace, as a screen reader reads it.
Keys come from the route's tool (QELVARA_E2E_INPUT), as in the project's tests.

Usage: routes.py PROGRAM
"""
import os
import subprocess
import sys
import time

import pyatspi

IM = os.environ["QELVARA_E2E_IM"]
RIME = IM.endswith("rime")
FCITX5 = not IM.startswith("ibus-")  # ibus alone: fcitx5's ibus frontend
# (engine, keys that pick it in the engine's menu, keys for 我, key that commits)
ENGINES = (
    [("rime", "", "ji3", "Return"), ("rime", "ctrl+grave 3", "hqi", "space")]
    if RIME
    else [("chewing", "", "ji3", "Return"),
          ("cangjie" if FCITX5 else "table:cangjie5", "", "hqi", "space")]
)


def fail(what):
    program.kill()
    sys.exit(f"FAIL ({IM or 'no input method'}): {what}")


def wait(what, probe, seconds=20):
    end = time.monotonic() + seconds
    while not (value := probe()):
        if program.poll() is not None:
            fail(f"{what}: the program ended with status {program.returncode}")
        if time.monotonic() > end:
            fail(what)
        time.sleep(0.1)
    return value


def send(line):
    tool.stdin.write(line + "\n")
    tool.stdin.flush()
    if tool.stdout.readline() != "ok\n":
        fail(f"the key tool did not take {line!r}")


def press(command, cond, seconds=2):
    """Sends a command; true once cond holds, within seconds."""
    send(command)
    end = time.monotonic() + seconds
    while not cond() and time.monotonic() < end:
        time.sleep(0.05)
    return cond()


def window():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == program.pid and app.childCount:
            return app[0]


def focused(control):
    return control.getState().contains(pyatspi.STATE_FOCUSED)


# Qt serves a screen reader only when one is asked for, or with this set.
program = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL,
                           env=dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1"))
tool = subprocess.Popen(os.environ["QELVARA_E2E_INPUT"], shell=True, text=True,
                        stdin=subprocess.PIPE, stdout=subprocess.PIPE)
form = wait("no window on the AT-SPI bus", window)
named = {child.name: child for child in form}
box, start = named["打字區"], named["確定"]
if not os.environ.get("WAYLAND_DISPLAY"):  # on X nobody else gives it the keyboard
    xid = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid",
                          str(program.pid)], capture_output=True, text=True).stdout.split()
    send(f"focus {xid[0]}")
# From the intro's text box to Start: a compositor drops a new keyboard's first keys.
for _ in range(20):
    if focused(start) or press("key Tab", lambda: focused(start), 1):
        break
else:
    fail("Tab never reached Start: no keys arrive")
if not press("key space", lambda: focused(box), 5):
    fail("Space on Start did not start a test")
text = lambda: box.queryText().getText(0, -1)

for engine, choose, keys, commit in ENGINES:
    select = ("fcitx5-remote -s {0}; test \"$(fcitx5-remote -n)\" = {0}" if FCITX5
              else "ibus engine {0}; test \"$(ibus engine)\" = {0}").format(engine)
    wait(f"{engine} cannot be selected",
         lambda: subprocess.run(["sh", "-c", select], capture_output=True).returncode == 0)
    # Until the input method has the box, its keys arrive as letters: those
    # are taken back, and the keys typed again.
    for _ in range(10):
        if choose:
            send(f"key {choose}")
        send(f"type {keys}")
        if not press(f"key {commit}", lambda: text() != "", 5):
            fail(f"{keys} and {commit} typed nothing with {engine}")
        if not text().isascii():
            break
        while text():
            press("key BackSpace", lambda: True, 0)
        time.sleep(1)
    else:
        fail(f"{engine} never took the keys: they arrive as letters")
    time.sleep(0.5)  # nothing more arrives
    if text() != "我":
        fail(f"{keys} and {commit} with {engine} typed {text()!r}, not 我 once")
    if not press("key BackSpace", lambda: text() == ""):
        fail(f"BackSpace left {text()!r}")
    print(f"ok: 我 typed with {engine} ({keys}) and deleted", flush=True)
program.kill()

#!/usr/bin/python3
"""Starts a test in the running qelvara, reads its sheet over AT-SPI, types
one sheet character through fcitx5's quick phrase and checks on screen that
the character vanishes, and comes back on BackSpace.

"sheet.py table" prints the quick phrase table instead: every CJK ideograph
keyed by its code point spelled in letters, as digits would pick candidates.
"""
import os
import subprocess
import sys
import time

import pyatspi

LETTERS = str.maketrans("0123456789abcdef", "abcdefghijklmnop")
IDEOGRAPHS = range(0x4E00, 0xA000)


def key(char):
    return f"{ord(char):04x}".translate(LETTERS)


def fail(message):
    print("FAIL:", message, flush=True)
    sys.exit(1)


def wait(what, probe, seconds=15):
    # The program, AT-SPI and fcitx5 all answer asynchronously.
    end = time.monotonic() + seconds
    while not (value := probe()):
        if time.monotonic() > end:
            fail(what)
        time.sleep(0.1)
    return value


def run(*command):
    return subprocess.run(command, check=True, capture_output=True).stdout


def find_app():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "qelvara" and app.childCount:
            return app


def ink(cell):
    """Dark pixels on screen inside the cell, its grid lines left out."""
    e = cell.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    crop = f"{e.width - 6}x{e.height - 6}+{e.x + 3}+{e.y + 3}"
    gray = run("import", "-window", "root", "-crop", crop, "-depth", "8", "gray:-")
    return sum(byte < 128 for byte in gray)


def main():
    run("xdotool", "mousemove", "0", "0")  # the pointer off the sheet's pixels
    window = wait("qelvara is not on the AT-SPI bus", find_app)[0]
    named = {child.name: child for child in window}
    box = named["打字區"]
    named["確定"].queryAction().doAction(0)
    wait("the typing box has no focus after Start",
         lambda: box.getState().contains(pyatspi.STATE_FOCUSED))

    table = named["字表"].queryTable()
    cells = [table.getAccessibleAt(r, c) for r in range(5) for c in range(20)]
    sheet = [cell.name for cell in cells]
    if len(set(sheet)) != 100 or not all(len(char) == 1 for char in sheet):
        fail(f"the sheet is not 100 distinct characters: {''.join(sheet)!r}")
    print("ok: sheet of 100 distinct characters:", "".join(sheet))

    cell, char = next((c, ch) for c, ch in zip(cells, sheet) if ord(ch) in IDEOGRAPHS)
    wait(f"{char} has no ink in its cell before typing", lambda: ink(cell) > 10)
    wait("fcitx5 has no input context for the typing box",
         lambda: run("fcitx5-remote").strip() not in (b"", b"0"))

    # Quick phrase: trigger, the key, then space commits the first candidate.
    run("xdotool", "key", "super+grave")
    run("xdotool", "type", "--delay", "50", key(char))
    run("xdotool", "key", "space")
    wait(f"the typing box does not hold {char} typed through fcitx5",
         lambda: box.queryText().getText(0, -1) == char)
    wait(f"{char} still shows on the sheet after typing it", lambda: ink(cell) == 0)
    print(f"ok: {char} typed through fcitx5 vanished from the sheet")
    if artifacts := os.environ.get("AUTOPKGTEST_ARTIFACTS"):
        run("import", "-window", "root", f"{artifacts}/typed.png")  # for a look

    run("xdotool", "key", "BackSpace")
    wait("the typing box is not empty after BackSpace",
         lambda: box.queryText().getText(0, -1) == "")
    wait(f"{char} does not come back after BackSpace", lambda: ink(cell) > 10)
    print(f"ok: {char} is back on the sheet after BackSpace")


if sys.argv[1:] == ["table"]:
    print("".join(f"{key(chr(cp))} {chr(cp)}\n" for cp in IDEOGRAPHS), end="")
else:
    main()

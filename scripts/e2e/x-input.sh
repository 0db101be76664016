#!/usr/bin/env bash
# Keys and pointer on X for the end-to-end tests, through xdotool, with the
# commands the Wayland tools (mutter-input.c, kwin-input.c) take on stdin,
# each answered "ok" or "error":
#   key NAME...  type TEXT  move X Y  click  focus WINDOW
set -uo pipefail
while read -r command args; do
    read -ra words <<<"$args"
    case $command in
    key) xdotool key "${words[@]}" ;;
    type) xdotool type --delay 15 "$args" ;;
    move) xdotool mousemove "${words[@]}" ;;
    click) xdotool click 1 ;;
    # Nobody gives a window the X focus without a window manager.
    focus) xdotool windowfocus --sync "$args" ;;
    *) false ;;
    esac && echo ok || echo error
done

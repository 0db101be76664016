#!/usr/bin/env bash
# Makes docs/screenshot.png for the README: a test in progress, typed through
# fcitx5 + chewing on a private X server by the end-to-end suite (a character
# committed and gone from the sheet, a phrase still in the composition with its
# candidate list), cropped to the window.
#   scripts/readme-screenshot.sh [BUILD_DIR]   (default build/test, as `make test` builds it)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/test}
test_exe=$build/tests/e2e/qelvara_e2e_test
[ -x "$test_exe" ] || make build-test >/dev/null
rm -f "$build/e2e-shots/typing-in-progress-fcitx.png"
scripts/e2e/session.sh --im fcitx "$test_exe" --gtest_filter='*InputMethods*' >/dev/null
# The display around the window is black: trimming leaves the window and its popup.
convert "$build/e2e-shots/typing-in-progress-fcitx.png" -trim +repage docs/screenshot.png
echo "wrote docs/screenshot.png"

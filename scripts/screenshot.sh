#!/usr/bin/env bash
# Retakes the README's picture of the window: the real program on a display of its own, with a
# test pattern as its camera, the format dialog answered with Enter as a user would.
#   scripts/screenshot.sh BUILD_DIR [OUT]     OUT defaults to docs/screenshot.png
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: $0 BUILD_DIR [OUT]}
out=$(realpath -m "${2:-$root/docs/screenshot.png}")
# The end-to-end tests' helpers start Xvfb, the program and xdotool the same way.
source "$root/tests/e2e/lib.sh" "$build/lumivex"

start_on_test_pattern 640 480 smpte
sleep 1.5 # the preview's first frames
import -window "$WINDOW" "$WORK/window.png"
optipng -quiet -o2 "$WORK/window.png"
cp "$WORK/window.png" "$out"

kill -TERM "$APP_PID"
wait_exit 10
echo "screenshot: $out"

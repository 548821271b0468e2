#!/usr/bin/env bash
# The real program starts with a test pattern as its camera: the format dialog first, then the
# window with the live preview.
source "$(dirname "$0")/lib.sh"

start_on_test_pattern 640 480 smpte
window=$WINDOW

geometry=$(xdotool getwindowgeometry "$window")
grep -q "Geometry: 657x665" <<<"$geometry" || fail "unexpected window size: $geometry"

# The preview shows the test pattern: the top left of the camera view is not black.
sleep 1.5
import -window "$window" "$WORK/window.png"
pixel=$(convert "$WORK/window.png" -format '%[pixel:p{40,40}]' info:)
[[ "$pixel" != "srgb(0,0,0)" && "$pixel" != "black" ]] || fail "the preview is black ($pixel)"

kill -TERM "$APP_PID"
wait_exit 10 >/dev/null
echo "ok: format dialog, window and live preview"

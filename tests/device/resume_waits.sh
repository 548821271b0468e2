#!/usr/bin/env bash
# A run cut short is taken up with its camera not there (after a power cut the camera may come
# back after the computer): the program waits instead of ending, and once the camera is there
# it streams in the run's own format, not the default one, with its settings from Cameras.ini,
# and Camera... is available.
source "$(dirname "$0")/lib.sh"

ctl() { v4l2-ctl -d /dev/video0 "$@"; }
stream_format() { # "WxH fps", as the driver streams
    local size fps
    size=$(ctl --get-fmt-video | sed -n 's|.*Width/Height *: \([0-9]*\)/\([0-9]*\).*|\1x\2|p')
    fps=$(ctl --get-parm | sed -n 's/.*Frames per second: \([0-9.]*\).*/\1/p')
    echo "$size $fps"
}

load_vivid 1
start_display
install_program
start_to_dialog
atspi formats >/dev/null # the list is filled
press "$dialog" Down
accept_format
wait_holds /dev/video0
chosen=$(stream_format)
echo "the run's format: $chosen"
atspi press "Camera…"
wait_window "^Camera Settings$" 20 >/dev/null
atspi slide Brightness 230
for _ in $(seq 30); do grep -q '^brightness=230' "$WORK/app/Cameras.ini" 2>/dev/null && break; sleep 0.1; done
grep -q '^brightness=230' "$WORK/app/Cameras.ini" || fail "Cameras.ini: $(cat "$WORK/app/Cameras.ini")"
atspi close "Camera Settings"
set_run 1
start_timer
wait_pictures 2 15 || fail "no pictures from the camera"

# A power cut: the program is gone, and so is the camera, which comes back later.
kill -KILL "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
APP_PID=""
rmmod vivid
start_program
window=$(wait_window "^(Webcam Lumivex v0.03|Error!)$" 60)
[[ "$(xdotool getwindowname "$window")" == "Webcam Lumivex v0.03" ]] ||
    fail "the resume ended: $(atspi message 'Error!' | tr '\r\n' '  ')"
sleep 2
kill -0 "$APP_PID" || fail "the program ended while it waited for the camera"
load_vivid 1
wait_holds /dev/video0 30
log=$(ls "$WORK"/app/pictures/*/"Run log.csv")
for _ in $(seq 100); do grep -q ',camera back,' "$log" && break; sleep 0.2; done
grep -q ',camera back,' "$log" || fail "the camera did not come back: $(tail -n 5 "$log")"
resumed=$(stream_format)
brightness=$(ctl -C brightness | awk '{ print $NF }')
echo "after the camera came back: $resumed, brightness $brightness"
[[ "$resumed" == "$chosen" ]] || fail "the camera streams $resumed, the run's format is $chosen"
[[ "$brightness" == 230 ]] || fail "brightness $brightness, Cameras.ini says 230"
atspi press "Camera…"
wait_window "^Camera Settings$" 20 >/dev/null || fail "Camera... is not available"
stop_program
echo "ok: waited for the camera; back in the run's format $resumed with its settings"

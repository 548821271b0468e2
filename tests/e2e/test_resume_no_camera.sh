#!/usr/bin/env bash
# A run cut short resumes even when its camera is not there: the window comes up in the
# "Camera lost" state instead of ending with "Webcam not found.", and the pictures that fall due
# are logged as not saved while it waits. This machine has no camera at all.
source "$(dirname "$0")/lib.sh"

start_display
install_program
write_config "[MAIN]" "Width=320" "Height=240" "Framerate=33"
run="$WORK/app/pictures/$(LC_ALL=C date -d '-1 min' +%d%b%Y-%H%M%S)"
mkdir -p "$run"
started=$(date -d '-1 min' +%Y-%m-%dT%H:%M:%S.000%:z)
printf 'time,event,picture,detail\r\n%s,started,,"interval: 1 s; stop: when I say so; save as: BMP; camera: Cam (usb-1); video format: YUY2  640 x 480  30 fps; version: 0.3.0"\r\n' \
    "$started" >"$run/Run log.csv"

start_program
wait_window "^Webcam Lumivex v0.03$" 30 >/dev/null
xdotool search --onlyvisible --name "^Error!$" >/dev/null 2>&1 && fail "an error box came up"
log="$run/Run log.csv"
for _ in $(seq 100); do
    [[ $(grep -c 'not saved,[0-9-]*,Camera lost' "$log") -ge 2 ]] && break
    sleep 0.1
done
grep -q ',resumed,,' "$log" || fail "no resumed row: $(cat "$log")"
grep -q ',camera lost,,There is no camera' "$log" || fail "no camera lost row: $(cat "$log")"
grep -q 'not saved,[0-9-]*,Camera lost: There is no camera' "$log" ||
    fail "pictures due without a camera are not logged: $(tail -n 3 "$log")"
kill -TERM "$APP_PID"
wait_exit 15
[[ $STATUS -eq 0 ]] || fail "exit status $STATUS"
tail -n 1 "$log" | grep -q ',ended,,SIGTERM' || fail "last row: $(tail -n 1 "$log")"
echo "ok: a run resumed without its camera waits for it and logs what it misses"

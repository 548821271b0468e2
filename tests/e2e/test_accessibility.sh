#!/usr/bin/env bash
# The program as a screen reader or UI automation tool sees it, over AT-SPI on a private
# session bus.
if [[ -z "${LUMIVEX_SESSION_BUS:-}" ]]; then
    LUMIVEX_SESSION_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
source "$(dirname "$0")/lib.sh"

start_display
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
BUS_PID=$!
trap 'kill $BUS_PID 2>/dev/null; cleanup' EXIT
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

install_program
write_config "[MAIN]" "Width=640" "Height=480" "Framerate=33" \
    "Source=videotestsrc is-live=true"
start_program
dialog=$(wait_window "^Video Format$")
press "$dialog" Return
wait_gone "$dialog"
wait_window "^Webcam Lumivex v0.03$" >/dev/null

/usr/bin/python3 "$(dirname "$0")/accessibility.py" || fail "accessibility checks"
shopt -s nullglob
pictures=("$WORK"/app/pictures/*/"Picture 1.png")
[[ ${#pictures[@]} -eq 1 ]] || fail "the picture taken on demand is not on disk as PNG"
# The choices went into Config.ini, and the picture says when it was captured.
grep -q $'^PictureFormat=PNG\r$' "$WORK/app/Config.ini" || fail "PictureFormat=PNG not written back"
grep -q $'^TimeStamp=1\r$' "$WORK/app/Config.ini" || fail "TimeStamp=1 not written back"
[[ -n $(exiftool -s -s -s -PNG:ModifyDate "${pictures[0]}") ]] || fail "the PNG has no tIME"
videos=("$WORK"/app/pictures/*.mp4)
[[ ${#videos[@]} -eq 1 && -s "${videos[0]}" ]] || fail "the video of the run is not on disk"
[[ $(ls -A "$WORK/app/pictures" | wc -l) -eq 2 ]] || fail "more than the run and its video in pictures/"
kill -TERM "$APP_PID"
wait_exit 10 >/dev/null

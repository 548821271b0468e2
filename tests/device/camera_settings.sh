#!/usr/bin/env bash
# The Camera Settings dialog on vivid, driven through the accessibility interface: it lists the
# camera's integer controls with the ranges v4l2-ctl reads; a brightness set there makes the
# pictures brighter, and is the camera's again after a restart of the program and after an
# unplug; "Hold exposure, white balance and focus during a run" turns vivid's automatic gain off
# at the settled gain for the run, and back on at its end.
source "$(dirname "$0")/lib.sh"

ctl() { v4l2-ctl -d "$(ls /dev/video* | head -n 1)" "$@"; }
current() { ctl -C "$1" | awk '{ print $NF }'; }
wait_value() { # control value seconds what
    for _ in $(seq $(($3 * 10))); do
        [[ "$(current "$1" 2>/dev/null)" == "$2" ]] && return 0
        sleep 0.1
    done
    fail "$4: $1 is $(current "$1"), not $2"
}
# The mean grey level (0..255) of a picture.
level() { convert "$1" -colorspace Gray -format '%[fx:int(255*mean+0.5)]' info:; }
newest_picture() { find "$WORK/app/pictures" -name '*.bmp' -printf '%T@ %p\n' | sort -n | tail -n 1 | cut -d ' ' -f 2-; }
picture_after() { # seconds: a picture taken at least that long from now
    sleep "$1"
    local before
    before=$(find "$WORK/app/pictures" -name '*.bmp' | wc -l)
    for _ in $(seq 100); do
        (($(find "$WORK/app/pictures" -name '*.bmp' | wc -l) > before)) && { newest_picture; return 0; }
        sleep 0.1
    done
    fail "no new picture"
}
open_settings() {
    atspi press "Camera…"
    wait_window "^Camera Settings$" 20 >/dev/null
}

load_vivid 1
start_display
install_program
start_to_dialog
accept_format

# Pictures at the default brightness first.
set_run 1
start_timer
dark=$(level "$(picture_after 1)")

# The dialog lists what the driver lists: every integer control, with its range.
open_settings
for _ in $(seq 50); do
    listed=$(atspi sliders | sort)
    [[ -n "$listed" ]] && break
    sleep 0.2
done
dialog_ints=$(awk -F'\t' '{ key = tolower($1); gsub(/[^a-z0-9]+/, "_", key); gsub(/^_|_$/, "", key)
    print key, $2, $3 }' <<<"$listed" | sort)
driver_ints=$(ctl -L | awk '$3 == "(int)" { min = max = ""
    for (i = 4; i <= NF; ++i) { if ($i ~ /^min=/) min = substr($i, 5); if ($i ~ /^max=/) max = substr($i, 5) }
    print $1, min, max }' | sort)
echo "integer controls: $(wc -l <<<"$driver_ints") by v4l2-ctl, $(wc -l <<<"$dialog_ints") in the dialog"
[[ "$dialog_ints" == "$driver_ints" ]] ||
    fail "the dialog's integer controls differ from the driver's: v4l2-ctl: $driver_ints; dialog: $dialog_ints"

# A brightness set in the dialog: the camera has it, and the pictures show it.
atspi slide Brightness 230
wait_value brightness 230 5 "after the dialog set it"
bright=$(level "$(picture_after 1)")
echo "picture level: $dark at the default brightness, $bright at 230"
((bright > dark + 20)) || fail "the pictures did not get brighter ($dark -> $bright)"
# Written once the slider rests (a second after its last step).
for _ in $(seq 30); do grep -q '^brightness=230' "$WORK/app/Cameras.ini" 2>/dev/null && break; sleep 0.1; done
grep -q '^brightness=230' "$WORK/app/Cameras.ini" || fail "Cameras.ini: $(cat "$WORK/app/Cameras.ini")"

# Held through a run: the automatic gain goes off at the settled gain, and comes back after it.
atspi tick "Hold exposure, white balance and focus during a run" on
atspi close "Camera Settings"
# Closed already, or about to be.
settings=$(xdotool search --name '^Camera Settings$' 2>/dev/null | head -n 1 || true)
[[ -z "$settings" ]] || wait_gone "$settings"
stop_timer
press "$(wait_window "^Info$" 15)" Return
wait_value gain_automatic 1 5 "before the run"
start_timer
wait_value gain_automatic 0 5 "during a held run"
held=$(current gain)
sleep 2
[[ "$(current gain)" == "$held" ]] || fail "the gain moved during a held run: $held -> $(current gain)"
stop_timer
press "$(wait_window "^Info$" 15)" Return
wait_value gain_automatic 1 5 "after the held run"
echo "held: automatic gain off at gain $held during the run, back on after it"

# A shutdown in the middle of a held run gives the automatics back all the same.
start_timer
wait_value gain_automatic 0 5 "during a held run"
stop_program
wait_value gain_automatic 1 5 "after the program ended during a held run"
# That run would be taken up again at the next start; the cases below want the format dialog.
rm -rf "$WORK"/app/pictures/*

# The camera forgets, the program does not: after a restart, and after an unplug.
ctl -c brightness=128
start_to_dialog
accept_format
wait_value brightness 230 10 "after a restart"
# The camera set back behind the program's back: only the program can make it 230 again.
ctl -c brightness=128
echo vivid.0 >/sys/bus/platform/drivers/vivid/unbind
sleep 1
echo vivid.0 >/sys/bus/platform/drivers/vivid/bind
wait_node /dev/video0
settle_udev
wait_value brightness 230 15 "after an unplug"
set_run 1
start_timer
again=$(level "$(picture_after 2)")
echo "picture level after the unplug: $again"
((again > dark + 20)) || fail "the pictures after the unplug are not bright ($again)"
stop_timer
press "$(wait_window "^Info$" 15)" Return
stop_program
echo "ok: integer controls as the driver lists them; brightness 230 kept through a restart and an unplug; gain held"

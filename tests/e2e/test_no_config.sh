#!/usr/bin/env bash
# Without Config.ini the program says why it cannot start and ends with a failure status.
source "$(dirname "$0")/lib.sh"

start_display
install_program
start_program

box=$(wait_window "^Error!$")
press "$box" Return
wait_exit 10
[[ "$STATUS" -eq 1 ]] || fail "exit status was $STATUS, not 1"
xdotool search --name "^Webcam Lumivex v0.03$" >/dev/null 2>&1 && fail "the main window was shown"
echo "ok: 'Error!' shown, exit status $STATUS"

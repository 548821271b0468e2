#!/usr/bin/env bash
# Without Config.ini the program says why it cannot start and ends with a failure status.
source "$(dirname "$0")/lib.sh"

start_display
install_program
start_program

box=$(wait_window "^Error!$")
press "$box" Return
status=$(wait_exit 10)
[[ "$status" -ne 0 ]] || fail "exit status was 0"
xdotool search --name "^Webcam Lumivex v0.03$" >/dev/null 2>&1 && fail "the main window was shown"
echo "ok: 'Error!' shown, exit status $status"

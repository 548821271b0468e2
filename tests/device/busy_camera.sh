#!/usr/bin/env bash
# The camera streams to another program at start-up: "Error!" names it busy, and the program
# ends with a failure status once the message is closed.
source "$(dirname "$0")/lib.sh"

load_vivid 1
v4l2-ctl -d /dev/video0 --stream-mmap --stream-count=100000 >"$WORK/other.log" 2>&1 &
OTHER_PID=$!
for _ in $(seq 100); do [[ -s "$WORK/other.log" ]] && break; sleep 0.1; done
[[ -s "$WORK/other.log" ]] || fail "the other program does not stream"
start_display
install_program
start_accessibility
write_config "[MAIN]" "Width=320" "Height=240" "Framerate=0"
start_program
box=$(wait_window "^Error!$" 60)
text=$(atspi message 'Error!' | tr '\r\n' '  ')
echo "message: $text"
grep -qi "busy" <<<"$text" || fail "the message does not say busy: $text"
press "$box" Return
wait_exit 15
kill "$OTHER_PID"
[[ "$STATUS" -ne 0 ]] || fail "exit status was 0"
echo "ok: busy camera refused, exit status $STATUS"

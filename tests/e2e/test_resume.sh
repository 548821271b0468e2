#!/usr/bin/env bash
# A run survives the end of its program. Killed outright (SIGKILL), the program started again
# takes the run up by itself: no format dialog, the same folder, nothing overwritten, the gap
# logged as not saved. Ended by SIGTERM, it saves what it took, logs the end and exits 0, and the
# next start resumes again. ResumeRun=0 starts as always; a run stopped by the user stays stopped.
source "$(dirname "$0")/lib.sh"

start_on_test_pattern 320 240 ball
window=$WINDOW

set_run 1
start_timer

shopt -s nullglob
wait_pictures() { # at least $1 pictures in the one run folder, within $2 seconds
    for _ in $(seq $(($2 * 10))); do
        runs=("$WORK"/app/pictures/*)
        if [[ ${#runs[@]} -eq 1 ]]; then
            pictures=("${runs[0]}"/Picture*.bmp)
            [[ ${#pictures[@]} -ge $1 ]] && return 0
        fi
        sleep 0.1
    done
    fail "fewer than $1 pictures after $2 s: $(ls -R "$WORK/app/pictures")"
}
wait_pictures 4 15
run=${runs[0]}
log="$run/Run log.csv"
stamp_before=$(stat -c %Y.%s "$run/Picture 1.bmp")

kill -KILL "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
APP_PID=""
killed_at=$(ls "$run" | grep -c '^Picture' || true)
# A power cut in the middle of a row: the next start must read past it.
printf '2026-12-08T07:4' >>"$log"
sleep 3

start_program
window=$(wait_window "^Webcam Lumivex v0.03$" 30)
xdotool search --onlyvisible --name "^Video Format$" >/dev/null 2>&1 && fail "the format dialog came up on resume"
wait_pictures $((killed_at + 3)) 15
[[ $(stat -c %Y.%s "$run/Picture 1.bmp") == "$stamp_before" ]] || fail "Picture 1 was written again"
grep -q ',resumed,,"\?the program was not running for' "$log" || fail "no resumed row: $(tail -n 5 "$log")"
grep -q ',not saved,[0-9-]*,the program was not running' "$log" || fail "the gap is not logged"

# An orderly end: exit status 0, the end logged with the signal's name.
kill -TERM "$APP_PID"
wait_exit 15
[[ $STATUS -eq 0 ]] || fail "SIGTERM ended the program with status $STATUS"
tail -n 1 "$log" | grep -q ',ended,,SIGTERM' || fail "last row after SIGTERM: $(tail -n 1 "$log")"

# Told not to resume, the program starts as always, and the run stays as it is.
write_config "[MAIN]" "Width=320" "Height=240" "Framerate=33" \
    "Source=videotestsrc is-live=true pattern=ball" "ResumeRun=0"
rows_before=$(wc -l <"$log")
start_program
dialog=$(wait_window "^Video Format$")
press "$dialog" Return
wait_gone "$dialog"
wait_window "^Webcam Lumivex v0.03$" >/dev/null
sleep 2
[[ $(wc -l <"$log") -eq $rows_before ]] || fail "ResumeRun=0 still wrote to the run's log"
kill -TERM "$APP_PID"
wait_exit 15

# Resumed again, then stopped by the user: the count message, and the next start asks as always.
write_config "[MAIN]" "Width=320" "Height=240" "Framerate=33" \
    "Source=videotestsrc is-live=true pattern=ball"
start_program
window=$(wait_window "^Webcam Lumivex v0.03$" 30)
sleep 2
click_at "$window" 600 550  # Stop Timer
info=$(wait_window "^Info$" 15)
press "$info" Return
wait_gone "$info"
tail -n 1 "$log" | grep -q ',stopped,,by the user' || fail "last row after Stop: $(tail -n 1 "$log")"

# Every number the run used is in the log once, as saved (its file there) or not saved.
# A stretch of pictures not saved for one reason is one row, "first-last".
awk -F, 'NR > 1 && ($2 == "saved" || $2 == "not saved") {
    n = split($3, stretch, "-"); last = n == 2 ? stretch[2] : stretch[1]
    for (i = stretch[1]; i <= last; ++i) print i, $2 }' "$log" >"$WORK/numbers"
highest=$(ls "$run" | sed -n 's/^Picture \([0-9]*\)\.bmp$/\1/p' | sort -n | tail -n 1)
[[ $(cut -d' ' -f1 "$WORK/numbers" | sort -n | uniq -d) == "" ]] || fail "a number is logged twice"
[[ $(cut -d' ' -f1 "$WORK/numbers" | sort -n | tail -n 1) -ge $highest ]] || fail "picture $highest is not in the log"
for n in $(seq "$highest"); do
    row=$(grep "^$n " "$WORK/numbers") || fail "picture $n is not in the log"
    if [[ $row == "$n saved" ]]; then
        [[ -f "$run/Picture $n.bmp" ]] || fail "picture $n is logged saved but not there"
    fi
done
kill -TERM "$APP_PID"
wait_exit 15

start_program
dialog=$(wait_window "^Video Format$")
echo "ok: killed, resumed with the gap counted; SIGTERM logged and resumed; ResumeRun=0; a stopped run stays stopped"

#!/usr/bin/env bash
# One program a program folder: started again while a run goes on, the program leaves the run
# to the copy that runs (which shows itself) and exits 0; a copy in a folder of its own runs
# beside it.
source "$(dirname "$0")/lib.sh"

start_on_test_pattern 320 240 ball
window=$WINDOW
set_run 1
start_timer
sleep 2

(cd "$WORK/app" && exec ./lumivex) >"$WORK/second.log" 2>&1 &
second=$!
for _ in $(seq 100); do
    kill -0 "$second" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$second" 2>/dev/null && fail "a second copy of the same folder is still running"
wait "$second" && status=0 || status=$?
[[ $status -eq 0 ]] || fail "the second copy exited with $status: $(cat "$WORK/second.log")"
kill -0 "$APP_PID" || fail "the first copy is gone"
xdotool search --onlyvisible --name "^Video Format$" >/dev/null 2>&1 &&
    fail "the second copy showed its format dialog"

# Another folder, another program.
mkdir -p "$WORK/other/pictures"
cp "$WORK/app/lumivex" "$WORK/app/lumivex-camera" "$WORK/app/lumivex-video" "$WORK/app/Config.ini" \
    "$WORK/other/"
(cd "$WORK/other" && exec ./lumivex) >"$WORK/other.log" 2>&1 &
other=$!
dialog=$(wait_window "^Video Format$" 30)
kill "$other"
wait "$other" 2>/dev/null || true

# Every picture once, every row once: the run had one writer.
for _ in $(seq 100); do
    (($(ls "$WORK"/app/pictures/*/ | grep -c '^Picture') >= 5)) && break
    sleep 0.1
done
kill -TERM "$APP_PID"
wait_exit 15
log=$(ls "$WORK"/app/pictures/*/"Run log.csv")
rows=$(grep -c ',saved,' "$log")
unique=$(grep ',saved,' "$log" | cut -d, -f3 | sort -u | wc -l)
[[ $rows -ge 5 && $rows -eq $unique ]] || fail "$rows saved rows, $unique pictures: $(cat "$log")"
echo "ok: the second copy gave way (exit 0), a copy elsewhere runs; $rows pictures logged once each"

#!/usr/bin/env bash
# A run cut short, taken up again: from exec until the first picture is saved into that run,
# which is at interval 1 on a test pattern and was last seen AWAY ago. Five starts; with
# BASELINE_AWAY, five more of a run last seen that long ago, alternating with them, for the
# baseline. Prints one row (metric, ours, baseline, ratio, unit); the single figures and how
# much the run's log grew go to standard error.
#   bench/resume.sh APP_DIR METRIC AWAY [BASELINE_AWAY]    (AWAY as `date -d` reads "-AWAY")
# APP_DIR is a program folder of its own (the program, its camera process, Config.ini), on a
# display; its pictures folder is emptied.
set -euo pipefail
APP=$1 METRIC=$2 AWAY=$3 BASELINE_AWAY=${4:-}
APP_PID=""
trap '[[ -n "$APP_PID" ]] && kill "$APP_PID" 2>/dev/null; true' EXIT

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2];
                                                 else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One start: milliseconds until the first "saved" row, then the log's growth in bytes.
resume_once() { # away
    rm -rf "$APP/pictures" && mkdir -p "$APP/pictures"
    local run_dir log t0 t1 before
    run_dir="$APP/pictures/$(LC_ALL=C date -d "-$1" +%d%b%Y-%H%M%S)"
    log="$run_dir/Run log.csv"
    mkdir -p "$run_dir"
    printf 'time,event,picture,detail\r\n%s,started,,"interval: 1 s; stop: when I say so; save as: BMP; camera: ; video format: BGRx  640 x 480  30 fps; version: 0.3.0"\r\n' \
        "$(date -d "-$1" +%Y-%m-%dT%H:%M:%S.%3N%:z)" >"$log"
    before=$(stat -c %s "$log")
    t0=$(date +%s%N)
    (cd "$APP" && exec ./lumivex) >/dev/null 2>&1 &
    APP_PID=$!
    for _ in $(seq 4000); do
        grep -q ',saved,' "$log" && break
        sleep 0.005
    done
    t1=$(date +%s%N)
    kill -TERM "$APP_PID" 2>/dev/null; wait "$APP_PID" 2>/dev/null || true
    APP_PID=""
    echo "$(((t1 - t0) / 1000000)) $(($(stat -c %s "$log") - before))"
}

ours=() baseline=() growth=()
for i in 1 2 3 4 5; do
    read -r ms bytes < <(resume_once "$AWAY")
    ours+=("$ms")
    growth+=("$bytes")
    if [[ -n "$BASELINE_AWAY" ]]; then
        read -r ms _ < <(resume_once "$BASELINE_AWAY")
        baseline+=("$ms")
    fi
done
rm -rf "$APP/pictures" && mkdir -p "$APP/pictures"
echo "$METRIC: away $AWAY ${ours[*]} ms, the log grew by ${growth[*]} bytes" >&2
b=0
if [[ -n "$BASELINE_AWAY" ]]; then
    echo "$METRIC: away $BASELINE_AWAY ${baseline[*]} ms" >&2
    b=$(printf '%s\n' "${baseline[@]}" | median)
fi
awk -v m="$METRIC" -v o="$(printf '%s\n' "${ours[@]}" | median)" -v b="$b" \
    'BEGIN { printf "%s\t%.0f\t%.0f\t%.2f\tms\n", m, o, b, (b > 0 ? o / b : 0) }'

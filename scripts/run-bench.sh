#!/usr/bin/env bash
# Runs the benchmarks on a built tree and writes BUILD_DIR/bench/results.tsv, one row per
# metric: metric, ours, baseline, ratio, unit. See docs/benchmarks.md for what each row means.
#   scripts/run-bench.sh [BUILD_DIR]        (default: build; `make bench` builds it first)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-build}
[[ "$BUILD" = /* ]] || BUILD="$ROOT/$BUILD"
BENCH="$BUILD/bench"
PROGRAM="$BUILD/lumivex"
for f in "$PROGRAM" "$BENCH/bench_camera" "$BENCH/bench_ticks" "$BENCH/empty_dialog" \
    "$BENCH/bench_mapwatch" "$BENCH/bench_stall" "$BENCH/rtsp_camera" "$BENCH/bench_video" \
    "$BENCH/bench_restart" "$BENCH/bench_frozen" "$BENCH/bench_web" \
    "$BUILD/lumivex-camera"; do
    [[ -x "$f" ]] || { echo "run-bench: $f is missing; build first (make bench)" >&2; exit 1; }
done
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$BUILD/CMakeCache.txt" 2>/dev/null || true)
[[ "$build_type" == Release ]] ||
    echo "run-bench: warning: $BUILD is a '$build_type' build, not Release" >&2

RESULTS="$BENCH/results.tsv"
LOG="$BENCH/bench.log"
# Pictures go to the build's own disk, where the program keeps its pictures folder.
WORK=$(mktemp -d "$BENCH/work.XXXXXX")
# The 10,000-picture run writes to memory, so it cannot fill the disk.
SHM=$(mktemp -d /dev/shm/lumivex-bench.XXXXXX)
export XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
ROWS="$WORK/rows.tsv"
: >"$ROWS"
: >"$LOG"
XVFB_PID=""
APP_PID=""

cleanup() {
    [[ -n "$APP_PID" ]] && kill "$APP_PID" 2>/dev/null && wait "$APP_PID" 2>/dev/null
    [[ -n "$XVFB_PID" ]] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    rm -rf "$WORK" "$SHM"
}
trap cleanup EXIT

say() { printf '%s\n' "$*" | tee -a "$LOG" >&2; }

# Runs a benchmark program: its rows are kept, its details shown and logged.
run() {
    "$@" 2> >(grep -v -e 'propagateSizeHints' | tee -a "$LOG" >&2) | tee -a "$ROWS" >/dev/null
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2];
                                                 else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

row() { # metric ours baseline unit [decimals]
    awk -v m="$1" -v o="$2" -v b="$3" -v u="$4" -v d="${5:-2}" \
        'BEGIN { printf "%s\t%.*f\t%.*f\t%.2f\t%s\n", m, d, o, d, b, (b > 0 ? o / b : 0), u }' \
        | tee -a "$ROWS" >/dev/null
}

say "== $(date -u '+%Y-%m-%d %H:%M:%S') UTC, load: $(cut -d' ' -f1-3 /proc/loadavg)"
started=$SECONDS

# --- the cost of a picture, and memory over a long run (no display needed) ------------------
mkdir -p "$WORK/snapshots"
say "-- snapshot: 100 pictures of each size, ours and the plain POSIX write interleaved"
QT_QPA_PLATFORM=offscreen run "$BENCH/bench_camera" snapshot "$WORK/snapshots" 100
command -v cjpeg >/dev/null 2>&1 || { say "run-bench: cjpeg is missing: run scripts/install-deps.sh --bench"; exit 1; }
say "-- snapshot JPEG and PNG: 40 pictures of 1920 x 1080 each, ours and plain cjpeg / libpng"
QT_QPA_PLATFORM=offscreen run "$BENCH/bench_camera" encoded "$WORK/snapshots" 40

say "-- pictures on time: a simulated day, then 60 s live"
mkdir -p "$WORK/day" "$WORK/live"
QT_QPA_PLATFORM=offscreen run "$BENCH/bench_ticks" day "$WORK/day"
QT_QPA_PLATFORM=offscreen run "$BENCH/bench_ticks" live "$WORK/live" 60
rm -rf "$WORK/day" "$WORK/live"
say "-- the window while saving: 30 PNG pictures of 1920 x 1080 at interval 1"
mkdir -p "$WORK/saving"
QT_QPA_PLATFORM=offscreen run "$BENCH/bench_ticks" saving "$WORK/saving" 30
# A camera that delivers nothing for 20 s during a run at interval 1, and one row of the log.
mkdir -p "$WORK/silent" "$WORK/log"
QT_QPA_PLATFORM=offscreen run "$BENCH/bench_ticks" silent "$WORK/silent" 20
QT_QPA_PLATFORM=offscreen run "$BENCH/bench_ticks" log "$WORK/log"
rm -rf "$WORK/saving"

# The run's web page: status.json under load beside a run of 1920 x 1080 PNG pictures, and the
# JPEG of a new latest picture.
say "-- web page: 50 clients asking for status.json for 30 s during a PNG run at interval 1"
mkdir -p "$WORK/web" "$WORK/latest"
QT_QPA_PLATFORM=offscreen run "$BENCH/bench_web" status "$WORK/web" 30
say "-- web page: /latest.jpg of 21 new 1920 x 1080 PNG pictures, and PNG decode + cjpeg"
QT_QPA_PLATFORM=offscreen run "$BENCH/bench_web" latest "$WORK/latest" 21
rm -rf "$WORK/web" "$WORK/latest"

say "-- memory: 10,000 pictures of 640 x 480 into $SHM (each removed once saved)"
QT_QPA_PLATFORM=offscreen run "$BENCH/bench_camera" rss "$SHM" 10000 100

# --- timelapse videos: ours against the ffmpeg command line -------------------------------
# The reference encoder comes with the set-up (the video tests decode with it too).
command -v ffmpeg >/dev/null 2>&1 || { say "run-bench: ffmpeg is missing: run scripts/install-deps.sh"; exit 1; }
# The same x264 settings as the program's encoder (src/video_process/video_job.h).
VIDEO_PRESET=faster
VIDEO_CRF=23
# Each prints "seconds peak_rss_mib cpu_seconds" of one video made of run_dir's pictures.
measure_ours() { # run_dir out
    "$BENCH/bench_video" measure "$BENCH/bench_video" encode "$1" "$2" 25
}
measure_ffmpeg() { # run_dir out
    "$BENCH/bench_video" measure ffmpeg -loglevel error -y -framerate 25 -i "$1/Picture %d.bmp" \
        -c:v libx264 -preset "$VIDEO_PRESET" -crf "$VIDEO_CRF" -pix_fmt yuv420p "$2"
}
VIDEO="$WORK/video"
mkdir -p "$VIDEO"
say "-- video: 300 pictures of 640 x 480 at 25 fps, ours and ffmpeg interleaved, 5 runs each"
"$BENCH/bench_video" pictures "$VIDEO/run300" 300
ours_s=()
ffmpeg_s=()
for i in $(seq 0 5); do
    o=$(measure_ours "$VIDEO/run300" "$VIDEO/run300.mp4" | cut -f1)
    f=$(measure_ffmpeg "$VIDEO/run300" "$VIDEO/ffmpeg300.mp4" | cut -f1)
    ((i == 0)) && continue # the page cache and GStreamer's registry warm up
    ours_s+=("$o")
    ffmpeg_s+=("$f")
done
say "video 300: lumivex ${ours_s[*]} s; ffmpeg ${ffmpeg_s[*]} s"
row video_encode_300 "$(printf '%s\n' "${ours_s[@]}" | median)" \
    "$(printf '%s\n' "${ffmpeg_s[@]}" | median)" s 3

say "-- video memory: 3,000 pictures (hard links to one), peak resident memory"
"$BENCH/bench_video" pictures "$VIDEO/run3000" 3000 links
ours_rss=$(measure_ours "$VIDEO/run3000" "$VIDEO/run3000.mp4" | cut -f2)
ffmpeg_rss=$(measure_ffmpeg "$VIDEO/run3000" "$VIDEO/ffmpeg3000.mp4" | cut -f2)
say "video 3000: lumivex $ours_rss MiB, ffmpeg $ffmpeg_rss MiB at peak"
row video_rss_mib_3000 "$ours_rss" "$ffmpeg_rss" MiB 1
rm -rf "$VIDEO"

# --- the real program on a display of its own -----------------------------------------------
unset QT_QPA_PLATFORM
for n in $(seq 140 180); do
    [[ -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -noreset -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do
        xdpyinfo >/dev/null 2>&1 && break 2
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    XVFB_PID=""
done
[[ -n "$XVFB_PID" ]] || { say "run-bench: could not start Xvfb"; exit 1; }

# The program finds Config.ini beside itself, so it runs from a program folder of its own.
APP="$WORK/app"
mkdir -p "$APP/pictures"
cp "$PROGRAM" "$APP/lumivex"
cp "$BUILD/lumivex-camera" "$APP/lumivex-camera"
cp "$BUILD/lumivex-video" "$APP/lumivex-video"
printf '%s\r\n' "[MAIN]" "Width=640" "Height=480" "Framerate=33" \
    "Source=videotestsrc is-live=true" >"$APP/Config.ini"

# One start-up varies by several milliseconds with how the threads and the X server share the
# processors, so the medians are of 21 runs each.
STARTUP_RUNS=21
say "-- start-up: exec until the first window is mapped, $STARTUP_RUNS runs each after one warm-up"
ours_ms=()
empty_ms=()
for i in $(seq 0 "$STARTUP_RUNS"); do
    o=$("$BENCH/bench_mapwatch" "Video Format" 30 "$APP/lumivex")
    e=$("$BENCH/bench_mapwatch" "Empty Dialog" 30 "$BENCH/empty_dialog")
    ((i == 0)) && continue # caches (GStreamer's registry, fonts, the page cache) warm up
    ours_ms+=("$o")
    empty_ms+=("$e")
done
say "startup: lumivex ${ours_ms[*]} ms; empty dialog ${empty_ms[*]} ms"
row startup_ms "$(printf '%s\n' "${ours_ms[@]}" | median)" \
    "$(printf '%s\n' "${empty_ms[@]}" | median)" ms

# A run cut short, taken up again: from exec to the first picture saved into that run, at
# interval 1 (the run's own rhythm says when that picture falls due: up to a second after the
# start-up). The median of 5; then a run last seen a month ago (2.6 million pictures missed),
# against one last seen 20 s ago.
say "-- resume: exec until the first picture is saved into the run cut short, 5 runs"
run "$ROOT/bench/resume.sh" "$APP" resume_ms "10 sec"
say "-- resume after a month away, against 20 s away: 5 runs each, alternating"
run "$ROOT/bench/resume.sh" "$APP" resume_ms_month_away "30 days" "20 sec"

# Processor time (user + system, every thread) of a running process and its children (the
# camera process), in clock ticks.
cpu_ticks() {
    local pid total=0
    for pid in "$1" $(pgrep -P "$1" || true); do
        total=$((total + $(sed 's/.*) //' "/proc/$pid/stat" | awk '{ print $12 + $13 }')))
    done
    echo "$total"
}

# Seconds of processor per second of wall time over `PREVIEW_SECONDS`.
PREVIEW_SECONDS=15
cpu_share() {
    local pid=$1 t0 t1 w0 w1
    t0=$(cpu_ticks "$pid")
    w0=$EPOCHREALTIME
    sleep "$PREVIEW_SECONDS"
    t1=$(cpu_ticks "$pid")
    w1=$EPOCHREALTIME
    awk -v t="$((t1 - t0))" -v hz="$(getconf CLK_TCK)" -v w0="$w0" -v w1="$w1" \
        'BEGIN { printf "%.4f\n", t / hz / (w1 - w0) }'
}

wait_window() { # title -> window id
    local id
    for _ in $(seq 300); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        [[ -n "$id" ]] && { echo "$id"; return 0; }
        kill -0 "$APP_PID" 2>/dev/null || { say "run-bench: the program ended"; return 1; }
        sleep 0.1
    done
    say "run-bench: no window '$1'"
    return 1
}

stop_app() {
    kill "$APP_PID" 2>/dev/null || true
    wait "$APP_PID" 2>/dev/null || true
    APP_PID=""
}

say "-- preview: ${PREVIEW_SECONDS} s of 640 x 480 at 30 fps after start-up, Framerate=33"
(cd "$APP" && exec ./lumivex) >>"$LOG" 2>&1 &
APP_PID=$!
dialog=$(wait_window "^Video Format$")
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
xdotool key Return
wait_window "^Webcam Lumivex v0.03$" >/dev/null
sleep 2 # start-up is over
ours_cpu=$(cpu_share "$APP_PID")
stop_app

gst-launch-1.0 -q videotestsrc is-live=true ! video/x-raw,width=640,height=480,framerate=30/1 \
    ! videoconvert ! ximagesink >>"$LOG" 2>&1 &
APP_PID=$!
sleep 2
kill -0 "$APP_PID" 2>/dev/null || { say "run-bench: gst-launch-1.0 did not run"; exit 1; }
gst_cpu=$(cpu_share "$APP_PID")
stop_app
say "preview: lumivex $ours_cpu s/s, gst-launch-1.0 ... ximagesink $gst_cpu s/s"
row preview_cpu "$ours_cpu" "$gst_cpu" "cpu_s/s" 4

# A network camera lost while the preview runs: the longest the window's event loop is held
# up in the 20 s after its server is killed, once replaced by a listener that never answers,
# once by a server that comes back.
say "-- lost network camera: 20 s with a silent listener in its place, then 20 s with it back"
run "$BENCH/bench_stall" lost 20
run "$BENCH/bench_stall" back 20

# The frozen-camera check: the camera pipeline at 1920 x 1080, 30 fps, with it and without.
say "-- frozen check: 1920 x 1080 at 30 fps, six turns of 5 s each with the check and without, in alternating order"
QT_QPA_PLATFORM=offscreen run "$BENCH/bench_frozen" frozen "$WORK" 5

# The camera process killed 100 times while the preview runs, a picture grabbed and saved after
# each; then, on the Xvfb display (the camera process draws the preview), ten times between two
# measures of the preview's processor time.
say "-- camera process restarts: killed 100 times, the next frame painted and a picture saved each time"
run "$BENCH/bench_restart" 100 "$WORK"
say "-- the preview's processor time before and after ten camera process restarts"
run "$BENCH/bench_restart" cpu "$WORK"

# --- the table ----------------------------------------------------------------------------
{
    printf 'metric\tours\tbaseline\tratio\tunit\n'
    for metric in snapshot_640x480 snapshot_1920x1080 snapshot_jpeg_1920x1080 \
        snapshot_png_1920x1080 gui_stall_ms_saving preview_cpu tick_max_error_ms \
        tick_drift_ms_24h rss_growth_kib startup_ms gui_stall_ms_lost_camera \
        gui_stall_ms_camera_back camera_back_ms video_encode_300 video_rss_mib_3000 \
        camera_restart_ms fd_growth_100_restarts window_rss_growth_100_restarts \
        preview_cpu_after_fault resume_ms resume_ms_month_away gui_stall_ms_silent_camera \
        log_cost_us frozen_check_cpu web_status_p99_ms gui_stall_ms_web web_latest_ms; do
        line=$(grep -P "^$metric\t" "$ROWS" || true)
        [[ -n "$line" ]] || { say "run-bench: no result for $metric"; exit 1; }
        printf '%s\n' "$line"
    done
} >"$RESULTS"

# The table, with what each row must reach: its ratio, or our own figure.
echo
awk -F'\t' '
    BEGIN {
        on["snapshot_640x480"] = "ratio"; limit["snapshot_640x480"] = 1.5
        on["snapshot_1920x1080"] = "ratio"; limit["snapshot_1920x1080"] = 1.5
        on["snapshot_jpeg_1920x1080"] = "ratio"; limit["snapshot_jpeg_1920x1080"] = 1.3
        on["snapshot_png_1920x1080"] = "ratio"; limit["snapshot_png_1920x1080"] = 1.3
        on["gui_stall_ms_saving"] = "ours"; limit["gui_stall_ms_saving"] = 50
        on["preview_cpu"] = "ratio"; limit["preview_cpu"] = 1.3
        on["tick_max_error_ms"] = "ours"; limit["tick_max_error_ms"] = 20
        on["tick_drift_ms_24h"] = "ours"; limit["tick_drift_ms_24h"] = 50
        on["rss_growth_kib"] = "ours"; limit["rss_growth_kib"] = 1024
        on["startup_ms"] = "ratio"; limit["startup_ms"] = 1.5
        on["gui_stall_ms_lost_camera"] = "ours"; limit["gui_stall_ms_lost_camera"] = 50
        on["gui_stall_ms_camera_back"] = "ours"; limit["gui_stall_ms_camera_back"] = 50
        on["video_encode_300"] = "ratio"; limit["video_encode_300"] = 1.2
        on["video_rss_mib_3000"] = "ours"; limit["video_rss_mib_3000"] = 200
        on["camera_restart_ms"] = "ours"; limit["camera_restart_ms"] = 1000
        on["fd_growth_100_restarts"] = "ours"; limit["fd_growth_100_restarts"] = 0
        on["window_rss_growth_100_restarts"] = "ours"; limit["window_rss_growth_100_restarts"] = 512
        on["preview_cpu_after_fault"] = "ratio"; limit["preview_cpu_after_fault"] = 1.1
        on["resume_ms"] = "ours"; limit["resume_ms"] = 1500
        on["resume_ms_month_away"] = "over"; limit["resume_ms_month_away"] = 1500
        on["gui_stall_ms_silent_camera"] = "ours"; limit["gui_stall_ms_silent_camera"] = 50
        on["frozen_check_cpu"] = "ratio"; limit["frozen_check_cpu"] = 1.05
        on["web_status_p99_ms"] = "ours"; limit["web_status_p99_ms"] = 20
        on["gui_stall_ms_web"] = "ours"; limit["gui_stall_ms_web"] = 50
        on["web_latest_ms"] = "ratio"; limit["web_latest_ms"] = 1.5
        printf "%-26s %10s %10s %7s  %-8s %s\n", "metric", "ours", "baseline", "ratio", "unit", "target"
    }
    NR > 1 && !($1 in on) { # a figure reported for what it is, with no target
        printf "%-26s %10s %10s %7s  %-8s %s\n", $1, $2, $3, $4, $5, "-"
        next
    }
    NR > 1 {
        # "over": ours less the baseline, in the unit
        value = on[$1] == "ours" ? $2 : on[$1] == "over" ? $2 - $3 : $4
        verdict = value + 0 <= limit[$1] ? "holds" : "MISSED"
        printf "%-26s %10s %10s %7s  %-8s %s <= %s: %s\n", $1, $2, $3, $4, $5, on[$1], limit[$1], verdict
    }' "$RESULTS"
echo
say "written: $RESULTS ($((SECONDS - started)) s; details in $LOG)"

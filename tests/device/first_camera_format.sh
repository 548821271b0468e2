#!/usr/bin/env bash
# Two cameras, with or without a udev daemon (without one GStreamer's device monitor lists none),
# on a machine where GStreamer has yet to build its plugin registry: the first camera is used; the format dialog lists what the camera offers
# (its YUYV sizes and frame rates exactly); Enter gives 640 x 480 at the fastest rate at most
# 30 fps that the camera has at that size, as the camera itself reports while streaming.
source "$(dirname "$0")/lib.sh"

load_vivid 2
start_display
install_program
# As on a fresh machine: GStreamer has no plugin registry yet and builds it while the program
# starts, here on a machine kept busy meanwhile. Start-up waits for that.
export GST_REGISTRY="$WORK/registry.bin"
# (Each busy loop ends by itself within a minute, whatever becomes of this case.)
busy=()
for _ in 1 2; do timeout 60 bash -c 'while :; do :; done' & busy+=($!); done
start_to_dialog
atspi formats >/dev/null || true # the formats are listed: the camera has been opened
kill "${busy[@]}" 2>/dev/null || true
wait "${busy[@]}" 2>/dev/null || true
[[ -s "$GST_REGISTRY" ]] || fail "the camera process built no plugin registry of its own"

atspi formats >"$WORK/dialog.txt" || fail "cannot read the format dialog"
echo "the dialog lists $(wc -l <"$WORK/dialog.txt") formats"
# "YUY2  640 x 480  12.50 fps" in the dialog, "640x480" and "(12.500 fps)" from the driver.
sed -n 's/^YUY2  \([0-9]*\) x \([0-9]*\)  \([0-9.]*\) fps$/\1 \2 \3/p' "$WORK/dialog.txt" |
    awk '{ printf "%s %s %.2f\n", $1, $2, $3 }' | sort >"$WORK/dialog-yuyv.txt"
v4l2-ctl -d /dev/video0 --list-formats-ext | awk '
    /^\t\[[0-9]+\]:/ { yuyv = ($2 == "'"'"'YUYV'"'"'") }
    yuyv && /Size:/ { split($3, wh, "x") }
    yuyv && /Interval:/ { gsub(/[(]/, "", $4); printf "%s %s %.2f\n", wh[1], wh[2], $4 }' |
    sort >"$WORK/camera-yuyv.txt"
[[ -s "$WORK/camera-yuyv.txt" ]] || fail "v4l2-ctl lists no YUYV format"
diff "$WORK/camera-yuyv.txt" "$WORK/dialog-yuyv.txt" >&2 ||
    fail "the dialog's YUY2 entries (right) are not the camera's YUYV formats (left)"

accept_format
wait_holds /dev/video0
format=$(v4l2-ctl -d /dev/video0 --get-fmt-video)
fourcc=$(sed -n "s/.*Pixel Format *: '\([^']*\)'.*/\1/p" <<<"$format")
size=$(sed -n 's|.*Width/Height *: \([0-9]*\)/\([0-9]*\).*|\1x\2|p' <<<"$format")
fps=$(v4l2-ctl -d /dev/video0 --get-parm | sed -n 's/.*Frames per second: \([0-9.]*\).*/\1/p')
best=$(v4l2-ctl -d /dev/video0 --list-frameintervals "width=640,height=480,pixelformat=$fourcc" |
    sed -n 's/.*(\([0-9.]*\) fps).*/\1/p' | awk '$1 <= 30.0001' | sort -g | tail -n 1)
echo "streaming $fourcc $size at $fps fps; the fastest at most 30 fps at 640x480 is $best"
[[ "$size" == 640x480 ]] || fail "the default size is $size"
[[ -n "$best" && "$fps" == "$best" ]] || fail "the default rate is $fps fps, not $best"
stop_program
echo "ok: the first camera, its real formats, 640x480 at $fps fps by default"

#!/usr/bin/env bash
# A whole run as a user makes it: interval 1, stop after 3 pictures, Start Timer, answer the
# count message; the run folder then holds three 640 x 480 24-bit BMPs taken a second apart.
source "$(dirname "$0")/lib.sh"

# A preview smaller than the pictures: they are still saved at the format's full size.
start_on_test_pattern 320 240 ball
window=$WINDOW

set_run 1 3
start_timer

info=$(wait_window "^Info$" 15)
shopt -s nullglob
runs=("$WORK"/app/pictures/*)
[[ ${#runs[@]} -eq 1 ]] || fail "expected one run folder, found ${#runs[@]}"
run=${runs[0]}
[[ $(basename "$run") =~ ^[0-9]{2}[A-Z][a-z]{2}[0-9]{4}-[0-9]{6}$ ]] || fail "run folder name $(basename "$run")"
press "$info" Return
wait_gone "$info"

files=$(cd "$run" && ls)
[[ "$files" == $'Picture 1.bmp\nPicture 2.bmp\nPicture 3.bmp\nRun log.csv' ]] || fail "run folder holds: $files"

for n in 1 2 3; do
    f="$run/Picture $n.bmp"
    # 'BM', width 640, height 480, 24 bits per pixel, 54 + 640*3*480 bytes.
    header=$(od -An -tu1 -N2 "$f" | tr -s ' ')
    [[ "$header" == " 66 77" ]] || fail "$f does not start with BM"
    dims=$(od -An -td4 -j18 -N8 "$f" | tr -s ' ')
    [[ "$dims" == " 640 480" ]] || fail "$f is $dims"
    bpp=$(od -An -tu2 -j28 -N2 "$f" | tr -d ' ')
    [[ "$bpp" == 24 ]] || fail "$f has $bpp bits per pixel"
    size=$(stat -c %s "$f")
    [[ "$size" == 921654 ]] || fail "$f has $size bytes"
done

# Taken a second apart: modification times 1 s apart within 0.2 s.
times=$(for n in 1 2 3; do stat -c %.3Y "$run/Picture $n.bmp"; done)
awk 'NR > 1 { gap = $1 - last; printf "gap %.3f s\n", gap; if (gap < 0.8 || gap > 1.2) bad = 1 }
     { last = $1 } END { exit bad }' <<<"$times" || fail "pictures not one second apart"

kill -TERM "$APP_PID"
wait_exit 10 >/dev/null
echo "ok: a run of three pictures"

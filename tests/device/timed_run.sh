#!/usr/bin/env bash
# A timed run from the camera: one picture every 2 s, stop after 3. The run folder holds three
# whole 640 x 480 24-bit BMPs of the camera's colour bars, numbered, 2 s apart.
source "$(dirname "$0")/lib.sh"

load_vivid 1
start_display
install_program
start_to_dialog
accept_format
set_run 2 3
start_timer
info=$(wait_window "^Info$" 30)
shopt -s nullglob
runs=("$WORK"/app/pictures/*)
[[ ${#runs[@]} -eq 1 ]] || fail "expected one run folder, found ${#runs[@]}"
run=${runs[0]}
files=$(cd "$run" && ls)
[[ "$files" == $'Picture 1.bmp\nPicture 2.bmp\nPicture 3.bmp\nRun log.csv' ]] || fail "run folder holds: $files"
for n in 1 2 3; do
    f="$run/Picture $n.bmp"
    # 'BM', 640 x 480, 24 bits per pixel, 54 + 640*3*480 bytes.
    [[ "$(od -An -tu1 -N2 "$f" | tr -s ' ')" == " 66 77" ]] || fail "$f does not start with BM"
    dims=$(od -An -td4 -j18 -N8 "$f" | tr -s ' ')
    [[ "$dims" == " 640 480" ]] || fail "$f is $dims"
    bpp=$(od -An -tu2 -j28 -N2 "$f" | tr -d ' ')
    [[ "$bpp" == 24 ]] || fail "$f has $bpp bits per pixel"
    [[ "$(stat -c %s "$f")" == 921654 ]] || fail "$f has $(stat -c %s "$f") bytes"
    # vivid's 75% colour bars, eight 80 pixels wide, read half-way down.
    bars=$(convert "$f" -format "$(for i in 0 1 2 3 4 5 6 7; do
        printf '%%[fx:int(255*p{%d,300}.r+.5)],%%[fx:int(255*p{%d,300}.g+.5)],%%[fx:int(255*p{%d,300}.b+.5)] ' \
            $((80 * i + 40)) $((80 * i + 40)) $((80 * i + 40)); done)" info:)
    awk -v got="$bars" 'BEGIN {
        split("191,191,191 191,191,0 0,191,191 0,191,0 191,0,191 191,0,0 0,0,191 0,0,0", want, " ")
        split(got, have, " ")
        for (i = 1; i <= 8; ++i) { split(want[i], w, ","); split(have[i], h, ",")
            for (c = 1; c <= 3; ++c) if (h[c] - w[c] > 24 || w[c] - h[c] > 24) exit 1 } }' ||
        fail "$f does not show the colour bars: $bars"
done
times=$(for n in 1 2 3; do stat -c %.3Y "$run/Picture $n.bmp"; done)
awk 'NR > 1 { gap = $1 - last; printf "gap %.3f s\n", gap; if (gap < 1.6 || gap > 2.4) bad = 1 }
     { last = $1 } END { exit bad }' <<<"$times" || fail "pictures not 2 s apart"
press "$info" Return
stop_program
echo "ok: three pictures of the colour bars, 2 s apart"

#!/usr/bin/env bash
# On X11 the live preview is drawn by the video sink into the preview's own window: the camera's
# picture scaled to the view keeping its aspect ratio, black bars where it does not fill it; a
# format chosen in the dialog is followed; a camera that stops shows the "Camera lost" notice,
# and the picture comes back when the camera does. The picture stays when the window is covered
# and uncovered.
source "$(dirname "$0")/lib.sh"

# The colour at "x,y" of a screenshot, as "r,g,b".
pixel() {
    local p="p{$2}"
    convert "$1" -format "%[fx:int(255*$p.r+0.5)],%[fx:int(255*$p.g+0.5)],%[fx:int(255*$p.b+0.5)]" info:
}

# Whether a colour is within 24 of an expected "r,g,b" in each channel.
near() {
    awk -v a="$1" -v b="$2" 'BEGIN { split(a, x, ","); split(b, y, ",")
        for (i = 1; i <= 3; ++i) if (x[i] - y[i] > 24 || y[i] - x[i] > 24) exit 1 }'
}

# Where the preview's window is on the screen, as ImageMagick's crop geometry: the 320 x 240
# child of the main window.
preview_area() {
    local id
    id=$(xwininfo -children -id "$1" | awk '/ 320x240\+/ { print $1; exit }')
    [[ -n "$id" ]] || fail "the preview has no window of its own: $(xwininfo -children -id "$1")"
    xwininfo -id "$id" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
                              END { printf "320x240+%d+%d\n", x, y }'
}

# Waits until every "x,y=r,g,b" given holds in the preview as seen on the screen, up to
# `seconds`; the screenshot is left in $WORK/preview.png.
wait_look() {
    local what=$1 seconds=$2
    shift 2
    local check ok color
    for _ in $(seq $((seconds * 5))); do
        import -window root -crop "$PREVIEW" +repage "$WORK/preview.png" 2>/dev/null || true
        ok=1
        for check in "$@"; do
            color=$(pixel "$WORK/preview.png" "${check%%=*}")
            near "$color" "${check#*=}" || { ok=0; break; }
        done
        ((ok)) && return 0
        sleep 0.2
    done
    fail "the preview does not show $what ($check is $color)"
}

start_window() { # framerate source keys...
    write_config "[MAIN]" "Width=320" "Height=240" "Framerate=$1" "Source=$2"
    start_program
    dialog=$(wait_window "^Video Format$")
    for key in "${@:3}"; do press "$dialog" "$key"; done
    press "$dialog" Return
    wait_gone "$dialog"
    window=$(wait_window "^Webcam Lumivex v0.03$")
    PREVIEW=$(preview_area "$window")
}

stop_window() {
    kill -TERM "$APP_PID"
    wait_exit 10 >/dev/null
}

# The colour bars' top row at the centre of each of its seven bars, for a picture x0 .. x0+w.
WHITE=255,255,255 YELLOW=255,255,0 CYAN=0,255,255 GREEN=0,255,0
MAGENTA=255,0,255 RED=255,0,0 BLUE=0,0,255 BLACK=0,0,0 LOST=48,48,48
bars_at() { # y
    local colors=("$WHITE" "$YELLOW" "$CYAN" "$GREEN" "$MAGENTA" "$RED" "$BLUE") i
    for i in 0 1 2 3 4 5 6; do echo "$(((2 * i + 1) * 320 / 14)),$1=${colors[i]}"; done
}

start_display
install_program

# A 4:3 camera that also offers 16:9: the second format, chosen in the dialog, is shown at
# 320 x 180 between bars 30 pixels high. The camera process is held back a second, so Down and
# Enter come while the dialog still says the camera is being opened: they wait for the formats.
SIXTEEN_NINE=("160,10=$BLACK" "160,229=$BLACK" "5,35=$WHITE" "315,35=$BLUE" $(bars_at 60))
mv "$WORK/app/lumivex-camera" "$WORK/app/lumivex-camera.real"
printf '#!/bin/sh\nsleep 1\nexec "$0.real" "$@"\n' >"$WORK/app/lumivex-camera"
chmod +x "$WORK/app/lumivex-camera"
# One picture every 30 s: what shows after the window is uncovered is drawn again, not new.
start_window 30000 "videotestsrc is-live=true pattern=smpte ! video/x-raw,format=BGRx,width=640,height={480,360},framerate=30/1" Down
wait_look "the 16:9 picture between black bars" 5 "${SIXTEEN_NINE[@]}"
gst-launch-1.0 -q videotestsrc pattern=red ! video/x-raw,width=400,height=300 ! ximagesink \
    >/dev/null 2>&1 &
COVER_PID=$!
wait_look "the window covering it" 5 "160,120=$RED" "5,35=$RED"
kill "$COVER_PID"
wait "$COVER_PID" 2>/dev/null || true
wait_look "the picture again once uncovered" 2 "${SIXTEEN_NINE[@]}"
stop_window
mv "$WORK/app/lumivex-camera.real" "$WORK/app/lumivex-camera"

# 640 x 480 into 320 x 240: the whole picture, halved. The source ends after two seconds: the
# lost notice, then the picture again when the camera is tried again, drawn by the new camera
# process as by the first (not copied through shared memory for the rest of the run).
export QT_LOGGING_RULES="lumivex.camera.debug=true"
start_window 33 "videotestsrc is-live=true pattern=smpte num-buffers=60"
wait_look "the colour bars scaled to the view" 5 $(bars_at 5) $(bars_at 150)
wait_look "the lost notice" 10 "5,5=$LOST" "315,235=$LOST" "160,5=$LOST"
wait_look "the picture again after the camera came back" 10 $(bars_at 5)
stop_window
unset QT_LOGGING_RULES
drawn=$(grep -c "the preview is drawn by the camera process" "$WORK/app.log" || true)
((drawn >= 2)) || fail "after the loss the preview is not drawn by the camera process: $(grep 'first frame' "$WORK/app.log")"

echo "ok: the preview drawn by the sink, scaled, following the format, redrawn, lost and back"

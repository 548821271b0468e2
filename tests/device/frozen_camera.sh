#!/usr/bin/env bash
# A camera that keeps sending the same picture (vivid's bars without movement and without its
# text): after FrozenAfter seconds it is lost as "the camera sends the same picture", logged
# `frozen`, and its process replaced, once; the new process sends the very same picture, so it
# is the scene that stands still: the log says so once and the pictures go on being saved.
source "$(dirname "$0")/lib.sh"

CONFIG_EXTRA="FrozenAfter=3"
run_at_one_second
wait_pictures 2 15 || fail "no pictures from the camera"
shopt -s nullglob
runs=("$WORK"/app/pictures/*)
log="${runs[0]}/Run log.csv"
grep -q ',frozen,' "$log" && fail "frozen while the camera's text still moved"
pids_before=$(camera_pids | tr '\n' ' ')

v4l2-ctl -d /dev/video0 -c osd_text_mode=2 -c horizontal_movement=3 -c vertical_movement=3 ||
    fail "vivid refused to stand still"
still=$(now)
until grep -q ',frozen,' "$log"; do
    over "$(since "$still")" 10 && fail "no 'frozen' row 10 s after the picture stood still"
    sleep 0.2
done
echo "frozen logged $(since "$still") s after the picture stood still"
over 2.5 "$(since "$still")" && fail "frozen before FrozenAfter had passed"
grep ',frozen,' "$log" | grep -q 'the camera sends the same picture for 3 s' ||
    fail "the frozen row does not say why: $(grep ',frozen,' "$log")"

# Pictures go on from the new process, which is not replaced again while the picture stays.
count=$(pictures)
wait_pictures $((count + 3)) 12 || fail "no pictures after the frozen camera was replaced"
sleep 8
[[ $(grep -c ',frozen,' "$log") -eq 1 ]] || fail "frozen more than once: $(grep ',frozen,' "$log")"
[[ $(grep -c 'scene stands still' "$log") -eq 1 ]] ||
    fail "the still scene is not said once: $(grep ',note,' "$log")"
[[ "$(camera_pids | tr '\n' ' ')" != "$pids_before" ]] || fail "the camera process was not replaced"
count=$(pictures)
wait_pictures $((count + 2)) 5 || fail "the pictures stopped while the scene stood still"

stop_and_read_message
check_count "$MESSAGE"
stop_program
echo "ok: frozen once, the scene then taken as still, $COUNTED"

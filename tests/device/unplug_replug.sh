#!/usr/bin/env bash
# The camera unplugged mid-run and plugged in again (its driver unbound and bound, as a USB
# unplug does): "Camera lost" shows within 2 s, and the program lets go of the lost node within
# 2 s more, so the camera can have it again; the pictures resume within 5 s of the camera's
# node coming back, whichever node it gets, numbered on in the same folder; the end message's
# count is the pictures on disk plus those it says could not be saved.
source "$(dirname "$0")/lib.sh"

run_at_one_second
wait_pictures 2 15 || fail "no pictures from the camera"
preview_lost && fail "the preview shows the lost notice before the unplug"

unplugged=$(now)
echo vivid.0 >/sys/bus/platform/drivers/vivid/unbind
# Each look at the screen takes a while here: the time counted is when the look that saw the
# notice had ended, so it is never less than the truth.
until preview_lost; do
    awk -v t="$(since "$unplugged")" 'BEGIN { exit !(t > 2) }' &&
        fail "no 'Camera lost' 2 s after the unplug"
done
seen=$(since "$unplugged")
echo "'Camera lost' seen ${seen} s after the unplug"
awk -v t="$seen" 'BEGIN { exit !(t > 2) }' && fail "'Camera lost' only ${seen} s after the unplug"
before=$(pictures)
# The lost camera's node is let go of, so that the camera can have it again.
# A node still held is told at the end: the rest of the case still shows what follows from it.
lost=$(now)
held=""
until [[ -z "$(held_nodes)" ]]; do
    if awk -v t="$(since "$lost")" 'BEGIN { exit !(t > 2) }'; then
        held="the program still held $(held_nodes) $(since "$lost") s after 'Camera lost'"
        echo "$held"
        break
    fi
    sleep 0.1
done
# Pictures fall due while the camera is away.
sleep 2.5

echo vivid.0 >/sys/bus/platform/drivers/vivid/bind
for _ in $(seq 100); do
    node=$(ls /dev/video* 2>/dev/null | head -n 1)
    [[ -n "$node" ]] && break
    sleep 0.1
done
[[ -n "$node" ]] || fail "no video node after the camera came back"
back=$(now)
settle_udev
count=$(pictures)
wait_pictures $((count + 1)) 5 ||
    fail "no new picture 5 s after the camera came back as $node (program holds: $(held_nodes))"
echo "a new picture $(since "$back") s after the camera came back as $node"
wait_pictures $((count + 2)) 5 || fail "the pictures stopped again"
stop_and_read_message

check_count "$MESSAGE"
[[ "$failed" -gt 0 ]] || fail "no picture counted as not saved while unplugged"
last=$(tail -n 1 <<<"$numbers")
[[ "$last" -eq "$taken" && "$last" -gt "$before" ]] || fail "numbering does not continue: $numbers"
stop_program
[[ -z "$held" ]] || fail "$held"
echo "ok: lost, back on $node, $COUNTED"

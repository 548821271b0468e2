#!/usr/bin/env bash
# The device tests: the real program against the kernel's virtual camera driver (vivid) in a
# throwaway QEMU machine booted from Debian's kernel package. One boot serves several cases: one
# machine without a udev daemon, one with it.
#   run.sh BUILD_DIR   (BUILD_DIR/lumivex is the program; the machine's files go to BUILD_DIR/device)
# ONLY_UDEV=1 skips the machine without udev, UDEV_CASES="case..." picks the cases of the other,
# DEVICE_BOOT_SECONDS (420) limits each boot.
set -uo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}")
device=$build/device
scripts/device/prepare.sh "$device" || exit 1

boot() { # name udev|no-udev case...
    local name=$1 results=$device/results/$1 status case result seconds
    shift
    echo "device tests: booting the machine ($name)"
    scripts/device/boot.sh "$device" "$results" "${DEVICE_BOOT_SECONDS:-420}" \
        bash tests/device/guest_suite.sh "$build/lumivex" "$device/modules" "$@"
    status=$?
    touch "$results/cases"
    while read -r result case seconds; do
        echo "$result $name/$case $seconds" >>"$device/results/cases"
        echo "$result: $name/$case (${seconds}s)"
        [[ "$result" == PASS ]] || sed 's/^/    /' "$results/$case.log"
    done <"$results/cases"
    # A case the machine never finished (it hung, or the machine did) fails too.
    for case in "${@:2}"; do
        grep -q " $case " "$results/cases" && continue
        echo "FAIL $name/$case 0" >>"$device/results/cases"
        echo "FAIL: $name/$case did not finish (machine status $status)"
        sed 's/^/    /' "$results/$case.log" "$results/log" 2>/dev/null | tail -n 20
    done
}

start=$(date +%s)
rm -rf "$device/results"
mkdir -p "$device/results"
# Without udev GStreamer's device monitor lists no camera: the program must find it all the same.
[[ -n "${ONLY_UDEV:-}" ]] || boot no-udev no-udev first_camera_format
boot udev udev ${UDEV_CASES:-first_camera_format timed_run unplug_replug busy_camera}

passed=$(grep -c '^PASS' "$device/results/cases")
failed=$(grep -c '^FAIL' "$device/results/cases")
echo "device tests took $(($(date +%s) - start))s"
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]

#!/usr/bin/env bash
# The device tests: the real program against the kernel's virtual camera driver (vivid) in a
# throwaway QEMU machine booted from Debian's kernel package. One boot serves every case: first
# without a udev daemon, then with one.
#   run.sh BUILD_DIR   (BUILD_DIR/lumivex is the program; the machine's files go to BUILD_DIR/device)
# ONLY_UDEV=1 skips the cases without udev, UDEV_CASES="case..." picks the cases with it,
# SOAK_ROUNDS (1) sets how often the soak goes through every fault, DEVICE_BOOT_SECONDS limits
# the boot.
set -uo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}")
device=$build/device
scripts/device/prepare.sh "$device" || exit 1

start=$(date +%s)
rm -rf "$device/results"
results=$device/results/machine
no_udev=(first_camera_format)
[[ -n "${ONLY_UDEV:-}" ]] && no_udev=()
udev=(${UDEV_CASES:-first_camera_format timed_run unplug_replug busy_camera camera_settings resume_waits frozen_camera soak})
cases=("${no_udev[@]/#/no-udev/}" "${udev[@]/#/udev/}")
limit=${DEVICE_BOOT_SECONDS:-$((600 + ${SOAK_ROUNDS:-1} * 300))}
echo "device tests: booting the machine"
# Without udev GStreamer's device monitor lists no camera: the program must find it all the same.
SOAK_ROUNDS=${SOAK_ROUNDS:-1} scripts/device/boot.sh "$device" "$results" "$limit" \
    env SOAK_ROUNDS="${SOAK_ROUNDS:-1}" bash tests/device/guest_suite.sh "$build/lumivex" \
    "$device/modules" "${no_udev[@]}" udev "${udev[@]}"
status=$?
touch "$results/cases"
cp "$results/cases" "$device/results/cases"
while read -r result case seconds; do
    echo "$result: $case (${seconds}s)"
    [[ "$result" == PASS ]] || sed 's/^/    /' "$results/$case.log"
done <"$results/cases"
# A case the machine never finished (it hung, or the machine did) fails too.
for case in "${cases[@]}"; do
    grep -q " $case " "$results/cases" && continue
    echo "FAIL $case 0" >>"$device/results/cases"
    echo "FAIL: $case did not finish (machine status $status)"
    sed 's/^/    /' "$results/$case.log" "$results/log" 2>/dev/null | tail -n 20
done

passed=$(grep -c '^PASS' "$device/results/cases")
failed=$(grep -c '^FAIL' "$device/results/cases")
echo "device tests took $(($(date +%s) - start))s"
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]

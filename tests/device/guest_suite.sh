#!/usr/bin/env bash
# Inside the test machine: runs device test cases one after another, each on a session bus of its
# own, and appends "PASS|FAIL case seconds" for each to $LUMIVEX_RESULTS/cases.
#   guest_suite.sh PROGRAM MODULES udev|no-udev CASE...
set -uo pipefail
program=$1 modules=$2 udev=$3
shift 3
here=$(dirname "$(realpath "$0")")
export LUMIVEX_MODULES=$modules LUMIVEX_RESULTS=/run/results

if [[ "$udev" == udev ]]; then
    /lib/systemd/systemd-udevd --daemon
    udevadm trigger --action=add
    udevadm settle --timeout=30
fi
# GStreamer's plugin registry is built once here, not inside the first case's time limits.
gst-inspect-1.0 >/dev/null 2>&1

failed=0
for case in "$@"; do
    start=$(date +%s)
    if timeout -k 5 150 dbus-run-session -- bash "$here/$case.sh" "$program" \
        >"$LUMIVEX_RESULTS/$case.log" 2>&1; then
        result=PASS
    else
        result=FAIL
        failed=1
    fi
    echo "$result $case $(($(date +%s) - start))" >>"$LUMIVEX_RESULTS/cases"
done
exit "$failed"

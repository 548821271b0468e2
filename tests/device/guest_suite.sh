#!/usr/bin/env bash
# Inside the test machine: runs device test cases one after another, each on a session bus of its
# own, and appends "PASS|FAIL MACHINE/case seconds" for each to $LUMIVEX_RESULTS/cases. The cases
# before the word "udev" run without a udev daemon (MACHINE no-udev), those after it with one.
#   guest_suite.sh PROGRAM MODULES CASE... [udev CASE...]
set -uo pipefail
program=$1 modules=$2
shift 2
here=$(dirname "$(realpath "$0")")
export LUMIVEX_MODULES=$modules LUMIVEX_RESULTS=/run/results

# GStreamer's plugin registry is built once here, not inside the first case's time limits.
gst-inspect-1.0 >/dev/null 2>&1

failed=0
machine=no-udev
for case in "$@"; do
    if [[ "$case" == udev ]]; then
        /lib/systemd/systemd-udevd --daemon
        udevadm trigger --action=add
        udevadm settle --timeout=30
        machine=udev
        continue
    fi
    start=$(date +%s)
    limit=150
    [[ "$case" == soak ]] && limit=$((${SOAK_ROUNDS:-1} * 300 + 60))
    mkdir -p "$LUMIVEX_RESULTS/$machine"
    if timeout -k 5 "$limit" dbus-run-session -- bash "$here/$case.sh" "$program" \
        >"$LUMIVEX_RESULTS/$machine/$case.log" 2>&1; then
        result=PASS
    else
        result=FAIL
        failed=1
    fi
    echo "$result $machine/$case $(($(date +%s) - start))" >>"$LUMIVEX_RESULTS/cases"
done
exit "$failed"

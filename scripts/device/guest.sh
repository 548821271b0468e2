#!/bin/bash
# Runs inside the test machine as its first process after the switch to the host's root: runs the
# job the host left in the results share, records its output and exit status there, powers off.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export HOME=/root LC_ALL=C.UTF-8 TMPDIR=/tmp XDG_RUNTIME_DIR=/run/user/0
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
results=/run/results
cd "$(cat "$results/cwd")"
limit=$(cat "$results/limit" 2>/dev/null || echo 600)
timeout -k 5 "$limit" bash "$results/job" >"$results/log" 2>&1 </dev/null
echo $? >"$results/status.new"
mv "$results/status.new" "$results/status"
sync
# No init system to shut down through: the kernel powers off directly.
echo o >/proc/sysrq-trigger
sleep 30

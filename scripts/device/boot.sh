#!/usr/bin/env bash
# Boots the test machine once and runs a command inside it.
#   boot.sh DIR RESULTS SECONDS COMMAND...
# DIR holds what prepare.sh made; RESULTS is a host folder the machine writes to (its log, its
# exit status and whatever the command leaves there; inside it is /run/results). The command runs
# as root in the machine with the host's root read-only as its root, so its paths are the host's.
# The machine is ended after SECONDS, so a hang fails rather than blocks. Exits with the
# command's exit status, or 124 when the machine did not finish.
set -euo pipefail

dir=$(realpath "${1:?usage: $0 DIR RESULTS SECONDS COMMAND...}")
results=$(realpath -m "${2:?}")
seconds=${3:?}
shift 3
here=$(dirname "$(realpath "$0")")
# The project folder is shared on its own as well: it may lie where the machine has fresh
# writable places (a checkout under /tmp, say), which would hide it in the host's root.
project=$(realpath "$here/../..")

rm -rf "$results"
mkdir -p "$results"
{ printf '%q ' "$@"; echo; } >"$results/job"
echo "$((seconds - 20))" >"$results/limit"
pwd >"$results/cwd"

# Software emulation: nested KVM is not to be relied on.
timeout -k 10 "$seconds" qemu-system-x86_64 \
    -accel tcg,thread=multi -cpu max -smp 2 -m 4096 \
    -nographic -no-reboot -nic none \
    -kernel "$dir/vmlinuz" -initrd "$dir/initramfs.cpio.gz" \
    -append "console=ttyS0 quiet panic=-1 guest=$here/guest.sh project=$project" \
    -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
    -virtfs "local,path=$project,mount_tag=project,security_model=none,readonly=on,multidevs=remap" \
    -virtfs "local,path=$results,mount_tag=results,security_model=none,multidevs=remap" \
    </dev/null >"$results/console" 2>&1 || true

if [[ ! -f "$results/status" ]]; then
    echo "boot: the machine did not finish within ${seconds}s; its console:" >&2
    tail -n 30 "$results/console" >&2
    exit 124
fi
exit "$(cat "$results/status")"

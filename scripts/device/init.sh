#!/bin/busybox sh
# The test machine's first process, from the initramfs: loads the modules, mounts the host's root
# read-only as the new root (with fresh writable places for what programs write at run time) and
# the results share, then hands over to the guest script named on the kernel command line.
/bin/busybox --install -s /bin
export PATH=/bin

mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
# vivid is left to the tests, which load it with the options they need.
for module in $(cat /modules/order); do
    [ "$module" = vivid.ko ] || insmod "/modules/$module"
done
ip link set lo up

guest=$(sed -n 's/.* guest=\([^ ]*\).*/\1/p' /proc/cmdline)
project=$(sed -n 's/.* project=\([^ ]*\).*/\1/p' /proc/cmdline)
nineP=trans=virtio,version=9p2000.L,msize=512000
if ! mount -t 9p -o "$nineP,ro,cache=loose" host /newroot; then
    echo "init: cannot mount the host's root" >&2
    poweroff -f
fi
for place in tmp run root var/tmp; do
    mount -t tmpfs -o mode=1777 tmpfs "/newroot/$place"
done
chmod 700 /newroot/root
# The project at its own path again, in case one of those places just covered it.
mkdir -p "/newroot$project" 2>/dev/null
mount -t 9p -o "$nineP,ro,cache=loose" project "/newroot$project"
mkdir -p /dev/pts /dev/shm
mount --move /dev /newroot/dev
mount -t devpts devpts /newroot/dev/pts
mount -t tmpfs -o mode=1777 tmpfs /newroot/dev/shm
mount --move /proc /newroot/proc
mount --move /sys /newroot/sys
mkdir /newroot/run/results
mount -t 9p -o "$nineP,cache=none" results /newroot/run/results

exec switch_root /newroot /bin/bash "$guest"

#!/usr/bin/env bash
# Prepares what the device tests boot: Debian's own kernel and a small busybox initramfs, cached
# in DIR (build/device/). The kernel package is downloaded and unpacked there, never installed:
# the host's /boot and /lib/modules stay untouched.
#   prepare.sh DIR   leaves DIR/vmlinuz, DIR/initramfs.cpio.gz and DIR/modules/ (the .ko files
#                    the tests load, with DIR/modules/order, the order to insmod them in)
set -euo pipefail

dir=$(realpath -m "${1:?usage: $0 DIR}")
here=$(dirname "$(realpath "$0")")
mkdir -p "$dir"

# The kernel package that linux-image-amd64 points at today.
kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ { print $2; exit }'
}
package=$(kernel_package)
if [[ -z "$package" ]]; then
    apt-get update -qq
    package=$(kernel_package)
fi
[[ -n "$package" ]] || { echo "prepare: no kernel package behind linux-image-amd64 (apt-get update?)" >&2; exit 1; }
# The kernel and its modules, downloaded once per kernel package.
if [[ ! -f "$dir/kernel" || "$(cat "$dir/kernel")" != "$package" ]]; then
    rm -rf "$dir/kernel" "$dir/unpacked" "$dir/modules" "$dir/initramfs.cpio.gz"
    echo "prepare: downloading $package"
    (cd "$dir" && rm -f ./*.deb && apt-get download -q "$package" 2>&1 | grep -v unsandboxed || true)
    deb=$(ls "$dir"/*.deb 2>/dev/null | head -n 1)
    [[ -n "$deb" ]] || { echo "prepare: apt-get download $package failed" >&2; exit 1; }
    dpkg-deb -x "$deb" "$dir/unpacked"
    version=$(ls "$dir/unpacked/lib/modules" | head -n 1)
    cp "$dir/unpacked/boot/vmlinuz-$version" "$dir/vmlinuz"
    depmod -b "$dir/unpacked" "$version"

    # Every module the tests need, its dependencies first, each once.
    mkdir -p "$dir/modules"
    for module in virtio_pci 9pnet_virtio 9p vivid; do
        modprobe -d "$dir/unpacked" -S "$version" --show-depends "$module" |
            awk '$1 == "insmod" { print $2 }'
    done | awk '!seen[$0]++' | while read -r ko; do
        cp "$ko" "$dir/modules/"
        basename "$ko" >>"$dir/modules/order"
    done
    modinfo -b "$dir/unpacked" -k "$version" vivid >"$dir/modules/vivid.modinfo"
    rm -rf "$dir/unpacked" "$deb"
    echo "$package" >"$dir/kernel"
    echo "prepare: kernel $version, $(wc -l <"$dir/modules/order") modules"
fi

# The initramfs: busybox, the modules, and init.sh as /init; made again when init.sh changes.
stamp=$(cat "$here/init.sh" "$dir/kernel" | sha256sum | cut -c1-16)
[[ -f "$dir/initramfs.cpio.gz" && "$(cat "$dir/initramfs.stamp" 2>/dev/null)" == "$stamp" ]] && exit 0
root="$dir/initramfs"
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,newroot,modules}
cp /bin/busybox "$root/bin/busybox"
cp "$dir/modules"/*.ko "$dir/modules/order" "$root/modules/"
cp "$here/init.sh" "$root/init"
chmod +x "$root/init" "$root/bin/busybox"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$dir/initramfs.cpio.gz"
rm -rf "$root"
echo "$stamp" >"$dir/initramfs.stamp"

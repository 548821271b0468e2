#!/usr/bin/env bash
# Installs the build, test and run dependencies on Debian/Ubuntu.
# Does nothing when everything is already there, so `make` can call it every time.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libfontconfig-dev
  libpng-dev libturbojpeg0-dev libexif-dev
  libmicrohttpd-dev libqrencode-dev
  libnova-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly
  gstreamer1.0-x gstreamer1.0-tools
  ffmpeg
  libx11-dev
  libgtest-dev libgmock-dev
  xvfb xdotool x11-utils imagemagick fonts-liberation2 libimage-exiftool-perl
  dbus-daemon at-spi2-core python3-pyatspi
  chromium curl openssl iproute2
  clang libclang-rt-14-dev
)
# Only for `make bench` (--bench): the local network camera of the lost-camera benchmark
# (bench/rtsp_camera.cpp). Kept out of the program's own set-up: the RTSP server library brings
# GStreamer's "bad" plugins, which a user's camera program has no use for.
# libjpeg-turbo's cjpeg is the JPEG snapshot's baseline.
if [[ "${1:-}" == --bench ]]; then
  packages+=(libgstrtspserver-1.0-dev libjpeg-turbo-progs)
fi
# Only for `make test-device` (--device): the virtual machine the program meets a real V4L2
# camera in (tests/device/, scripts/device/).
if [[ "${1:-}" == --device ]]; then
  packages+=(qemu-system-x86 busybox-static cpio kmod udev v4l-utils)
fi
# Only for `make screenshot` (--screenshot): shrinks the retaken picture of the window.
if [[ "${1:-}" == --screenshot ]]; then
  packages+=(optipng)
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if ! command -v apt-get >/dev/null 2>&1; then
  echo "install-deps: apt-get not found; please install: ${missing[*]}" >&2
  exit 1
fi

sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"

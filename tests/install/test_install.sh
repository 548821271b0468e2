#!/usr/bin/env bash
# `cmake --install` makes a portable program folder: the program, its camera and video processes, Config.ini, an empty pictures
# folder, the icon and a desktop entry pointing at them.
set -euo pipefail
build=${1:?usage: $0 build-dir}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

cmake --install "$build" --prefix "$dir/Lumivex" >/dev/null
cd "$dir/Lumivex"
fail() { echo "FAIL: $*" >&2; exit 1; }

[[ -x lumivex ]] || fail "no program"
[[ -x lumivex-camera ]] || fail "no camera process beside the program"
[[ -x lumivex-video ]] || fail "no video process beside the program"
grep -q '^Framerate=33' Config.ini || fail "no default Config.ini"
[[ -d pictures && -z "$(ls -A pictures)" ]] || fail "no empty pictures folder"
[[ "$(head -c 8 lumivex.png | od -An -tx1 | tr -d ' ')" == 89504e470d0a1a0a ]] || fail "icon is no PNG"
grep -qx "Exec=\"$dir/Lumivex/lumivex\"" lumivex.desktop || fail "desktop entry: $(cat lumivex.desktop)"
grep -qx "Icon=$dir/Lumivex/lumivex.png" lumivex.desktop || fail "desktop entry icon"
grep -qx "Path=$dir/Lumivex" lumivex.desktop || fail "desktop entry folder"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate lumivex.desktop; fi
echo "ok: portable folder with desktop entry"

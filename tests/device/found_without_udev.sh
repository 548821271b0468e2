#!/usr/bin/env bash
# No udev daemon runs, so GStreamer's device monitor lists nothing: the program still finds the
# cameras' capture nodes and streams from the first of two.
source "$(dirname "$0")/lib.sh"

load_vivid 2
start_display
install_program
start_to_dialog
accept_format
wait_holds /dev/video0
stop_program
echo "ok: found /dev/video0 without udev"

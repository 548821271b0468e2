# Helpers for the device tests, which run inside the test machine (see run.sh): the end-to-end
# helpers (tests/e2e/lib.sh) plus the kernel's virtual camera driver and what reads it from outside
# the program. Source this file; $1 of the test is the program, LUMIVEX_MODULES the folder of the
# kernel modules, LUMIVEX_RESULTS where failure evidence goes.
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"
DEVICE_TESTS=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
# A command that fails outside a check ends the case: say which, rather than end without a word.
set -o errtrace
trap 'echo "FAIL: $CASE: line $LINENO: $BASH_COMMAND (status $?)" >&2' ERR
# What the program's link to its camera process does goes to its output, which a failing case
# shows.
export QT_LOGGING_RULES="lumivex.camera.debug=true"
export QT_MESSAGE_PATTERN="%{time h:mm:ss.zzz} %{message}"
CASE=$(basename "$0" .sh)

# On failure, keep what shows why: the program's output and the screen.
fail() {
    echo "FAIL: $*" >&2
    if [[ -n "${DISPLAY:-}" ]]; then
        import -window root "${LUMIVEX_RESULTS:-/tmp}/$CASE.png" 2>/dev/null || true
    fi
    echo "--- program output:" >&2
    cat "$WORK/app.log" >&2 2>/dev/null || true
    exit 1
}

# (Re)loads vivid with N webcams, each a plain video capture node with one webcam input, and
# waits for their nodes (and for udev, when it runs).
load_vivid() {
    local n=$1 i
    local nodes=() inputs=() types=()
    for ((i = 0; i < n; ++i)); do nodes+=(0x1); inputs+=(1); types+=(0); done
    rmmod vivid 2>/dev/null || true
    local IFS=,
    insmod "$LUMIVEX_MODULES/vivid.ko" n_devs="$n" node_types="${nodes[*]}" \
        num_inputs="${inputs[*]}" input_types="${types[*]}" || fail "insmod vivid"
    unset IFS
    wait_node "/dev/video$((n - 1))"
    settle_udev
}

settle_udev() {
    if pgrep -x systemd-udevd >/dev/null; then udevadm settle --timeout=20; fi
}

wait_node() {
    local node=$1 seconds=${2:-10}
    for _ in $(seq $((seconds * 10))); do
        [[ -c "$node" ]] && return 0
        sleep 0.1
    done
    fail "no $node within ${seconds}s"
}

# The program's camera processes (the live one, and any not yet gone).
camera_pids() { pgrep -P "$APP_PID" 2>/dev/null || true; }

# The processes that hold a /dev/video* node open, one "PID NODE" a line. One find for all of
# them: each process started costs a lot in the emulated machine.
node_holders() {
    # A process that ends during the look makes find complain: that is no failure.
    { find /proc/[0-9]*/fd -lname '/dev/video*' -printf '%h %l\n' 2>/dev/null || true; } |
        sed 's|^/proc/\([0-9]*\)/fd |\1 |' | sort -u
}

# The /dev/video* nodes the program (its window process and its camera processes) holds open.
held_nodes() {
    local pid
    for pid in "$APP_PID" $(camera_pids); do
        find /proc/"$pid"/fd -lname '/dev/video*' -printf '%l\n' 2>/dev/null
    done | sort -u
}

# The window process never opens the camera itself.
window_holds_no_node() {
    local own
    # (A descriptor closed during the look makes find complain: that is no failure.)
    own=$(find /proc/"$APP_PID"/fd -lname '/dev/video*' -printf '%l ' 2>/dev/null || true)
    [[ -z "$own" ]] || fail "the window process itself holds $own"
}

# Waits until the program holds exactly the given node open.
wait_holds() {
    local node=$1 seconds=${2:-15}
    for _ in $(seq $((seconds * 10))); do
        [[ "$(held_nodes)" == "$node" ]] && { window_holds_no_node; return 0; }
        sleep 0.1
    done
    fail "the program holds '$(held_nodes | tr '\n' ' ')', not $node"
}

# A session bus with the accessibility bus on it, for tests that read the program's windows.
start_accessibility() {
    /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
    ATSPI_PID=$!
    trap 'kill $ATSPI_PID 2>/dev/null; cleanup' EXIT
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
}
atspi() { /usr/bin/python3 "$DEVICE_TESTS/atspi.py" "$@"; }

# Starts the program and waits for its format dialog; a start-up failure instead fails the test
# with the message it gave.
start_to_dialog() {
    [[ -n "${ATSPI_PID:-}" ]] || start_accessibility
    write_config "[MAIN]" "Width=320" "Height=240" "Framerate=0" ${CONFIG_EXTRA:-}
    start_program
    dialog=$(wait_window "^(Video Format|Error!)$" 60)
    [[ "$(xdotool getwindowname "$dialog")" == "Video Format" ]] ||
        fail "start-up failure: $(atspi message 'Error!' | tr '\r\n' '  ')"
}

# From the format dialog to the main window, with the dialog's default format, pressing Return
# once the list is there, as a person would.
accept_format() {
    atspi formats >/dev/null || true
    press "$dialog" Return
    wait_gone "$dialog"
    window=$(wait_window "^Webcam Lumivex v0.03$")
}

stop_program() {
    kill -TERM "$APP_PID"
    wait_exit 15 >/dev/null
}

# The preview's own X window: the main window's 320 x 240 child.
preview_window() {
    local id
    id=$(xwininfo -children -id "$window" | awk '/ 320x240\+/ { print $1; exit }')
    [[ -n "$id" ]] || fail "no 320x240 preview window: $(xwininfo -children -id "$window")"
    echo "$id"
}

# Whether the preview shows the "Camera lost" notice: its grey at three corners. One ImageMagick
# call reading the window straight from the X server, since the test machine is slow.
preview_lost() {
    local colors
    colors=$(convert "x:$PREVIEW" -format \
        '%[fx:int(255*p{3,3}.r+.5)] %[fx:int(255*p{316,3}.g+.5)] %[fx:int(255*p{3,236}.b+.5)]' \
        info: 2>/dev/null)
    [[ "$colors" == "48 48 48" ]]
}

# The run's end message against the one run folder: the count it gives is the pictures on disk
# plus those it says could not be saved, each number once. Sets numbers (one a line), files,
# taken, failed and COUNTED.
check_count() { # message
    shopt -s nullglob
    local runs=("$WORK"/app/pictures/*)
    [[ ${#runs[@]} -eq 1 ]] || fail "expected one run folder, found ${#runs[@]}"
    numbers=$(cd "${runs[0]}" && ls | sed -n 's/^Picture \([0-9]*\)\.bmp$/\1/p' | sort -n)
    echo "pictures: $(tr '\n' ' ' <<<"$numbers")"
    files=$(grep -c . <<<"$numbers")
    [[ -z "$(uniq -d <<<"$numbers")" ]] || fail "picture numbers twice: $(uniq -d <<<"$numbers")"
    taken=$(sed -n 's/^\([0-9]*\) picture(s) taken\..*/\1/p' <<<"$1")
    failed=$(sed -n 's/.* \([0-9]*\) could not be saved\..*/\1/p' <<<"$1")
    failed=${failed:-0}
    [[ -n "$taken" ]] || fail "no count in the message"
    [[ "$taken" -eq $((files + failed)) ]] ||
        fail "the message counts $taken, the folder holds $files and $failed could not be saved"
    [[ "$(tail -n 1 <<<"$numbers")" -le "$taken" ]] || fail "a picture numbered past the count"
    COUNTED="$files pictures on disk + $failed not saved = $taken"
}

# Time, in seconds since 1970 with fractions, and seconds since such a time.
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }
over() { awk -v t="$1" -v l="$2" 'BEGIN { exit !(t > l) }'; }

pictures() { find "$WORK/app/pictures" -name '*.bmp' | wc -l; }
# Waits until there are `count` pictures, up to `seconds` from `from` (now by default).
wait_pictures() { # count seconds [from]
    local until
    until=$(awk -v s="${3:-$(now)}" -v d="$2" 'BEGIN { printf "%.3f", s + d }')
    while ! over "$(now)" "$until"; do
        (($(pictures) >= $1)) && return 0
        sleep 0.2
    done
    return 1
}

# One camera, the program past its format dialog, a run at 1 s going; PREVIEW is the preview's
# X window.
run_at_one_second() {
    load_vivid 1
    start_display
    install_program
    start_to_dialog
    accept_format
    PREVIEW=$(preview_window)
    set_run 1
    start_timer
}

# Stops the run and reads its end message (MESSAGE) through the accessibility interface.
stop_and_read_message() {
    stop_timer
    local info
    info=$(wait_window "^Info$" 15)
    MESSAGE=$(atspi message Info | tr '\r\n' '  ')
    echo "message: $MESSAGE"
    press "$info" Return
}

# Shared helpers for the end-to-end tests: the real program in a private program folder, on its
# own Xvfb display, driven with xdotool. Source this file; $1 of the test is the program.
set -euo pipefail

PROGRAM_SOURCE=${1:?usage: $0 path/to/lumivex}
WORK=$(mktemp -d)
APP_PID=""
XVFB_PID=""

# Waits for the processes to be gone, so that the next test's X server never meets this one's
# display still closing.
cleanup() {
    if [[ -n "$APP_PID" ]]; then
        kill "$APP_PID" 2>/dev/null || true
        wait "$APP_PID" 2>/dev/null || true
    fi
    if [[ -n "$XVFB_PID" ]]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT

# Without a session bus, D-Bus would try to start one for the program through the X display,
# forking inside the program; in the sanitizer build a child forked while another thread holds an
# allocator lock can hang for good. These tests do without the bus: an address that leads nowhere
# makes the program find none at once. (The accessibility test brings a bus of its own.)
[[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ]] ||
    export DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent/lumivex-e2e-no-session-bus"

fail() {
    echo "FAIL: $*" >&2
    echo "display ${DISPLAY:-none}; X servers: $(pgrep -a Xvfb | tr '\n' ';')" >&2
    ls -la /tmp/.X11-unix/ >&2 2>/dev/null || true
    if [[ -s "$WORK/app.log" ]]; then
        echo "--- the program said:" >&2
        tail -n 40 "$WORK/app.log" >&2
    fi
    if [[ -n "${DISPLAY:-}" ]]; then
        import -window root "$WORK/failure.png" 2>/dev/null && cp "$WORK/failure.png" \
            "${TMPDIR:-/tmp}/lumivex-e2e-failure.png" && echo "screen: ${TMPDIR:-/tmp}/lumivex-e2e-failure.png" >&2
    fi
    exit 1
}

# A display of our own, so tests never meet each other's windows. The server picks a free
# display number itself (-displayfd), so tests running at the same time cannot race for one.
start_display() {
    local number_file="$WORK/display"
    # -noreset: the check below is the first client, and a server that resets as it leaves
    # turns the program away.
    Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do
        if [[ -s "$number_file" ]]; then
            export DISPLAY=":$(head -n 1 "$number_file")"
            xdpyinfo >/dev/null 2>&1 && return 0
        fi
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    fail "could not start Xvfb"
}

# The program is copied into a folder of its own, since it finds Config.ini and the pictures
# folder beside itself, and its camera and video processes too.
install_program() {
    mkdir -p "$WORK/app/pictures"
    cp "$PROGRAM_SOURCE" "$WORK/app/lumivex"
    cp "$(dirname "$PROGRAM_SOURCE")/lumivex-camera" "$WORK/app/lumivex-camera"
    cp "$(dirname "$PROGRAM_SOURCE")/lumivex-video" "$WORK/app/lumivex-video"
}

write_config() { printf '%s\r\n' "$@" >"$WORK/app/Config.ini"; }

start_program() {
    (cd "$WORK/app" && exec ./lumivex) >"$WORK/app.log" 2>&1 &
    APP_PID=$!
}

# Waits for a visible window whose title matches, prints its id.
wait_window() {
    local title=$1 seconds=${2:-30} id
    for _ in $(seq $((seconds * 10))); do
        id=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -n 1 || true)
        [[ -n "$id" ]] && { echo "$id"; return 0; }
        kill -0 "$APP_PID" 2>/dev/null || { cat "$WORK/app.log" >&2; fail "program ended while waiting for '$title'"; }
        sleep 0.1
    done
    fail "no window '$title' within ${seconds}s"
}

wait_gone() {
    local id=$1
    for _ in $(seq 100); do
        xdotool getwindowname "$id" >/dev/null 2>&1 || return 0
        xwininfo -id "$id" 2>/dev/null | grep -q "IsViewable" || return 0
        sleep 0.1
    done
    fail "window $id did not close"
}

# The program on its own display with a test pattern of WIDTH x HEIGHT as its camera, the format
# dialog answered with Enter as a user keeping the default would; WINDOW is then the window's id.
start_on_test_pattern() {
    local width=$1 height=$2 pattern=$3 dialog
    start_display
    install_program
    write_config "[MAIN]" "Width=$width" "Height=$height" "Framerate=33" \
        "Source=videotestsrc is-live=true pattern=$pattern"
    start_program
    dialog=$(wait_window "^Video Format$")
    press "$dialog" Return
    wait_gone "$dialog"
    WINDOW=$(wait_window "^Webcam Lumivex v0.03$")
}

# In the main window ($window), by their places (the panel starts at y 496, its frames at
# y 512): the interval box, "After ... pictures" and its count box, and the timer's buttons.
set_run() { # interval [stop-after]
    click_at "$window" 88 538
    xdotool key ctrl+a type "$1"
    if [[ -n "${2:-}" ]]; then
        click_at "$window" 342 560
        click_at "$window" 400 562
        xdotool key ctrl+a type "$2"
    fi
}
start_timer() { click_at "$window" 600 524; }
stop_timer() { click_at "$window" 600 548; }

# Presses a key in a window: focus it first, since there is no window manager.
press() {
    local id=$1 key=$2
    xdotool windowfocus --sync "$id" 2>/dev/null || true
    xdotool key "$key"
}

# Clicks at x,y inside a window.
click_at() {
    local id=$1 x=$2 y=$3
    xdotool mousemove --window "$id" "$x" "$y" click 1
    sleep 0.2
}

# Sets STATUS to the program's exit status. Call it in the test's own shell, not inside $(...):
# another process's `wait` cannot see the program's status.
wait_exit() {
    local seconds=${1:-10}
    for _ in $(seq $((seconds * 10))); do
        if ! kill -0 "$APP_PID" 2>/dev/null; then
            wait "$APP_PID" && STATUS=0 || STATUS=$?
            APP_PID=""
            return 0
        fi
        sleep 0.1
    done
    fail "program still running after ${seconds}s"
}

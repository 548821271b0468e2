#!/usr/bin/env bash
# Looking in from another device: the run's page in headless Chromium follows a run whose camera
# is lost for a while (the count, "Camera lost", the latest picture), shows nothing of it without
# the key or with a wrong one, takes the key out of the address; hostile clients and guessing are
# turned away while the run goes on; a program that stops answering is marked as such; the command
# on every event hears the run's events. The page listens on this computer only.
source "$(dirname "$0")/lib.sh"

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
PORT=$(free_port)
DEBUG_PORT=$(free_port)
BASE="http://127.0.0.1:$PORT"

start_display
install_program
cat >"$WORK/on_event.sh" <<'SCRIPT'
{ env | grep '^LUMIVEX_' | sort; echo; } >>"$EVENTS"
SCRIPT
export EVENTS="$WORK/events.txt"
write_config "[MAIN]" "Width=320" "Height=240" "Framerate=33" \
    "Source=videotestsrc is-live=true pattern=ball" \
    "WebPort=$PORT" "OnEvent=sh '$WORK/on_event.sh'"
start_program
dialog=$(wait_window "^Video Format$")
press "$dialog" Return
wait_gone "$dialog"
window=$(wait_window "^Webcam Lumivex v0.03$")

ss -Hltn "sport = :$PORT" | grep -q "127.0.0.1:$PORT " || fail "not listening on 127.0.0.1:$PORT: $(ss -Hltn)"
KEY=$(sed -n 's/^Key=\([A-Za-z0-9_-]*\).*/\1/p' "$WORK/app/Web.ini")
[[ ${#KEY} -ge 22 ]] || fail "no key in Web.ini"
[[ $(stat -c %a "$WORK/app/Web.ini") == 600 ]] || fail "Web.ini is readable by others"

chrome() { # URL [more flags]: the page's DOM once its script has asked a few times (BUDGET ms)
    local url=$1
    shift
    timeout 60 chromium --headless --no-sandbox --disable-gpu --no-first-run \
        --user-data-dir="$WORK/chrome-$RANDOM" --virtual-time-budget="${BUDGET:-8000}" "$@" \
        --dump-dom "$url" 2>/dev/null
}
status() { curl -s -H "Authorization: Bearer $KEY" "$BASE/status.json"; }
field() { python3 -c 'import json,sys; d=json.load(sys.stdin); print(eval(sys.argv[1], {}, {"d": d}))' "$1"; }

# The run: a picture a second, until the program is ended.
set_run 1
start_timer

# Without the key, or with a wrong one: nothing of the run.
for url in "$BASE/" "$BASE/?key=${KEY:0:42}x" "$BASE/?key="; do
    dom=$(chrome "$url")
    [[ "$dom" == *"needs its link with the key"* ]] || fail "no key: $url showed: $dom"
    [[ "$dom" != *'id="count"'* && "$dom" != *Picture* ]] || fail "run shown without the key: $dom"
done

# With the key: the count follows the run.
for _ in $(seq 50); do
    [[ $(status | field 'd["taken"]') -ge 2 ]] && break
    sleep 0.2
done
before=$(status | field 'd["taken"]')
dom=$(chrome "$BASE/?key=$KEY")
after=$(status | field 'd["taken"]')
shown=$(sed -n 's/.*<dd id="count">\([0-9]*\)<.*/\1/p' <<<"$dom")
[[ -n "$shown" && $shown -ge $before && $shown -le $after ]] ||
    fail "count shown '$shown', the run had $before to $after: $dom"

# The camera lost: every camera process is stopped as soon as it is seen, so that the window
# gives it up and stays without a camera. The page says so, and the picture it shows is the
# latest file's.
run=$(ls -d "$WORK"/app/pictures/*/)
freeze() {
    while kill -0 "$APP_PID" 2>/dev/null; do
        pkill -STOP -P "$APP_PID" -x lumivex-camera || true
        sleep 0.05
    done
}
freeze &
FREEZER=$!
trap 'kill "$FREEZER" 2>/dev/null || true; cleanup' EXIT
for _ in $(seq 300); do
    [[ $(status | field 'd["camera"]') == lost ]] && break
    sleep 0.1
done
[[ $(status | field 'd["camera"]') == lost ]] || fail "the stopped camera was not given up"
dom=$(chrome "$BASE/?key=$KEY")
number=$(sed -n 's/.*data-shown="\([0-9]*\)".*/\1/p' <<<"$dom")
[[ "$dom" == *"Camera lost"* ]] || fail "the page did not say Camera lost: $dom"
[[ -n "$number" && "$dom" == *"Picture $number, taken"* ]] || fail "no picture shown: $dom"
[[ $(status | field 'd["latest"]["number"]') == "$number" ]] || fail "the page shows an older picture than $number"
curl -s -H "Authorization: Bearer $KEY" -o "$WORK/shown.jpg" "$BASE/latest.jpg?picture=$number"
kill "$FREEZER"
wait "$FREEZER" 2>/dev/null || true
pkill -CONT -P "$APP_PID" -x lumivex-camera || true
for _ in $(seq 300); do
    [[ $(status | field 'd["camera"]') == working ]] && break
    sleep 0.1
done
[[ $(status | field 'd["camera"]') == working ]] || fail "the camera did not come back"
rmse() { compare -metric RMSE "$WORK/shown.jpg" "$run/Picture $1.bmp" null: 2>&1 | sed 's/.*(\(.*\))/\1/' || true; }
same=$(rmse "$number")
earlier=$(cd "$run" && ls Picture*.bmp | sed 's/[^0-9]//g' | sort -n | awk -v n="$number" '$1 < n' | tail -n 1)
[[ -n "$earlier" ]] || fail "no picture before Picture $number.bmp"
other=$(rmse "$earlier")
awk -v s="$same" -v o="$other" 'BEGIN { exit !(s < 0.02 && s < o / 2) }' ||
    fail "the picture shown is not Picture $number.bmp: it differs by $same, from the one before by $other"

# The key leaves the address after the first load.
timeout 60 chromium --headless --no-sandbox --disable-gpu --no-first-run \
    --user-data-dir="$WORK/chrome-address" --remote-debugging-port="$DEBUG_PORT" \
    "$BASE/?key=$KEY" >/dev/null 2>&1 &
CHROME_PID=$!
address=""
for _ in $(seq 100); do
    address=$(curl -s "http://127.0.0.1:$DEBUG_PORT/json/list" | python3 -c \
        'import json,sys; print(" ".join(t["url"] for t in json.load(sys.stdin) if t["type"] == "page"))' 2>/dev/null || true)
    [[ "$address" == "$BASE/" ]] && break
    sleep 0.1
done
kill "$CHROME_PID" 2>/dev/null || true
wait "$CHROME_PID" 2>/dev/null || true
[[ "$address" == "$BASE/" ]] || fail "the address after loading is '$address'"

# Hostile clients while the run goes on: a header of 1 MiB, 500 connections, a client sending a
# byte a second, paths that climb out. Each gets a short error; the program's threads and open
# files come back to where they were, its memory nearly so, and the run saves on.
threads() { ls "/proc/$APP_PID/task" | wc -l; }
files() { ls "/proc/$APP_PID/fd" | wc -l; }
rss() { awk '/^VmRSS/ { print $2 }' "/proc/$APP_PID/status"; }
threads_before=$(threads)
files_before=$(files)
rss_before=$(rss)
# The address sanitizer keeps freed memory aside for a while (to catch its use), so that a
# program built with it grows by what it allocates, freed or not; its leak checker checks the end.
rss_room=20480
[[ -n ${ASAN_OPTIONS:-} ]] && rss_room=$((4 * rss_room))
taken_before=$(status | field 'd["taken"]')
for path in "/../Web.ini" "/%2e%2e/Web.ini" "/pictures/" "/Config.ini"; do
    code=$(curl -s --path-as-is -o /dev/null -w '%{http_code}' -H "Authorization: Bearer $KEY" "$BASE$path")
    [[ $code == 404 ]] || fail "$path got $code"
done
python3 - "$PORT" <<'CLIENT' || fail "the hostile clients were not turned away"
import socket, sys, time
port = int(sys.argv[1])
big = socket.create_connection(("127.0.0.1", port), timeout=10)
try:
    big.sendall(b"GET /status.json HTTP/1.1\r\nHost: camera\r\nX-Filler: " + b"a" * (1 << 20) + b"\r\n\r\n")
except OSError:
    pass  # turned away before the header was all sent
if not big.recv(100).startswith(b"HTTP/1.1 431"):
    sys.exit("a header of 1 MiB was not refused")
big.close()
held = []
for _ in range(500):
    try:
        held.append(socket.create_connection(("127.0.0.1", port), timeout=2))
    except OSError:
        pass
time.sleep(2)
for s in held:
    s.close()
# The server lets the closed connections go on threads of their own, which a busy machine may
# run late: the slow client comes once a new connection is served again.
deadline = time.monotonic() + 15
while time.monotonic() < deadline:
    try:
        probe = socket.create_connection(("127.0.0.1", port), timeout=2)
        probe.sendall(b"GET /status.json HTTP/1.1\r\nHost: camera\r\n\r\n")
        served = probe.recv(12).startswith(b"HTTP/1.1 401")
        probe.close()
        if served:
            break
    except OSError:
        pass
    time.sleep(0.2)
slow = socket.create_connection(("127.0.0.1", port), timeout=30)
start = time.monotonic()
try:
    for c in b"GET /status.json HTTP/1.1\r\nHost: camera\r\n\r\n":
        slow.send(bytes([c]))
        time.sleep(1)
except OSError:
    pass  # cut off: the request took too long
slow.settimeout(5)
try:
    answer = slow.recv(100)
except OSError:
    answer = b""
took = time.monotonic() - start
# Cut off at the server's limit for one request (10 s), never answered with the run.
if not 8 < took < 16 or b"taken" in answer:
    sys.exit(f"the slow client was cut after {took:.1f} s with {answer!r}")
CLIENT
# A little room: the camera coming back and going again opens and closes a few of its own.
for _ in $(seq 100); do
    [[ $(files) -le $((files_before + 8)) && $(threads) -le $((threads_before + 3)) ]] && break
    sleep 0.1
done
[[ $(files) -le $((files_before + 8)) ]] || fail "open files: $files_before before, $(files) after"
[[ $(threads) -le $((threads_before + 3)) ]] || fail "threads: $threads_before before, $(threads) after"
(($(rss) < rss_before + rss_room)) || fail "memory: ${rss_before} KiB before, $(rss) KiB after"
taken_after=$(status | field 'd["taken"]')
[[ $taken_after -ge $((taken_before + 8)) ]] || fail "the run did not go on: $taken_before pictures before, $taken_after after ($SECONDS s)"

# The page as the program serves it, and a state of the run going, for when it no longer answers.
mkdir "$WORK/replay"
curl -s -H "Authorization: Bearer $KEY" -o "$WORK/replay/page.html" "$BASE/"
curl -s -o "$WORK/replay/page.js" "$BASE/page.js"
curl -s -o "$WORK/replay/page.css" "$BASE/page.css"
status >"$WORK/replay/status.json"
[[ $(field 'd["running"]' <"$WORK/replay/status.json") == True ]] || fail "no run going: $(cat "$WORK/replay/status.json")"

# Guessing: wrong keys are slowed, then the address is refused, the right key too.
for _ in $(seq 10); do
    code=$(curl -s -o /dev/null -w '%{http_code}' -H "Authorization: Bearer ${KEY:0:42}x" "$BASE/status.json")
    [[ $code == 401 ]] || fail "a wrong key got $code"
done
code=$(curl -s -o /dev/null -w '%{http_code}' -H "Authorization: Bearer $KEY" "$BASE/status.json")
[[ $code == 429 ]] || fail "after ten wrong keys the right one got $code"

# The end: the command hears of it too.
kill -TERM "$APP_PID"
wait_exit 15
[[ $STATUS == 0 ]] || fail "the program ended with status $STATUS"
grep -q "LUMIVEX_EVENT=ended" "$EVENTS" || fail "no 'ended' event: $(cat "$EVENTS")"
events=$(grep '^LUMIVEX_EVENT=' "$EVENTS" | cut -d= -f2 | sort -u | tr '\n' ',')
for e in started "camera lost" "camera back" "not saved" ended; do
    [[ ",$events" == *",$e,"* ]] || fail "no '$e' event in: $events"
done
# Pictures not saved: the first of each streak only. How many streaks there were depends on how
# soon the freezer caught each new camera process, so they are counted in the run's log.
streaks=$(awk -F, '$2 == "saved" || $2 == "started" { in_streak = 0 }
                   $2 == "not saved" && !in_streak { n++; in_streak = 1 }
                   END { print n + 0 }' "$run/Run log.csv")
[[ $streaks -ge 1 && $(grep -c '^LUMIVEX_EVENT=not saved$' "$EVENTS") -eq $streaks ]] ||
    fail "$streaks streaks of pictures not saved, but these events: $(grep '^LUMIVEX_EVENT' "$EVENTS")"
grep -q "^LUMIVEX_RUN=${run%/}$" "$EVENTS" || fail "events without the run folder: $(cat "$EVENTS")"
grep -q "^LUMIVEX_PICTURE=${run}Picture [0-9]*\.bmp$" "$EVENTS" || fail "events without the picture: $(cat "$EVENTS")"
# A program that stops answering: the page keeps its figures, says when it last heard from the
# program, and no longer claims the run is going; once the program answers again, that goes. The
# page is served as the program served it; its status is answered in turn ("ok": as the program
# answered, "none": the connection closed unanswered, "refused": the key is no longer taken).
REPLAY_PORT=$(free_port)
replay() { # ANSWER... (BUDGET ms): the page's DOM
    python3 - "$REPLAY_PORT" "$WORK/replay" "$@" <<'SERVER' &
import http.server, sys
port, folder, answers = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
files = {"/": ("page.html", "text/html"), "/page.js": ("page.js", "text/javascript"),
         "/page.css": ("page.css", "text/css"), "/status.json": ("status.json", "application/json")}
class Page(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        path = self.path.split("?")[0]
        answer = (answers.pop(0) if answers else "none") if path == "/status.json" else "ok"
        if answer == "none":
            self.close_connection = True
            return
        if answer == "refused":
            self.send_error(401)
            return
        if path not in files:
            self.send_error(404)
            return
        name, kind = files[path]
        with open(f"{folder}/{name}", "rb") as f:
            body = f.read()
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
http.server.HTTPServer(("127.0.0.1", port), Page).serve_forever()
SERVER
    local server=$!
    for _ in $(seq 50); do
        curl -s -o /dev/null "http://127.0.0.1:$REPLAY_PORT/page.css" && break
        sleep 0.1
    done
    chrome "http://127.0.0.1:$REPLAY_PORT/" || true
    kill "$server"
    wait "$server" 2>/dev/null || true
}
taken=$(field 'd["taken"]' <"$WORK/replay/status.json")
dom=$(BUDGET=5000 replay ok none)
heard=$(sed -n 's/.*Last heard from the program at \([0-9][0-9]:[0-9][0-9]:[0-9][0-9]\); it does not answer now\..*/\1/p' <<<"$dom")
[[ -n "$heard" ]] || fail "no word of the program not answering: $dom"
[[ "$dom" == *"<dd id=\"state\">Running? (not heard from since $heard)</dd>"* ]] || fail "the state still claims the run: $dom"
[[ "$dom" == *"<dd id=\"count\">$taken</dd>"* ]] || fail "the figures went with the answers: $dom"
# A key renewed meanwhile: the page stops asking, and no longer claims the run either.
dom=$(BUDGET=5000 replay ok refused)
[[ "$dom" == *"This link no longer works"* && "$dom" == *"<dd id=\"state\">Running? (not heard from since "* ]] ||
    fail "a refused link still claims the run: $dom"
dom=$(BUDGET=8000 replay ok none ok)
[[ "$dom" == *'<dd id="state">Running</dd>'* && "$dom" == *'<p id="problem" role="alert"></p>'* && "$dom" != *stale* ]] ||
    fail "the mark stayed once the program answered again: $dom"
echo "ok: the run's page in a browser, with and without its key, and when the program does not answer; the command on every event"

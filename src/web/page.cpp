#include "web/page.h"

namespace web::page {

const QByteArray Html = R"page(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Webcam Lumivex</title>
<link rel="stylesheet" href="/page.css">
<script src="/page.js" defer></script>
</head>
<body>
<h1>Webcam Lumivex</h1>
<img id="picture" alt="The latest picture">
<p id="taken">No picture yet</p>
<dl>
<dt>State</dt><dd id="state">Asking the program&hellip;</dd>
<dt>Running since</dt><dd id="since">&ndash;</dd>
<dt>Pictures taken</dt><dd id="count">&ndash;</dd>
<dt>Not saved</dt><dd id="notSaved">&ndash;</dd>
<dt>Camera</dt><dd id="camera">&ndash;</dd>
<dt>Next picture due</dt><dd id="nextDue">&ndash;</dd>
<dt>Disk full in</dt><dd id="disk">&ndash;</dd>
<dt>Stopped</dt><dd id="stopped">&ndash;</dd>
</dl>
<p id="problem" role="alert"></p>
</body>
</html>
)page";

const QByteArray Script = R"page("use strict";
// The key came in the link and is in the cookie now: it leaves the address bar and the history.
history.replaceState(null, "", "/");
const field = (id) => document.getElementById(id);
const when = (t) => (t ? new Date(t).toLocaleString() : "\u2013");
const two = (n) => String(n).padStart(2, "0");
const clock = (d) => two(d.getHours()) + ":" + two(d.getMinutes()) + ":" + two(d.getSeconds());
const picture = field("picture");
let asked = 0;
let heard = null; // when the program last answered, by this browser's clock
let last = null; // what it said then
picture.addEventListener("load", () => {
  picture.dataset.shown = String(asked);
});
function show(s) {
  field("state").textContent = s.running ? "Running" : "Not running";
  field("since").textContent = s.running ? when(s.since) : "\u2013";
  field("count").textContent = String(s.taken);
  field("notSaved").textContent =
    s.notSaved > 0 ? s.notSaved + " (last: " + s.lastReason + ")" : "0";
  field("camera").textContent =
    s.camera === "lost" ? "Camera lost: " + s.cameraReason : "Working";
  field("nextDue").textContent = when(s.nextDue);
  field("disk").textContent = s.diskFullIn || "\u2013";
  field("stopped").textContent =
    !s.running && s.stoppedAt ? when(s.stoppedAt) + ": " + s.stopReason : "\u2013";
  if (s.latest) {
    field("taken").textContent =
      "Picture " + s.latest.number + ", taken " + when(s.latest.captured);
    if (s.latest.number !== asked) {
      asked = s.latest.number;
      picture.src = "/latest.jpg?picture=" + asked;
    }
  }
}
// No answer, or none this link may have: the figures stay, marked as old, and "Running" is no
// longer claimed.
function showUnheard(problem) {
  document.body.classList.toggle("stale", heard !== null);
  if (heard === null) {
    field("problem").textContent = problem || "The program does not answer.";
    return;
  }
  const at = clock(heard);
  field("problem").textContent =
    problem || "Last heard from the program at " + at + "; it does not answer now.";
  if (last.running) field("state").textContent = "Running? (not heard from since " + at + ")";
}
async function refresh() {
  // A program that hangs keeps the connection open: its silence counts as no answer.
  const abort = new AbortController();
  const late = setTimeout(() => abort.abort(), 10000);
  try {
    const answer = await fetch("/status.json", {
      cache: "no-store",
      credentials: "same-origin",
      signal: abort.signal,
    });
    if (answer.status === 401 || answer.status === 429) {
      // A key renewed in the program: only a new link helps, and asking on would count as guessing.
      showUnheard("This link no longer works: ask the program for its new link.");
      return;
    }
    if (!answer.ok) throw new Error(String(answer.status));
    const s = await answer.json();
    show(s);
    heard = new Date();
    last = s;
    document.body.classList.remove("stale");
    field("problem").textContent = "";
  } catch (e) {
    showUnheard();
  } finally {
    clearTimeout(late);
  }
  // Asked again once this answer is in, so that slow answers never pile up.
  setTimeout(refresh, 3000);
}
refresh();
)page";

const QByteArray Style = R"page(body { font-family: sans-serif; margin: 0.5em; max-width: 40em; }
h1 { font-size: 1.2em; margin: 0 0 0.4em; }
img { display: block; width: 100%; height: auto; background: #ddd; min-height: 3em; }
dl { display: grid; grid-template-columns: auto 1fr; gap: 0.2em 0.8em; }
dt { font-weight: bold; }
dd { margin: 0; }
#problem { color: #b00; }
.stale dl, .stale #taken, .stale img { opacity: 0.5; }
)page";

const QByteArray KeyNeeded = R"page(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Webcam Lumivex</title>
</head>
<body>
<h1>Webcam Lumivex</h1>
<p>This page needs its link with the key: the program's window shows it under Look in&hellip;</p>
</body>
</html>
)page";

} // namespace web::page

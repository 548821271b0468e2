"""Drives the running program through the accessibility interface, as a screen reader or a UI
automation tool would: finds controls by role and name, reads and sets their values, presses
buttons."""
import subprocess
import sys
import time

import pyatspi
from atspi_common import find_app

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)


def find(root, role, name=None):
    return pyatspi.findDescendant(
        root, lambda a: a.getRoleName() == role and (name is None or a.name == name))


def press(button):
    action = button.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("Press", "press", "click"):
            action.doAction(i)
            return
    action.doAction(0)


def set_text(field, text):
    editable = field.queryEditableText()
    editable.setTextContents(text)


def text_of(field):
    t = field.queryText()
    return t.getText(0, -1)


def wait_for(predicate, seconds=10):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if predicate():
            return True
        time.sleep(0.1)
    return False


# A dialog of the program, by its title.
def dialog_named(title):
    for a in pyatspi.Registry.getDesktop(0):
        if a is not None and a.name == "Webcam Lumivex":
            box = find(a, "dialog", title) or find(a, "alert", title)
            if box is not None:
                return box
    return None


app = find_app("Webcam Lumivex")
window = find(app, "frame", "Webcam Lumivex v0.03")
check(window is not None, "the main window is a frame named 'Webcam Lumivex v0.03'")
if window is None:
    sys.exit(1)

for name in ("Camera view", "Camera preview"):
    check(pyatspi.findDescendant(window, lambda a: a.name == name) is not None,
          f"the '{name}' is named for screen readers")

for frame in ("Panel", "Settings", "Calculation", "Stop", "Status"):
    check(find(window, "panel", frame) is not None, f"frame '{frame}' is there")

interval = find(window, "text", "Interval")
check(interval is not None and text_of(interval) == "10", "the interval box reads 10")
stop_at = find(window, "text", "Pictures to stop after")
check(stop_at is not None and text_of(stop_at) == "50", "the stop count box reads 50")
check(find(window, "label", "6") is not None, "photos per minute read 6")

# Typing a new interval recomputes the plan.
set_text(interval, "7")
check(wait_for(lambda: find(window, "label", "8.57142857142857") is not None),
      "interval 7 gives 8.57142857142857 photos per minute")
set_text(interval, "1")

# The pictures' format and stamp. Qt's combo box offers no action that sets it, so it is set as
# a keyboard user would: from the time stamp box (focused through its action), Shift+Tab to the
# format, then Down from BMP to PNG.
save_as = find(window, "combo box")
check(save_as is not None and save_as.name == "BMP" and save_as.description != "",
      "the format box reads BMP and says what it is")
stamp = find(window, "check box", "Time stamp")
check(stamp is not None and not stamp.getState().contains(pyatspi.STATE_CHECKED),
      "the time stamp box is there, off")
if save_as is not None and stamp is not None:
    window_id = subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                                "^Webcam Lumivex v0.03$"], capture_output=True,
                               text=True).stdout.split()[0]
    subprocess.run(["xdotool", "windowfocus", "--sync", window_id], check=False)
    actions = stamp.queryAction()
    actions.doAction([actions.getName(i) for i in range(actions.nActions)].index("SetFocus"))
    check(wait_for(lambda: stamp.getState().contains(pyatspi.STATE_FOCUSED)),
          "the time stamp box takes the focus")
    subprocess.run(["xdotool", "key", "shift+Tab", "Down"], check=True)
    check(wait_for(lambda: save_as.name == "PNG"), "Shift+Tab, Down choose PNG")
    press(stamp)
    check(wait_for(lambda: stamp.getState().contains(pyatspi.STATE_CHECKED)),
          "the time stamp is switched on")
# For PNG the estimate waits for a trial save of the current frame.
disk = pyatspi.findDescendant(window, lambda a: (a.name or "").startswith("Disk full in: "))
check(disk is not None and wait_for(lambda: disk.name != "Disk full in: unknown"),
      "the disk estimate reads 'Disk full in: ...'")
if disk is not None:
    print("disk:", disk.name)

# The active hours: their dialog opens from the window and closes again, changing nothing.
hours = find(window, "push button", "Hours\u2026")
check(hours is not None and hours.getState().contains(pyatspi.STATE_ENABLED),
      "'Hours\u2026' is there and enabled while idle")
look_in = find(window, "push button", "Look in\u2026")
check(look_in is None or not look_in.getState().contains(pyatspi.STATE_SHOWING),
      "'Look in\u2026' is not offered while the run's page is off")
if hours is not None:
    press(hours)
    check(wait_for(lambda: dialog_named("Hours") is not None), "the 'Hours' dialog opens")
    box = dialog_named("Hours")
    if box is not None:
        check(pyatspi.findDescendant(box, lambda a: (a.name or "").startswith("Today: "))
              is not None, "the dialog reads today's hours")
        press(find(box, "push button", "Cancel"))
        check(wait_for(lambda: dialog_named("Hours") is None), "Cancel closes it")

start = find(window, "push button", "Start Timer")
stop = find(window, "push button", "Stop Timer")
take = find(window, "push button", "Take Picture")
status = find(window, "panel", "Status")
check(not stop.getState().contains(pyatspi.STATE_ENABLED), "Stop Timer is disabled while idle")
check(find(status, "label", "Off") is not None, "the timer reads Off")

press(start)
check(wait_for(lambda: find(status, "label", "On") is not None), "the timer reads On after Start")
check(not interval.getState().contains(pyatspi.STATE_ENABLED), "the interval box is disabled")
check(save_as is None or not save_as.getState().contains(pyatspi.STATE_ENABLED),
      "the format box is disabled while running")
press(take)
check(wait_for(lambda: find(status, "label", "1") is not None), "a picture on demand is counted")
times = pyatspi.findDescendant(window, lambda a: (a.name or "").startswith("Started "))
check(times is not None and wait_for(lambda: "last picture" in times.name
                                     and "Next picture at" in times.name),
      "the run's times read 'Started ..., last picture ... Next picture at ...'")
folder = find(window, "push button", "Folder\u2026")
check(folder is not None and folder.getState().contains(pyatspi.STATE_ENABLED)
      and "pictures" in folder.description, "'Folder\u2026' is enabled and names the run's folder")
press(stop)

def info_box():
    return dialog_named("Info")


def read_and_close_info(text, what, seconds=10):
    """Waits for the 'Info' message, checks that it says `text`, and closes it with OK."""
    check(wait_for(lambda: info_box() is not None, seconds), "the 'Info' message shows")
    box = info_box()
    if box is None:
        return
    message = pyatspi.findDescendant(box, lambda a: a.getRoleName() == "label"
                                     and text in (a.name or ""))
    check(message is not None, what)
    if message is not None:
        print("message:", message.name)
    ok = find(box, "push button", "OK")
    check(ok is not None, "the message has an OK button")
    if ok is not None:
        press(ok)


read_and_close_info("picture(s) taken.", "the message tells how many pictures were taken")
check(wait_for(lambda: find(status, "label", "Off") is not None), "back to Off after the message")

# A timelapse video of that run, made through the window.
make = find(window, "push button", "Make Video\u2026")
check(make is not None and make.getState().contains(pyatspi.STATE_ENABLED),
      "'Make Video\u2026' is there and enabled while idle")
if make is not None:
    press(make)
    check(wait_for(lambda: dialog_named("Make Video") is not None), "the 'Make Video' dialog opens")
    chooser = dialog_named("Make Video")
    if chooser is not None:
        check(pyatspi.findDescendant(chooser, lambda a: "1 picture(s)" in (a.name or ""))
              is not None, "the dialog counts the run's one picture")
        press(find(chooser, "push button", "OK"))
        read_and_close_info(".mp4", "the message names the video file", 60)

if failures:
    sys.exit(1)
print("ok: the window works through the accessibility interface")

"""Reads the running program through the accessibility interface, for the device tests.
    atspi.py formats          the format dialog's list, one item a line; the current one starts '*'
    atspi.py message TITLE    the text of the message box with that title, once it shows
"""
import sys
import time

import pyatspi


def find_app(name="Webcam Lumivex", seconds=30):
    deadline = time.time() + seconds
    while time.time() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == name:
                return app
        time.sleep(0.2)
    sys.exit(f"no application '{name}' on the accessibility bus")


def find_window(title, seconds=30):
    deadline = time.time() + seconds
    while time.time() < deadline:
        app = find_app()
        window = pyatspi.findDescendant(
            app, lambda a: a.getRoleName() in ("dialog", "alert", "frame") and a.name == title)
        if window is not None:
            return window
        time.sleep(0.2)
    sys.exit(f"no window '{title}'")


def formats():
    dialog = find_window("Video Format")
    listing = pyatspi.findDescendant(dialog, lambda a: a.name == "Video formats")
    if listing is None:
        sys.exit("the format dialog has no list 'Video formats'")
    for item in listing:
        if item is None or item.getRoleName() != "list item":
            continue
        states = item.getState()
        current = states.contains(pyatspi.STATE_SELECTED) or states.contains(pyatspi.STATE_FOCUSED)
        print(("* " if current else "  ") + item.name)


def message(title):
    box = find_window(title)
    texts = [a.name for a in pyatspi.findAllDescendants(box, lambda a: a.getRoleName() == "label")]
    print("\n".join(t for t in texts if t))


if sys.argv[1] == "formats":
    formats()
elif sys.argv[1] == "message":
    message(sys.argv[2])
else:
    sys.exit(__doc__)

"""What the accessibility scripts of the end-to-end and device tests share."""
import sys
import time

import pyatspi


def find_app(name="Webcam Lumivex", seconds=30):
    """The program's application on the accessibility bus, once it is there."""
    deadline = time.time() + seconds
    while time.time() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == name:
                return app
        time.sleep(0.2)
    sys.exit(f"FAIL: no application '{name}' on the accessibility bus")

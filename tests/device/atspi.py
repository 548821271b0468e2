"""Reads and drives the running program through the accessibility interface, for the device
tests.
    atspi.py formats            the format dialog's list, one item a line
    atspi.py message TITLE      the text of the message box with that title, once it shows
    atspi.py press NAME         presses the main window's button NAME
    atspi.py sliders            the Camera Settings dialog's sliders: "name min max value" a line
    atspi.py slide NAME VALUE   sets that dialog's slider NAME to VALUE
    atspi.py tick NAME on|off   sets that dialog's check box NAME
    atspi.py close TITLE        closes the dialog with that title (its Close button)
"""
import os
import sys
import time

import pyatspi

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from atspi_common import find_app  # noqa: E402


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


def names_of_children(accessible):
    """The names of all children, asked for all at once: one by one, a list of a thousand formats
    takes minutes in the emulated test machine."""
    from gi.repository import Gio, GLib

    session = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    address = session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                                None, GLib.VariantType("(s)"), 0, -1, None).unpack()[0]
    bus = Gio.DBusConnection.new_for_address_sync(
        address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
        | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
    owner = accessible.app.bus_name
    children = bus.call_sync(owner, accessible.path, "org.a11y.atspi.Accessible", "GetChildren",
                             None, GLib.VariantType("(a(so))"), 0, -1, None).unpack()[0]
    names = [None] * len(children)
    loop = GLib.MainLoop()
    pending = [len(children)]

    def done(connection, result, index):
        names[index] = connection.call_finish(result).unpack()[0]
        pending[0] -= 1
        if pending[0] == 0:
            loop.quit()

    for index, (child_owner, path) in enumerate(children):
        bus.call(child_owner, path, "org.freedesktop.DBus.Properties", "Get",
                 GLib.Variant("(ss)", ("org.a11y.atspi.Accessible", "Name")),
                 GLib.VariantType("(v)"), 0, 60000, None, done, index)
    if children:
        loop.run()
    return names


def formats(seconds=60):
    dialog = find_window("Video Format")
    listing = pyatspi.findDescendant(dialog, lambda a: a.name == "Video formats")
    if listing is None:
        sys.exit("the format dialog has no list 'Video formats'")
    # The dialog comes up while the camera opens, and lists the formats once it has.
    deadline = time.time() + seconds
    names = names_of_children(listing)
    while names == ["Opening the camera…"] and time.time() < deadline:
        time.sleep(0.2)
        names = names_of_children(listing)
    for name in names:
        print(name)


def message(title):
    box = find_window(title)
    texts = [a.name for a in pyatspi.findAllDescendants(box, lambda a: a.getRoleName() == "label")]
    print("\n".join(t for t in texts if t))


def do_action(accessible, names):
    action = accessible.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in names:
            action.doAction(i)
            return
    action.doAction(0)


def named(root, role, name):
    found = pyatspi.findDescendant(root, lambda a: a.getRoleName() == role and a.name == name)
    if found is None:
        sys.exit(f"no {role} '{name}'")
    return found


def press(name):
    window = find_window("Webcam Lumivex v0.03")
    do_action(named(window, "push button", name), ("Press", "press", "click"))


def sliders():
    dialog = find_window("Camera Settings")
    for slider in pyatspi.findAllDescendants(dialog, lambda a: a.getRoleName() == "slider"):
        value = slider.queryValue()
        print(f"{slider.name}\t{int(value.minimumValue)}\t{int(value.maximumValue)}\t"
              f"{int(value.currentValue)}")


def slide(name, value):
    named(find_window("Camera Settings"), "slider", name).queryValue().currentValue = float(value)


def tick(name, on):
    box = named(find_window("Camera Settings"), "check box", name)
    if box.getState().contains(pyatspi.STATE_CHECKED) != (on == "on"):
        do_action(box, ("Toggle", "toggle", "Press", "press", "click"))


def close(title):
    do_action(named(find_window(title), "push button", "Close"), ("Press", "press", "click"))


commands = {"formats": formats, "message": message, "press": press, "sliders": sliders,
            "slide": slide, "tick": tick, "close": close}
if len(sys.argv) < 2 or sys.argv[1] not in commands:
    sys.exit(__doc__)
commands[sys.argv[1]](*sys.argv[2:])

"""Reads the running program through the accessibility interface, for the device tests.
    atspi.py formats          the format dialog's list, one item a line
    atspi.py message TITLE    the text of the message box with that title, once it shows
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


def formats():
    dialog = find_window("Video Format")
    listing = pyatspi.findDescendant(dialog, lambda a: a.name == "Video formats")
    if listing is None:
        sys.exit("the format dialog has no list 'Video formats'")
    for name in names_of_children(listing):
        print(name)


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

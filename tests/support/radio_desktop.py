# SPDX-License-Identifier: GPL-3.0-or-later
"""tavimor-radio on a desktop, as a person and a screen reader meet it: over the accessibility
bus (AT-SPI) every control of its window has a name, its "Stations" list shows both stations of
the recording, the second is chosen with the keyboard, and the monitor then shows that station's
name; then the window is closed as a window manager closes it (or, with "interrupt", nothing is
closed: the test sends Ctrl-C's signal).

Usage: radio_desktop.py close|interrupt RADIO_PID   (exit 0 when everything was seen)"""
import faulthandler
import sys
import time

import pyatspi
from Xlib import X, display, protocol

# Roles a person operates or reads: each must be named for a screen reader.
CONTROLS = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_TABLE,
    pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_LIST, pyatspi.ROLE_TREE, pyatspi.ROLE_COMBO_BOX,
    pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_SLIDER,
}


def wait_for(what, find, seconds=60):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            found = find()
        except Exception:  # an object that went away while it was read
            found = None
        if found:
            return found
        time.sleep(0.2)
    sys.exit(f"FAILED: {what} within {seconds} s")


def application(name):
    desktop = pyatspi.Registry.getDesktop(0)
    return next((app for app in desktop if app is not None and app.name == name), None)


def walk(node):
    yield node
    for child in node:
        if child is not None:
            yield from walk(child)


def find(root, predicate):
    return next((node for node in walk(root) if predicate(node)), None)


def station_names(stations):
    table = stations.queryTable()
    return [table.getAccessibleAt(row, 0).name for row in range(table.nRows)]


def radio_window(screen, pid):
    pid_atom = screen.intern_atom("_NET_WM_PID")
    for window in screen.screen().root.query_tree().children:
        owner = window.get_full_property(pid_atom, X.AnyPropertyType)
        name = window.get_wm_name()
        if owner is not None and owner.value[0] == pid and name and name.startswith("Tavimor"):
            return window
    sys.exit("FAILED: no window of the radio")


# What a window manager does when the window is clicked, or its close button.
def raise_window(pid):
    screen = display.Display()
    window = radio_window(screen, pid)
    window.configure(stack_mode=X.Above)
    window.set_input_focus(X.RevertToParent, X.CurrentTime)
    screen.sync()


def close_window(pid):
    screen = display.Display()
    window = radio_window(screen, pid)
    protocols = screen.intern_atom("WM_PROTOCOLS")
    delete = screen.intern_atom("WM_DELETE_WINDOW")
    window.send_event(protocol.event.ClientMessage(window=window, client_type=protocols,
                                                   data=(32, [delete, X.CurrentTime, 0, 0, 0])))
    screen.flush()


def main():
    # A call into the accessibility bus or the display has no time limit of its own: a hang is
    # told with where it hung, well within the test's time.
    faulthandler.dump_traceback_later(240, exit=True)
    mode, pid = sys.argv[1], int(sys.argv[2])
    radio = wait_for("the radio on the accessibility bus", lambda: application("Tavimor Radio"))
    stations = wait_for("a list named Stations", lambda: find(
        radio, lambda node: node.name == "Stations" and node.getRole() in CONTROLS))
    wait_for("both stations listed, the first by name", lambda: station_names(stations)[0:1] == [
        "ORVENTA "] and len(station_names(stations)) == 2)
    unnamed = [f"{node.getRoleName()} in {node.parent.name or node.parent.getRoleName()}"
               for node in walk(radio) if node.getRole() in CONTROLS and not node.name
               and node.parent.getRole() not in (pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE)]
    if unnamed:
        sys.exit("FAILED: controls without a name: " + ", ".join(unnamed))
    monitor = wait_for("the monitor on the accessibility bus", lambda: application("Tavimor"))
    wait_for("the monitor showing ORVENTA", lambda: find(monitor, lambda n: n.name == "ORVENTA "))
    # Into the list, one row down, Enter: as a person at the keyboard.
    raise_window(pid)
    stations.queryComponent().grabFocus()
    time.sleep(0.5)
    for key in (0xFF54, 0xFF0D):  # Down, Return
        pyatspi.Registry.generateKeyboardEvent(key, None, pyatspi.KEY_SYM)
        time.sleep(0.2)
    wait_for("the monitor showing NORDWELL", lambda: find(monitor, lambda n: n.name == "NORDWELL"))
    if mode == "close":
        close_window(pid)
    print("seen: both stations listed, every control named, NORDWELL chosen by keyboard")


main()

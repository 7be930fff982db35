#!/usr/bin/python3
"""Meets the download window as a screen reader does, through the accessibility bus (AT-SPI) of
the session, on X and on Wayland alike.

  atspi_window.py READY RUN  listens to what a screen reader hears, creates READY, then waits
                             for the window of the one program that the test starts and follows
                             it through the run RUN (below); prints the window's accessible tree
                             and the events, and exits 1 with the reasons when the window
                             falls short.

RUN "FailedUnzip": the run goes Downloading, Initializing the installer, "Failed to unzip the
installer."; the window is then closed with Tab and Return where a keyboard reaches it (the
window is active: on X), else with its button's action (Close). RUN "Cancel": once the
bar shows the download going, the window is closed with the close control of its title bar
where the window draws one (on Wayland), else with its button's action (Cancel; on X the window
manager draws the title bar, out of the window's reach). RUN "Close": once the window shows the
failure, it is closed as in "FailedUnzip", and nothing else is checked (the window's pixels are
the test's).

  atspi_window.py READY Read BUTTON  waits until the window's button is named BUTTON (a failure's
                             Close, in the window's language), prints the window's accessible
                             tree and on which side of the window's centre the button stands,
                             and closes the window with the button's action; checks nothing.

The window's own controls are read apart from its title bar (a panel), which holds the title
and the close control.
"""
import os
import re
import sys
import time

import pyatspi
from gi.repository import GLib

FAILED = "Failed to unzip the installer."
PHASES = ["Downloading", "Initializing the installer", FAILED]
EVENTS = ["object:announcement", "object:property-change:accessible-description",
          "object:state-changed:focused"]
TIMEOUT_SECONDS = 30
TAB, RETURN = 0xFF09, 0xFF0D  # key symbols


def soon(condition, seconds=5):
    """Whether the condition holds within the time, asked every 50 ms."""
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


def describe(node):
    """'role "name"' of an accessible."""
    return '%s "%s"' % (node.getRoleName(), node.name)


def children(node):
    return [node.getChildAtIndex(i) for i in range(node.childCount)]


def walk(node, title_bar=False):
    """The node and those under it; under a panel (the title bar) only when `title_bar`."""
    yield node
    for child in children(node):
        if title_bar or child.getRole() != pyatspi.ROLE_PANEL:
            yield from walk(child, title_bar)


def relations(node):
    found = []
    for relation in node.getRelationSet():
        name = pyatspi.relationToString(relation.getRelationType()).lower()
        for i in range(relation.getNTargets()):
            found.append("%s %s" % (name, describe(relation.getTarget(i))))
    return found


def tree_lines(frame):
    lines = []
    for node in walk(frame):
        if node.getRole() == pyatspi.ROLE_FILLER:
            continue  # layout boxes, which screen readers pass over
        line = describe(node)
        states = node.getState()
        if node.getRole() == pyatspi.ROLE_FRAME:
            line += " active" if states.contains(pyatspi.STATE_ACTIVE) else " inactive"
        if node.getRole() == pyatspi.ROLE_PROGRESS_BAR:
            line += " value %g of %g" % (node.queryValue().currentValue,
                                         node.queryValue().maximumValue)
        if node.getRole() == pyatspi.ROLE_PUSH_BUTTON:
            line += " %s" % ("enabled" if states.contains(pyatspi.STATE_ENABLED) else "disabled")
        if states.contains(pyatspi.STATE_FOCUSED):
            line += " focused"
        if node.description:
            line += ' description "%s"' % node.description
        lines.append("  " + line + "".join("\n    " + r for r in relations(node)))
    return lines


class Watcher:
    def __init__(self, run):
        self.run = run
        self.events = []
        self.bar_values = set()
        self.frame = None
        self.tree = None
        self.deadline = time.monotonic() + TIMEOUT_SECONDS
        self.failures = []
        self.closed_with = None

    def on_event(self, event):
        detail = event.any_data if isinstance(event.any_data, str) else event.detail1
        self.events.append("%s from %s: %s" % (event.type, describe(event.source), detail))

    def find(self, role, frame=None):
        for node in walk(frame or self.frame):
            if node.getRole() == role:
                return node
        return None

    def find_frame(self):
        desktop = pyatspi.Registry.getDesktop(0)
        for app in children(desktop):
            if app is None or app.get_process_id() == os.getpid():
                continue
            for child in children(app):
                if child.getRole() == pyatspi.ROLE_FRAME:
                    return child
        return None

    def tick(self):
        if time.monotonic() > self.deadline:
            self.failures.append("timed out; the window said: %s" % self.status_text())
            pyatspi.Registry.stop()
            return False
        try:
            return self.step()
        except Exception as error:  # pylint: disable=broad-except
            if self.tree is None:
                return True  # the window is still being made, or already gone: look again
            self.failures.append("cannot read the window: %s" % error)
            pyatspi.Registry.stop()
            return False

    def status_text(self):
        label = self.frame and self.find(pyatspi.ROLE_LABEL)
        return label.name if label else None

    def step(self):
        if self.frame is None:
            self.frame = self.find_frame()
            return True
        # Read afresh: a client's cache can miss a change (the title bar that the window adds to
        # itself on Wayland).
        self.frame.clearCache()
        bar = self.find(pyatspi.ROLE_PROGRESS_BAR)
        value = bar.queryValue()
        self.bar_values.add(value.currentValue / (value.maximumValue or 1))
        button = self.find(pyatspi.ROLE_PUSH_BUTTON)
        if self.run == "Read":
            if button.name != sys.argv[3]:
                return True
            self.tree = tree_lines(self.frame)
            frame = self.frame.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
            box = button.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
            side = "left" if box.x + box.width / 2 < frame.x + frame.width / 2 else "right"
            self.tree.append("  the button is %s of the centre" % side)
            button.queryAction().doAction(0)
            return self.wait_for_the_end()
        if self.run == "Cancel":
            if not any(0 < value < 1 for value in self.bar_values):
                return True
            self.tree = tree_lines(self.frame)
            self.close_window(button)
            return self.wait_for_the_end()
        if self.status_text() != FAILED or not button.getState().contains(pyatspi.STATE_ENABLED):
            return True
        focused = lambda: button.getState().contains(pyatspi.STATE_FOCUSED)
        active = self.frame.getState().contains(pyatspi.STATE_ACTIVE)
        if active:
            soon(focused)  # the focus follows the button's return, however loaded the machine
        self.tree = tree_lines(self.frame)
        if active:
            # A keyboard reaches the window: Tab keeps the focus on its one control, and Return
            # presses it, as a person would.
            pyatspi.Registry.generateKeyboardEvent(TAB, None, pyatspi.KEY_SYM)
            time.sleep(0.3)
            if not soon(focused):
                self.failures.append("Tab took the focus off the button")
            pyatspi.Registry.generateKeyboardEvent(RETURN, None, pyatspi.KEY_SYM)
            self.closed_with = "Return"
        else:
            button.queryAction().doAction(0)
            self.closed_with = describe(button) + "'s action"
        return self.wait_for_the_end()

    def close_window(self, button):
        title_bar = [node for node in walk(self.frame, title_bar=True)
                     if node.getRole() == pyatspi.ROLE_PUSH_BUTTON and node != button]
        if os.environ.get("WAYLAND_DISPLAY") and not title_bar:
            self.failures.append("the window on Wayland shows no close control of its own")
        self.closed_with = describe((title_bar or [button])[0])
        (title_bar or [button])[0].queryAction().doAction(0)

    def wait_for_the_end(self):
        GLib.timeout_add(500, pyatspi.Registry.stop)
        return False

    def check(self):
        if self.run in ("Close", "Read"):
            return
        tree = "\n".join(self.tree or [])
        expected = ['progress bar "Download progress"', "described by label",
                    'label "', "description for progress bar", 'push button "']
        self.failures += ["the tree lacks %r" % part for part in expected if part not in tree]
        if 'icon ""' in tree or 'image ""' in tree:
            self.failures.append("the splash has no name")
        if not any(0 < value < 1 for value in self.bar_values):
            self.failures.append("the bar never showed a value of the download: %s"
                                 % sorted(self.bar_values))
        ties = [r'described by label "\d+ bytes of ', r'label "\d+ bytes of [^"]+"\n +description for']
        if self.run == "Cancel" and not all(re.search(tie, tree) for tie in ties):
            self.failures.append("the size line does not describe the bar mid-download")
        if self.run == "FailedUnzip":
            spoken = [e for e in self.events if e.startswith(
                ("object:announcement", "object:property-change:accessible-description"))]
            for phase in PHASES:
                if not any(e.endswith(": " + phase) for e in spoken):
                    self.failures.append("%r was not announced" % phase)
            # The size line changes a few times a second: read with the bar, never spoken.
            self.failures += ["announced: " + e for e in spoken if " of " in e]
            # Only an active window has a focused control: a display without a keyboard (the
            # headless compositor's) activates no window.
            if " active" in tree and "enabled focused" not in tree:
                self.failures.append("the button, enabled again, does not hold the focus")
            focused = [i for i, e in enumerate(self.events)
                       if e.startswith("object:state-changed:focused from push button")
                       and e.endswith(": 1")]
            unpacking = [i for i, e in enumerate(self.events) if e.endswith(": " + PHASES[1])]
            if " active" in tree and not (focused and unpacking and focused[0] < unpacking[0]):
                self.failures.append("the button did not hold the focus from the start")


def main():
    ready, run = sys.argv[1], sys.argv[2]
    watcher = Watcher(run)
    for event in EVENTS:
        pyatspi.Registry.registerEventListener(watcher.on_event, event)
    open(ready, "w", encoding="utf-8").close()
    GLib.timeout_add(50, watcher.tick)
    pyatspi.Registry.start()
    watcher.check()
    print("The window as a screen reader gets it:")
    print("\n".join(watcher.tree or ["  (never read)"]))
    if watcher.closed_with:
        print("Closed with " + watcher.closed_with)
    print("Events:")
    print("\n".join("  " + e for e in watcher.events))
    for failure in watcher.failures:
        print("FAILED: " + failure)
    sys.exit(1 if watcher.failures else 0)


main()

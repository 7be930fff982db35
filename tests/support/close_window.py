#!/usr/bin/python3
"""Asks the window given by its id to close, as a window manager's close control does: a
WM_DELETE_WINDOW message of the WM_PROTOCOLS client message, sent to the window itself."""
import sys

from Xlib import X, display
from Xlib.protocol import event

connection = display.Display()
window = connection.create_resource_object("window", int(sys.argv[1], 0))
message = event.ClientMessage(
    window=window,
    client_type=connection.intern_atom("WM_PROTOCOLS"),
    data=(32, [connection.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
window.send_event(message)
connection.sync()

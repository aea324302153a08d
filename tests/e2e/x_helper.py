#!/usr/bin/python3
"""What the end-to-end test needs from an X desktop that Xvfb alone lacks.
  x_helper.py close WINDOW       closes it as a window manager does (WM_DELETE_WINDOW), then
                                 reports where it went until it was destroyed
  x_helper.py clipboard-manager  takes the clipboard over when its owner ends (SAVE_TARGETS)
"""
import signal
import sys

from Xlib import X, display, error
from Xlib.protocol import event

d = display.Display()
root = d.screen().root
atom = d.intern_atom


def close(window):
    def where():  # on the screen, in a window manager's frame or not
        at = root.translate_coords(window, 0, 0)
        return at.x, at.y

    window.change_attributes(event_mask=X.StructureNotifyMask)
    (x, y), size = where(), window.get_geometry()
    width, height, configures = size.width, size.height, 0
    print("before", x, y, width, height)
    message = [atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]
    window.send_event(event.ClientMessage(window=window, client_type=atom("WM_PROTOCOLS"),
                                          data=(32, message)))
    signal.alarm(20)  # a close that never ends ends the helper, without an "after" line
    while (e := d.next_event()).type != X.DestroyNotify:
        if e.type == X.ConfigureNotify:
            configures, width, height = configures + 1, min(width, e.width), min(height, e.height)
            try:
                x, y = where()
            except error.BadWindow:  # gone meanwhile
                pass
    print("after", x, y, "smallest", width, height, "configures", configures)


def clipboard_manager():
    window = root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
    manager, clipboard, utf8 = atom("CLIPBOARD_MANAGER"), atom("CLIPBOARD"), atom("UTF8_STRING")
    window.set_selection_owner(manager, X.CurrentTime)
    if d.get_selection_owner(manager) != window:
        sys.exit("another clipboard manager runs")
    print("ready", flush=True)
    text, holding = b"", False
    while True:
        e = d.next_event()
        holding = holding and not (e.type == X.SelectionClear and e.atom == clipboard)
        if e.type != X.SelectionRequest:
            continue
        answer = X.NONE
        if e.selection == manager and e.target == atom("SAVE_TARGETS"):
            # The owner's text as of the request; the owner waits for our answer meanwhile.
            window.convert_selection(clipboard, utf8, utf8, e.time)
            while (notify := d.next_event()).type != X.SelectionNotify:
                pass
            saved = notify.property and window.get_full_property(utf8, X.AnyPropertyType)
            if saved:
                text = saved.value
                window.set_selection_owner(clipboard, X.CurrentTime)
                holding = d.get_selection_owner(clipboard) == window
                answer = e.property if holding else X.NONE
        elif e.selection == clipboard and holding and e.target == utf8:
            e.requestor.change_property(e.property, utf8, 8, text)
            answer = e.property
        e.requestor.send_event(event.SelectionNotify(time=e.time, requestor=e.requestor,
                               selection=e.selection, target=e.target, property=answer))
        d.flush()


if sys.argv[1:] == ["clipboard-manager"]:
    clipboard_manager()
elif sys.argv[1:2] == ["close"] and len(sys.argv) == 3:
    close(d.create_resource_object("window", int(sys.argv[2], 0)))
else:
    sys.exit(f"usage: {sys.argv[0]} close WINDOW | clipboard-manager")

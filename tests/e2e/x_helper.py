#!/usr/bin/python3
"""What e2e.sh needs from an X desktop beyond Xvfb. x_helper.py close WINDOW: closes it as a window
manager does (WM_DELETE_WINDOW), reporting where it went until destroyed, also when read late;
x_helper.py clipboard-manager: takes the clipboard over when its owner ends (SAVE_TARGETS)."""
import select, signal, sys

from Xlib import X, display
from Xlib.protocol import event

d = display.Display()
root = d.screen().root
atom = d.intern_atom


def close(window):
    # What moves on the screen: the window manager's frame around the window, or the window itself.
    # Where it went is read from the events, which outlive the window, not asked of the server.
    frame = window
    while (parent := frame.query_tree().parent) != root:
        frame = parent
    for watched in {frame, window}:
        watched.change_attributes(event_mask=X.StructureNotifyMask)
    at = frame.get_geometry()
    x, y, width, height, configures = at.x, at.y, at.width, at.height, 0
    message = [atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]
    # Asked twice at once, as by a user who clicks again; under openbox, a window just started that
    # lost the focus to another may miss the request: asked again after 3 s without a step.
    for wait in (0, 3, 3):
        window.send_event(event.ClientMessage(window=window, client_type=atom("WM_PROTOCOLS"),
                                              data=(32, message)))
        d.flush()
        if wait and (select.select([d], [], [], wait)[0] or d.pending_events()):
            break
    print("before", x, y, width, height, flush=True)  # the close is under way
    signal.alarm(20)  # a close that never ends ends the helper, without an "after" line
    while not ((e := d.next_event()).type == X.DestroyNotify and e.window == window):
        if e.type == X.ConfigureNotify and e.window == frame and not e.send_event:
            x, y, configures = e.x, e.y, configures + 1
            width, height = min(width, e.width), min(height, e.height)
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


if sys.argv[1] == "close":
    close(d.create_resource_object("window", int(sys.argv[2], 0)))
else:
    clipboard_manager()

#!/usr/bin/python3
"""Drives a headless GNOME Shell (its session bus in $DBUS_SESSION_BUS_ADDRESS, run with
--unsafe-mode): holds a remote-desktop session, whose input goes with it, and carries out one
command a line from stdin, answering each with one line.
  key [MODIFIER] KEY...  taps the keys, the modifier (ctrl, shift, super) held meanwhile
  click X Y [COUNT]      the left button at X, Y of the screen, COUNT times (2: a double-click)
  clipboard              its text (read as another program reads it), on one line
  types                  the types it is offered in, on one line
  window PID             waits until PID's window has the focus; its frame: x y width height,
                         and whether it is maximized (0: no)
  close PID              closes PID's window as its close button does, and reports as
                         sway_helper.py does: the sizes the shell gave it until it went
"""
import os, select, sys, time
import dbus

bus = dbus.SessionBus()
desktop = "org.gnome.Mutter.RemoteDesktop"
path = dbus.Interface(bus.get_object(desktop, "/org/gnome/Mutter/RemoteDesktop"), desktop).CreateSession()
session = dbus.Interface(bus.get_object(desktop, path), desktop + ".Session")
session.Start()
session.EnableClipboard(dbus.Dictionary({}, signature="sv"))  # wl-paste would take the keyboard's focus for a moment on GNOME
shell = dbus.Interface(bus.get_object("org.gnome.Shell", "/org/gnome/Shell"), "org.gnome.Shell")
modifiers = {"ctrl": 0xffe3, "shift": 0xffe1, "super": 0xffeb}
keys = {"Return": 0xff0d, "Tab": 0xff09, "Up": 0xff52, "BackSpace": 0xff08, "Escape": 0xff1b}


def evaluate(js):
    ok, answer = shell.Eval(js)
    if not ok:
        sys.exit(f"the shell said: {answer}")
    return answer.strip('"')


def tap(sym, down=True, up=True):
    for pressed in [True] * down + [False] * up:
        session.NotifyKeyboardKeysym(dbus.UInt32(sym), pressed)
        time.sleep(0.02)


def find(pid):  # JavaScript: the window of the process
    return f"global.get_window_actors().map(a => a.meta_window).find(w => w.get_pid() == {pid})"


def running(pid):  # an ended process that nobody has waited for yet is a zombie
    try:
        return open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def clipboard():
    try:
        fd = session.SelectionRead("text/plain;charset=utf-8").take()
    except dbus.DBusException:  # nothing there
        return ""
    text = b""
    while select.select([fd], [], [], 5)[0] and (part := os.read(fd, 65536)):
        text += part
    os.close(fd)
    return text.decode(errors="replace")


def close(pid):
    # The shell logs each size it gives the window, and its going, in a variable of its own.
    evaluate(f"const w = {find(pid)}, t = Date.now(), seen = globalThis.kelvorinClose = [];"
             "const size = () => { const r = w.get_frame_rect(); seen.push(r.width + 'x' + r.height) };"
             "w.connect('size-changed', size); w.connect('unmanaged', () => seen.push(Date.now() - t));"
             "w.delete(global.get_current_time())")
    start = time.monotonic()
    since = lambda: int((time.monotonic() - start) * 1000)
    while not (log := evaluate("globalThis.kelvorinClose.join(' ')").split()) or "x" in log[-1]:
        if since() > 10000:
            return "the window did not go"
        time.sleep(0.05)
    while running(pid) and since() < 10000:
        time.sleep(0.005)
    sizes = [s for i, s in enumerate(log[:-1]) if log[i - 1:i] != [s]]
    return f"{len(set(sizes))} sizes; gone after {log[-1]} ms; ended after {since()} ms: {' '.join(sizes)}"


tap(modifiers["shift"])  # the first key and the first motion of a session are lost
session.NotifyPointerMotionRelative(1.0, 1.0)
time.sleep(0.3)
for line in sys.stdin:
    command, *words = line.split()
    answer = "ok"
    if command == "key":
        held = modifiers.get(words[0])
        held and tap(held, up=False)
        for word in words[1:] if held else words:
            tap(keys.get(word) or ord(word))
        held and tap(held, down=False)
    elif command == "click":
        x, y, count = int(words[0]), int(words[1]), int((words[2:] or [1])[0])
        # The pointer is put next to the place, and moved there by the session: a motion of ours.
        evaluate("imports.gi.Clutter.get_default_backend().get_default_seat()"
                 f".warp_pointer({x - 1}, {y - 1})")
        session.NotifyPointerMotionRelative(1.0, 1.0)
        for _ in range(count):
            time.sleep(0.05)
            session.NotifyPointerButton(0x110, True)
            session.NotifyPointerButton(0x110, False)
    elif command == "window":
        js = f"const w = {find(words[0])}; w && w.has_focus() ? (r => [r.x, r.y, r.width, r.height])" \
             "(w.get_frame_rect()).join(' ') + ' ' + w.get_maximized() : ''"
        while not (answer := evaluate(js)):
            time.sleep(0.05)
    elif command == "clipboard":
        answer = clipboard()
    elif command == "types":
        answer = evaluate("global.display.get_selection().get_mimetypes("
                          "imports.gi.Meta.SelectionType.SELECTION_CLIPBOARD).join(' ')")
    elif command == "close":
        answer = close(words[0])
    print(answer, flush=True)

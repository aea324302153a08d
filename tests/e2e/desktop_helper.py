#!/usr/bin/python3
"""Drives a headless desktop of its own for the end-to-end test: one command a line from stdin,
each answered with one line.
  desktop_helper.py gnome            GNOME Shell (in its unsafe mode) on $DBUS_SESSION_BUS_ADDRESS:
                                     input through a remote-desktop session, which it holds
  desktop_helper.py kwin LOG INPUT   KWin on $DBUS_SESSION_BUS_ADDRESS, its stderr in LOG: input
                                     through INPUT (kwin_fake_input), looks through KWin scripts
Commands:
  key [MODIFIER] KEY...  taps the keys, the modifier (ctrl, shift, super) held meanwhile
  click X Y [COUNT]      the left button at X, Y of the screen, COUNT times (2: a double-click)
  window PID             waits until PID's window has the focus; its frame: x y width height
  close PID              closes PID's window as its close button does; reports as
                         sway_helper.py does: the sizes the desktop gave it until it went
  clipboard, types       the clipboard's text on one line, the types it is offered in (GNOME)
"""
import itertools, os, select, subprocess, sys, time
import dbus

bus = dbus.SessionBus()


def running(pid):  # an ended process that nobody has waited for yet is a zombie
    try:
        return open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


class Gnome:
    keys = {"ctrl": 0xffe3, "shift": 0xffe1, "super": 0xffeb, "Return": 0xff0d, "Tab": 0xff09,
            "Up": 0xff52, "BackSpace": 0xff08, "End": 0xff57, "Delete": 0xffff, "Left": 0xff51}

    def __init__(self):
        desktop = "org.gnome.Mutter.RemoteDesktop"
        path = dbus.Interface(bus.get_object(desktop, "/org/gnome/Mutter/RemoteDesktop"),
                              desktop).CreateSession()
        self.session = dbus.Interface(bus.get_object(desktop, path), desktop + ".Session")
        self.session.Start()
        # wl-paste would take the keyboard's focus for a moment on GNOME: the session reads.
        self.session.EnableClipboard(dbus.Dictionary({}, signature="sv"))
        self.shell = dbus.Interface(bus.get_object("org.gnome.Shell", "/org/gnome/Shell"),
                                    "org.gnome.Shell")
        self.key(self.keys["shift"], True)  # the first key and motion of a session are lost
        self.key(self.keys["shift"], False)
        self.session.NotifyPointerMotionRelative(1.0, 1.0)
        time.sleep(0.3)

    def code(self, name):
        return self.keys.get(name) or ord(name)

    def key(self, code, down):
        self.session.NotifyKeyboardKeysym(dbus.UInt32(code), down)

    def button(self, x, y, down):
        if down:  # put next to the place, and moved there by the session: a motion of ours
            self.evaluate("imports.gi.Clutter.get_default_backend().get_default_seat()"
                          f".warp_pointer({x - 1}, {y - 1})")
            self.session.NotifyPointerMotionRelative(1.0, 1.0)
        self.session.NotifyPointerButton(0x110, down)

    def evaluate(self, js):
        ok, answer = self.shell.Eval(js)
        if not ok:
            sys.exit(f"the shell said: {answer}")
        return answer.strip('"')

    def window(self, pid):
        return self.evaluate(f"const w = {self.find(pid)}; w && w.has_focus() ? (r => [r.x, r.y,"
                             " r.width, r.height].join(' '))(w.get_frame_rect()) : ''")

    def find(self, pid):  # JavaScript: the window of the process
        return f"global.get_window_actors().map(a => a.meta_window).find(w => w.get_pid() == {pid})"

    def close(self, pid):  # the shell logs each size, and the window's going, in a variable
        self.evaluate(f"const w = {self.find(pid)}, t = Date.now(), seen = globalThis.kelvorinClose = [];"
                      "w.connect('size-changed', () => (r => seen.push(r.width + 'x' + r.height))"
                      "(w.get_frame_rect())); w.connect('unmanaged', () => seen.push('gone ' + (Date.now() - t)));"
                      "w.delete(global.get_current_time())")
        return lambda: self.evaluate("globalThis.kelvorinClose.join(',')").split(",")

    def clipboard(self):
        try:
            fd = self.session.SelectionRead("text/plain;charset=utf-8").take()
        except dbus.DBusException:  # nothing there
            return ""
        text = b""
        while select.select([fd], [], [], 5)[0] and (part := os.read(fd, 65536)):
            text += part
        os.close(fd)
        return text.decode(errors="surrogateescape")  # printed as it came

    def types(self):
        return self.evaluate("global.display.get_selection().get_mimetypes("
                             "imports.gi.Meta.SelectionType.SELECTION_CLIPBOARD).join(' ')")


class Kwin:
    # Linux input codes: the modifiers, a few keys, the rows of letters and the digits.
    keys = {"ctrl": 29, "shift": 42, "super": 125, "Return": 28, "Tab": 15, "Up": 103,
            "PageUp": 104, "BackSpace": 14, "End": 107, "Delete": 111, "Left": 105, "!": (42, 2), **{c: 2 + i for i, c in enumerate("1234567890")},
            **{c: base + i for row, base in (("qwertyuiop", 16), ("asdfghjkl", 30), ("zxcvbnm", 44))
               for i, c in enumerate(row)}}
    scripts = itertools.count()

    def __init__(self, log, fake_input):
        self.log, self.read = open(log, errors="replace"), ""
        self.input = subprocess.Popen([fake_input], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                      text=True)
        self.scripting = dbus.Interface(bus.get_object("org.kde.KWin", "/Scripting"),
                                        "org.kde.kwin.Scripting")

    def send(self, line):
        self.input.stdin.write(line + "\n")
        self.input.stdin.flush()
        if self.input.stdout.readline() != "ok\n":
            sys.exit("kwin_fake_input failed")

    def code(self, name):
        return self.keys[name] if name in self.keys else None

    def key(self, code, down):  # a pair: with the first held (shift)
        for one in (code if isinstance(code, tuple) else (code,))[::1 if down else -1]:
            self.send(f"key {one} {int(down)}")

    def button(self, x, y, down):
        if down:
            self.send(f"move {x} {y}")
        self.send(f"button 272 {int(down)}")

    def script(self, js):  # runs a script; its print()s come out in KWin's log, each tagged
        tag = f"kelvorin-{next(self.scripts)}"
        path = f"{os.path.dirname(self.log.name)}/{tag}.js"
        with open(path, "w") as f:
            # KWin 6 names windows what KWin 5 called clients.
            f.write(f"const say = (...words) => print('{tag}', ...words),"
                    " windows = (workspace.windowList || workspace.clientList).call(workspace),"
                    " removed = workspace.windowRemoved || workspace.clientRemoved;"
                    f"\n{js}\nsay('end');\n")
        self.scripting.loadScript(path, tag, signature="ss")
        self.scripting.start()
        return tag

    def lines(self, tag):  # the tagged lines logged so far
        self.read += self.log.read()
        return [line.split()[2:] for line in self.read.splitlines() if line.startswith(f"js: {tag} ")]

    def window(self, pid):
        tag = self.script(f"const w = windows.find(w => w.pid == {pid}), t = Date.now();"
                          "if (w && w.active) say(w.frameGeometry.x, w.frameGeometry.y,"
                          " w.frameGeometry.width, w.frameGeometry.height);")
        while not (lines := self.lines(tag)) or lines[-1] != ["end"]:
            time.sleep(0.01)
        self.scripting.unloadScript(tag)
        return " ".join(lines[0]) if len(lines) > 1 else ""

    def close(self, pid):
        tag = self.script(f"const w = windows.find(w => w.pid == {pid}), t = Date.now();"
                          "w.frameGeometryChanged.connect(() => say(w.frameGeometry.width + 'x'"
                          " + w.frameGeometry.height));"
                          "removed.connect(c => c == w && say('gone', Date.now() - t));"
                          "w.closeWindow();")
        return lambda: [" ".join(words) for words in self.lines(tag) if words != ["end"]]


desktop = Gnome() if sys.argv[1] == "gnome" else Kwin(*sys.argv[2:4])


def close(pid):  # the desktop times the window's going itself: a busy one answers late
    start, log = time.monotonic(), desktop.close(pid)
    since = lambda: int((time.monotonic() - start) * 1000)
    while running(pid) and since() < 10000:
        time.sleep(0.005)
    ended = since()
    while not (seen := log()) or not seen[-1].startswith("gone"):
        if since() > 20000:
            return "the window did not go"
        time.sleep(0.05)
    sizes = [s for i, s in enumerate(seen[:-1]) if seen[i - 1:i] != [s]]
    return f"{len(set(sizes))} sizes; gone after {seen[-1].split()[1]} ms; ended after {ended} ms: {' '.join(sizes)}"


sys.stdout.reconfigure(errors="surrogateescape")
for line in sys.stdin:
    command, *words = line.split()
    answer = "ok"
    if command == "key":
        held = words[0] in ("ctrl", "shift", "super") and desktop.code(words[0])
        held and desktop.key(held, True)
        for word in words[1:] if held else words:
            desktop.key(code := desktop.code(word), True)
            desktop.key(code, False)
            time.sleep(0.02)
        held and desktop.key(held, False)
    elif command == "click":
        x, y, count = int(words[0]), int(words[1]), int((words[2:] or [1])[0])
        for _ in range(count):
            desktop.button(x, y, True)
            time.sleep(0.05)
            desktop.button(x, y, False)
    elif command == "window":
        while not (answer := desktop.window(words[0])):
            time.sleep(0.05)
    elif command == "close":
        answer = close(words[0])
    elif command in ("clipboard", "types"):
        answer = getattr(desktop, command)()
    print(answer, flush=True)

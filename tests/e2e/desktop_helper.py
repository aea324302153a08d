#!/usr/bin/python3
"""desktop_helper.py sway VNC | gnome | kwin LOG drives headless sway (with wayvnc), GNOME Shell
(unsafe mode) or KWin (logging to LOG) for e2e.sh: "ready", then a line for each line on stdin:
key [MODIFIER] KEY..., click X Y [COUNT], window PID (the content, once focused), frame PID, close
PID (the sizes the desktop gave it, when it went and the process ended), clipboard, types (GNOME)."""
import itertools, json, os, select, socket, struct, sys, threading, time


def running(pid):  # an ended process that nobody has waited for yet is a zombie
    try:
        return open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


class Desktop:
    def code(self, name):
        return self.keys.get(name) or ord(name)

    def content(self, x, y, width, height):  # within the frame, as far from its left, right and bottom
        return x + (width - 312) // 2, y + height - 88 - (width - 312) // 2


class Sway(Desktop):
    def __init__(self, vnc):
        self.sway = socket.socket(socket.AF_UNIX)
        self.sway.connect(os.environ["SWAYSOCK"])
        self.stream = self.sway.makefile("rb")
        # wayvnc gives the seat input only while a client is connected: RFB 3.8, no password, shared.
        client = socket.socket(socket.AF_UNIX)
        client.connect(vnc)
        client.sendall(b"RFB 003.008\n\x01\x01")
        server = client.makefile("rb")
        threading.Thread(target=lambda: all(iter(lambda: server.read1(4096), b"")), daemon=True).start()
        for _ in range(100):
            if any(seat["capabilities"] == 3 for seat in self.ask(101)):
                return
            time.sleep(0.1)
        sys.exit("no pointer, no keyboard")

    def ask(self, kind, payload=""):  # 0: run a command, 4: the tree, 101: the seats
        self.sway.sendall(b"i3-ipc" + struct.pack("=II", len(payload), kind) + payload.encode())
        return json.loads(self.stream.read(struct.unpack("=6sII", self.stream.read(14))[1]))

    def find(self, pid, node=None):
        node = node or self.ask(4)
        if node.get("pid") == pid:
            return node
        return next(filter(None, (self.find(pid, n) for n in node["nodes"] + node["floating_nodes"])), None)

    def button(self, x, y, down):
        if down:
            self.ask(0, f"seat - cursor set {x} {y}")
        self.ask(0, f"seat - cursor {'press' if down else 'release'} button1")

    def window(self, pid):  # sway says where the content is
        w = self.find(int(pid))
        r, c = w and w["rect"], w and w["window_rect"]
        return w and w["focused"] and f"{r['x'] + c['x']} {r['y'] + c['y']} {c['width']} {c['height']}"

    def content(self, x, y, width, height):
        return x, y

    def close(self, pid):
        self.ask(0, f"[pid={pid}] kill")
        start, seen = time.monotonic(), []
        while w := self.find(int(pid)):
            seen.append("{width}x{height}".format(**w["window_rect"]))
            time.sleep(0.008)  # each step lasts a frame, 16 ms; every look costs sway a tree
        seen.append(f"gone {int((time.monotonic() - start) * 1000)}")
        return lambda: seen


class Gnome(Desktop):
    keys = {"ctrl": 0xffe3, "shift": 0xffe1, "super": 0xffeb, "Return": 0xff0d, "Tab": 0xff09,
            "Up": 0xff52, "End": 0xff57, "Delete": 0xffff, "Left": 0xff51}

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

    def key(self, code, down):
        self.session.NotifyKeyboardKeysym(dbus.UInt32(code), down)

    def button(self, x, y, down):
        # Moved there by the session from where the shell has it, not warped: a warp's motion came
        # late on GNOME 48, into the window move that a press on a title bar starts.
        if down and (at := json.loads(self.evaluate("global.get_pointer()"))[:2]) != [x, y]:
            self.session.NotifyPointerMotionRelative(float(x - at[0]), float(y - at[1]))
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


class Kwin(Desktop):
    # Linux input codes: the modifiers, a few keys, the rows of letters and the digits.
    keys = {"ctrl": 29, "shift": 42, "super": 125, "Return": 28, "Tab": 15, "PageUp": 104,
            "End": 107, "Delete": 111, "Left": 105, "!": (42, 2), **{c: 2 + i for i, c in enumerate("1234567890")},
            **{c: base + i for row, base in (("qwertyuiop", 16), ("asdfghjkl", 30), ("zxcvbnm", 44))
               for i, c in enumerate(row)}}
    scripts = itertools.count()

    def __init__(self, log):
        self.log, self.read = open(log, errors="replace"), ""
        self.scripting = dbus.Interface(bus.get_object("org.kde.KWin", "/Scripting"),
                                        "org.kde.kwin.Scripting")
        # KWin's fake-input protocol, version 4, on the Wayland socket; new ids come in order.
        self.wayland = socket.socket(socket.AF_UNIX)
        self.wayland.connect(os.environ["WAYLAND_DISPLAY"])
        self.ids, self.stream = itertools.count(3), self.wayland.makefile("rb")
        self.request(1, 1, "I", 2)
        fake = [body for id, op, body in self.roundtrip() if (id, op) == (2, 0) and
                self.string(body[4:]) == "org_kde_kwin_fake_input" and struct.unpack("=I", body[-4:])[0] >= 4]
        fake or sys.exit("KWin offers no fake input at version 4")
        self.fake = next(self.ids)
        self.request(2, 0, "I", struct.unpack("=I", fake[0][:4])[0], "org_kde_kwin_fake_input", "I", 4, "I", self.fake)
        self.request(self.fake, 0, "Kelvorin's end-to-end test", "drives the program")

    def string(self, body):
        return body[4:4 + struct.unpack("=I", body[:4])[0] - 1].decode()

    def request(self, id, opcode, *args):  # each a string, or a struct format and its value
        body, args = b"", list(args)
        while args:
            if (arg := args.pop(0)) in ("I", "i"):
                body += struct.pack("=" + arg, args.pop(0))
            else:
                text = arg.encode() + b"\0"
                body += struct.pack("=I", len(text)) + text + b"\0" * (-len(text) % 4)
        self.wayland.sendall(struct.pack("=II", id, (8 + len(body)) << 16 | opcode) + body)

    def roundtrip(self):  # the events until KWin has taken all that came before
        self.request(1, 0, "I", done := next(self.ids))
        events = []
        while True:
            id, size = struct.unpack("=II", self.stream.read(8))
            events.append((id, size & 0xFFFF, self.stream.read((size >> 16) - 8)))
            if (id, size & 0xFFFF) == (1, 0):
                sys.exit(f"KWin refused fake input: {self.string(events[-1][2][8:])}")
            if id == done:
                return events

    def send(self, opcode, *args):
        self.request(self.fake, opcode, *args)
        self.roundtrip()

    def key(self, code, down):  # a pair: with the first held (shift)
        for one in (code if isinstance(code, tuple) else (code,))[::1 if down else -1]:
            self.send(10, "I", one, "I", int(down))

    def button(self, x, y, down):
        if down:  # absolute, in 24.8 fixed point
            self.send(9, "i", x * 256, "i", y * 256)
        self.send(2, "I", 272, "I", int(down))

    def script(self, pid, js):  # runs a script on PID's window w; its print()s land in KWin's log
        tag = f"kelvorin-{next(self.scripts)}"
        path = f"{os.path.dirname(self.log.name)}/{tag}.js"
        with open(path, "w") as f:
            # KWin 6 names windows what KWin 5 called clients.
            f.write(f"const say = (...words) => print('{tag}', ...words), t = Date.now(),"
                    " removed = workspace.windowRemoved || workspace.clientRemoved,"
                    " w = (workspace.windowList || workspace.clientList).call(workspace)"
                    f".find(w => w.pid == {pid});\n{js}\nsay('end');\n")
        self.scripting.loadScript(path, tag, signature="ss")
        self.scripting.start()
        return tag

    def lines(self, tag):  # the tagged lines logged so far
        self.read += self.log.read()
        return [line.split()[2:] for line in self.read.splitlines() if line.startswith(f"js: {tag} ")]

    def window(self, pid):
        tag = self.script(pid, "if (w && w.active) say(w.frameGeometry.x, w.frameGeometry.y,"
                          " w.frameGeometry.width, w.frameGeometry.height);")
        while not (lines := self.lines(tag)) or lines[-1] != ["end"]:
            time.sleep(0.01)
        self.scripting.unloadScript(tag)
        return " ".join(lines[0]) if len(lines) > 1 else ""

    def close(self, pid):
        tag = self.script(pid, "w.frameGeometryChanged.connect(() => say(w.frameGeometry.width + 'x'"
                          " + w.frameGeometry.height));"
                          "removed.connect(c => c == w && say('gone', Date.now() - t));"
                          "w.closeWindow();")
        return lambda: [" ".join(words) for words in self.lines(tag) if words != ["end"]]


if sys.argv[1] == "sway":
    desktop = Sway(sys.argv[2])
else:
    import dbus
    bus = dbus.SessionBus()
    desktop = Gnome() if sys.argv[1] == "gnome" else Kwin(sys.argv[2])


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
print("ready", flush=True)
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
    elif command in ("window", "frame"):
        while not (answer := desktop.window(words[0])):
            time.sleep(0.05)
        if command == "window":
            answer = "%d %d" % desktop.content(*(round(float(v)) for v in answer.split()))
    elif command == "close":
        answer = close(words[0])
    elif command in ("clipboard", "types"):
        answer = getattr(desktop, command)()
    print(answer, flush=True)

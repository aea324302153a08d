#!/usr/bin/python3
"""What the Wayland end-to-end test asks of sway, over its IPC socket ($SWAYSOCK): quicker than
a swaymsg per look, which matters while the window closes.
  sway_helper.py seat       waits until the seat has a pointer and a keyboard
  sway_helper.py window PID waits until PID's window is shown with the focus; prints where its
                            content lies: x y width height
  sway_helper.py close PID  asks PID's window to close as a user does, then looks at the tree
                            until the window has gone and /proc until the process has ended;
                            prints the sizes the window took and when it went and ended
"""
import json
import os
import socket
import struct
import sys
import time

RUN_COMMAND, GET_TREE, GET_SEATS = 0, 4, 101


class Sway:
    def __init__(self):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(os.environ["SWAYSOCK"])

    def ask(self, kind, payload=b""):
        self.sock.sendall(b"i3-ipc" + struct.pack("=II", len(payload), kind) + payload)
        length, _ = struct.unpack("=II", self.read(14)[6:])
        return json.loads(self.read(length))

    def read(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                sys.exit("sway went away")
            data += chunk
        return data

    def window(self, pid):
        def walk(node):
            yield node
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                yield from walk(child)
        return next((n for n in walk(self.ask(GET_TREE)) if n.get("pid") == pid), None)


def running(pid):  # an ended process that nobody has waited for yet is a zombie
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


def close(sway, pid):
    sizes, start = [], time.monotonic()
    since = lambda: int((time.monotonic() - start) * 1000)
    sway.ask(RUN_COMMAND, f"[pid={pid}] kill".encode())
    while window := sway.window(pid):
        size = "{width}x{height}".format(**window["window_rect"])
        if not sizes or sizes[-1] != size:
            sizes.append(size)
        time.sleep(0.002)
    gone = since()
    while running(pid) and since() < 10000:
        time.sleep(0.005)
    print(len(set(sizes)), "sizes; gone after", gone, "ms; ended after", since(), "ms;",
          " ".join(sizes))


def main():
    sway = Sway()
    if sys.argv[1:] == ["seat"]:
        while not any(seat["capabilities"] == 3 for seat in sway.ask(GET_SEATS)):
            time.sleep(0.05)
    elif sys.argv[1:2] == ["window"] and len(sys.argv) == 3:
        while not ((w := sway.window(int(sys.argv[2]))) and w["focused"] and w["visible"]):
            time.sleep(0.05)
        print(w["rect"]["x"] + w["window_rect"]["x"], w["rect"]["y"] + w["window_rect"]["y"],
              w["window_rect"]["width"], w["window_rect"]["height"])
    elif sys.argv[1:2] == ["close"] and len(sys.argv) == 3:
        close(sway, int(sys.argv[2]))
    else:
        sys.exit(f"usage: {sys.argv[0]} seat | window PID | close PID")


main()

#!/usr/bin/python3
"""Asks sway over its IPC socket ($SWAYSOCK), quicker than a swaymsg per look during a close.
  sway_helper.py window PID  waits until PID's window has the focus; prints its content's x y
  sway_helper.py close PID   closes PID's window as a user does, looks at the tree until it has
                             gone and at /proc until the process has ended; prints the sizes seen
"""
import json, os, socket, struct, sys, time

sway = socket.socket(socket.AF_UNIX)
sway.connect(os.environ["SWAYSOCK"])
stream = sway.makefile("rb")


def ask(kind, payload=b""):  # 0: run a command, 4: the tree
    sway.sendall(b"i3-ipc" + struct.pack("=II", len(payload), kind) + payload)
    length = struct.unpack("=6sII", stream.read(14))[1]
    return json.loads(stream.read(length))


def window(pid, node=None):
    node = node or ask(4)
    if node.get("pid") == pid:
        return node
    return next(filter(None, (window(pid, n) for n in node["nodes"] + node["floating_nodes"])), None)


def running(pid):  # an ended process that nobody has waited for yet is a zombie
    try:
        return open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:  # gone, or going
        return False


command, pid, start = sys.argv[1], int(sys.argv[2]), time.monotonic()
since = lambda: int((time.monotonic() - start) * 1000)
if command == "window":
    while not ((w := window(pid)) and w["focused"]):
        time.sleep(0.05)
    print(w["rect"]["x"] + w["window_rect"]["x"], w["rect"]["y"] + w["window_rect"]["y"])
elif command == "close":
    ask(0, f"[pid={pid}] kill".encode())
    sizes = []
    while w := window(pid):
        size = "{width}x{height}".format(**w["window_rect"])
        sizes += [size] if sizes[-1:] != [size] else []
        time.sleep(0.008)  # each step lasts a frame, 16 ms; every look costs sway a tree
    gone = since()
    while running(pid) and since() < 10000:
        time.sleep(0.005)
    print(len(set(sizes)), "sizes; gone after", gone, "ms; ended after", since(), "ms:", *sizes)

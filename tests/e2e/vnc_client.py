#!/usr/bin/env python3
# vnc_client.py SOCKET: connects to wayvnc's UNIX socket and stays connected until it is stopped;
# wayvnc 0.9 gives the seat its pointer and keyboard only while a client is connected (0.5 from
# its start). RFB 3.8 with no authentication; what the server sends then is read and dropped.
import socket
import struct
import sys

connection = socket.socket(socket.AF_UNIX)
connection.connect(sys.argv[1])
server = connection.makefile("rb")


def read(count):
    data = server.read(count)
    if len(data) < count:
        sys.exit("vnc_client: the server closed the connection")
    return data


if not read(12).startswith(b"RFB 003."):
    sys.exit("vnc_client: not a VNC server")
connection.sendall(b"RFB 003.008\n")
if 1 not in read(read(1)[0]):  # offers no connection without a password
    sys.exit("vnc_client: the server wants a password")
connection.sendall(b"\x01")
if read(4) != bytes(4):
    sys.exit("vnc_client: the server refused the connection")
connection.sendall(b"\x01")  # shared
read(20)  # the screen's size and pixel format, then its name
read(struct.unpack(">I", read(4))[0])
while server.read1(4096):
    pass

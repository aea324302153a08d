#!/usr/bin/env python3
"""A VNC client that connects to wayvnc's UNIX socket and stays connected until it is stopped.

wayvnc 0.9 gives the seat its pointer and keyboard only while a client is connected (0.5 at its
start). This one does the RFB 3.8 handshake with no authentication, then reads and drops whatever
the server sends. It prints "connected" once the handshake is through.
    vnc_client.py SOCKET
"""
import socket
import struct
import sys


def read(connection, count):
    data = b""
    while len(data) < count:
        chunk = connection.recv(count - len(data))
        if not chunk:
            sys.exit("vnc_client: the server closed the connection")
        data += chunk
    return data


def main():
    connection = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    connection.connect(sys.argv[1])
    version = read(connection, 12)
    if not version.startswith(b"RFB 003."):
        sys.exit(f"vnc_client: not an RFB server: {version!r}")
    connection.sendall(b"RFB 003.008\n")
    types = read(connection, read(connection, 1)[0])
    if 1 not in types:  # none offered: a reason follows; "None" not offered: it wants a password
        sys.exit(f"vnc_client: no connection without authentication (offered {list(types)})")
    connection.sendall(b"\x01")
    if struct.unpack(">I", read(connection, 4))[0] != 0:
        sys.exit("vnc_client: the server refused the connection")
    connection.sendall(b"\x01")  # ClientInit: shared
    read(connection, 20)  # ServerInit: the size and the pixel format, then the name
    read(connection, struct.unpack(">I", read(connection, 4))[0])
    print("connected", flush=True)
    while connection.recv(4096):
        pass


if __name__ == "__main__":
    main()

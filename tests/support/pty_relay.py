#!/usr/bin/env python3
"""The far end of a serial port for the Windows transport tests under Wine.

Wine maps a COM port to a path (a symbolic link here). For every TCP connection accepted on
127.0.0.1, this relay opens a fresh pseudo-terminal pair, points the link at its terminal side,
writes the line "PTY READY" to the connection and then relays bytes both ways between the
connection and the pseudo-terminal's master side. The connection is the simulated device's
wire: what the test sends on it reaches the port, what the library writes to the port arrives
on it, and closing it unplugs the device (the pseudo-terminal closes and the link goes away).

One connection is served at a time; the next waits in the listen queue.

    pty_relay.py --link PATH --port-file FILE
"""

import argparse
import os
import selectors
import socket
import sys
import termios
import tty

HANDSHAKE = b"PTY READY\n"
CHUNK = 65536


def point_link(link, target):
    """Replaces the link in one step, so a port opened meanwhile sees the old or the new."""
    temporary = f"{link}.new"
    if os.path.lexists(temporary):
        os.unlink(temporary)
    os.symlink(target, temporary)
    os.replace(temporary, link)


def remove_link(link):
    if os.path.lexists(link):
        os.unlink(link)


def serve(connection, link):
    master, terminal = os.openpty()
    try:
        # Raw at once, so no byte written before the port is configured is echoed or dropped.
        tty.setraw(terminal, termios.TCSANOW)
        point_link(link, os.ttyname(terminal))
        connection.sendall(HANDSHAKE)
        relay(connection, master)
    finally:
        remove_link(link)
        os.close(master)
        os.close(terminal)  # held so the terminal keeps its settings between opens


def relay(connection, master):
    connection.setblocking(False)
    os.set_blocking(master, False)
    to_port = bytearray()    # received from the connection, not yet written to the terminal
    to_device = bytearray()  # read from the terminal, not yet sent on the connection
    selector = selectors.DefaultSelector()
    try:
        while True:
            # A side is read again only once what came from it has been passed on, so neither
            # buffer grows without bound.
            for end, may_read, pending in ((connection, not to_port, to_device),
                                           (master, not to_device, to_port)):
                mask = (selectors.EVENT_READ if may_read else 0) | (
                    selectors.EVENT_WRITE if pending else 0)
                if mask:
                    selector.register(end, mask)
            events = selector.select()
            for end in list(selector.get_map()):
                selector.unregister(end)
            for key, mask in events:
                if key.fileobj is connection:
                    if mask & selectors.EVENT_READ:
                        data = connection.recv(CHUNK)
                        if not data:
                            return  # unplugged
                        to_port += data
                    if mask & selectors.EVENT_WRITE:
                        del to_device[: connection.send(to_device)]
                else:
                    if mask & selectors.EVENT_READ:
                        to_device += read_available(master)
                    if mask & selectors.EVENT_WRITE:
                        del to_port[: write_available(master, to_port)]
    except (ConnectionError, BrokenPipeError):
        return
    finally:
        selector.close()


def read_available(fd):
    try:
        return os.read(fd, CHUNK)
    except BlockingIOError:
        return b""


def write_available(fd, data):
    try:
        return os.write(fd, data)
    except BlockingIOError:
        return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--link", required=True, help="the path Wine's COM port points to")
    parser.add_argument("--port-file", required=True, help="receives the TCP port listened on")
    arguments = parser.parse_args()

    remove_link(arguments.link)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    with open(arguments.port_file + ".new", "w", encoding="ascii") as port_file:
        port_file.write(f"{listener.getsockname()[1]}\n")
    os.replace(arguments.port_file + ".new", arguments.port_file)

    while True:
        connection, _ = listener.accept()
        with connection:
            connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            try:
                serve(connection, arguments.link)
            except OSError as error:
                print(f"pty_relay: {error}", file=sys.stderr, flush=True)


if __name__ == "__main__":
    main()

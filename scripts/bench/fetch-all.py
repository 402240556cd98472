#!/usr/bin/env python3
"""The fastest way to pull a mailbox: log in, EXAMINE it and send one
FETCH 1:* BODY.PEEK[], reading every literal and throwing it away. Prints the
seconds from connecting to the logout, the message count and the bytes.

    fetch-all.py HOST PORT CA_FILE USER PASSWORD MAILBOX
"""

import socket
import ssl
import sys
import time


class Reader:
    """Reads into one reused buffer, so dropping a literal copies nothing."""

    def __init__(self, sock):
        self.sock = sock
        self.store = bytearray(1 << 20)
        self.view = memoryview(self.store)
        self.start = self.end = 0

    def fill(self):
        if self.start == self.end:
            self.start = self.end = 0
        elif self.end == len(self.store):
            kept = self.end - self.start
            self.store[:kept] = self.store[self.start:self.end]
            self.start, self.end = 0, kept
        received = self.sock.recv_into(self.view[self.end:])
        if not received:
            raise ConnectionError("the server closed the connection")
        self.end += received

    def line(self):
        while True:
            end = self.store.find(b"\r\n", self.start, self.end)
            if end >= 0:
                line = bytes(self.store[self.start:end])
                self.start = end + 2
                return line
            self.fill()

    def skip(self, count):
        """Drops `count` bytes; returns how many were dropped."""
        left = count
        while left > 0:
            if self.start == self.end:
                self.fill()
            taken = min(left, self.end - self.start)
            self.start += taken
            left -= taken
        return count


def command(sock, reader, tag, text):
    """Sends a command and reads to its tagged answer; returns (literals, bytes)."""
    sock.sendall(tag + b" " + text + b"\r\n")
    literals = size = 0
    while True:
        line = reader.line()
        # A line ending in {N} is followed by N bytes, then the rest of the response.
        while line.endswith(b"}") and b"{" in line:
            size += reader.skip(int(line[line.rindex(b"{") + 1:-1]))
            literals += 1
            line = reader.line()
        if line.startswith(tag + b" "):
            if not line.startswith(tag + b" OK"):
                raise RuntimeError(line.decode("utf-8", "replace"))
            return literals, size


def main():
    host, port, ca, user, password, mailbox = sys.argv[1:7]
    start = time.monotonic()
    context = ssl.create_default_context(cafile=ca)
    sock = context.wrap_socket(socket.create_connection((host, int(port))), server_hostname=host)
    reader = Reader(sock)
    reader.line()  # greeting

    def quoted(text):
        return b'"' + text.encode().replace(b"\\", b"\\\\").replace(b'"', b'\\"') + b'"'

    command(sock, reader, b"a1", b"LOGIN " + quoted(user) + b" " + quoted(password))
    command(sock, reader, b"a2", b"EXAMINE " + quoted(mailbox))
    count, size = command(sock, reader, b"a3", b"FETCH 1:* BODY.PEEK[]")
    command(sock, reader, b"a4", b"LOGOUT")
    sock.close()
    print("%.3f %d %d" % (time.monotonic() - start, count, size))


if __name__ == "__main__":
    main()

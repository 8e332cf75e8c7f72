#!/usr/bin/env python3
"""A byte-level WebSocket server for the client tests, built on plain sockets.

Prints "PORT <n>" once listening on 127.0.0.1, then one line per event:
  REQUEST <base64 of the request head>
  FRAME <byte0 hex> <byte1 hex> <payload length> <md5 of the unmasked payload> <payload base64 if short>
  EOF  (the client closed the TCP connection)
Mode (argv[1]) selects the answer to the handshake and what follows it:
  ok          101 with a correct accept, a text frame "hello" in the same write, then frames are read
  upper       as ok, the accept value in upper case
  status200   "HTTP/1.1 200 OK"
  badconn     Connection: keep-alive
  badupgrade  Upgrade: h2c
  badkey      a wrong accept value
  masked      as ok, then a masked text frame instead of "hello"
  badopcode   as ok, then a frame with opcode 3
  dropafter   as ok, then the TCP connection is closed without a close frame
"""
import base64
import hashlib
import socket
import struct
import sys

GUID = b"258EAFA5-E914-47DA-95CA-C5AB0DC85B11"


def exit_when_stdin_closes():
    """The test process holds our stdin; when it goes away, so do we."""
    import os
    import threading

    def watch():
        while sys.stdin.buffer.read(4096):
            pass
        os._exit(0)

    threading.Thread(target=watch, daemon=True).start()


def say(*parts):
    print(*parts, flush=True)


def read_exact(conn, n):
    data = b""
    while len(data) < n:
        chunk = conn.recv(n - len(data))
        if not chunk:
            raise EOFError
        data += chunk
    return data


def read_head(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(4096)
        if not chunk:
            raise EOFError
        data += chunk
    return data


def accept_value(head):
    for line in head.split(b"\r\n"):
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"sec-websocket-key":
            return base64.b64encode(hashlib.sha1(value.strip() + GUID).digest())
    return b""


def server_frame(opcode, payload, masked=False):
    head = bytes([0x80 | opcode])
    mask_bit = 0x80 if masked else 0
    n = len(payload)
    if n <= 125:
        head += bytes([mask_bit | n])
    elif n <= 65535:
        head += bytes([mask_bit | 126]) + struct.pack(">H", n)
    else:
        head += bytes([mask_bit | 127]) + struct.pack(">Q", n)
    if masked:
        key = b"\x01\x02\x03\x04"
        payload = bytes(b ^ key[i % 4] for i, b in enumerate(payload))
        head += key
    return head + payload


def read_frames(conn):
    while True:
        b0, b1 = read_exact(conn, 2)
        n = b1 & 0x7F
        if n == 126:
            n = struct.unpack(">H", read_exact(conn, 2))[0]
        elif n == 127:
            n = struct.unpack(">Q", read_exact(conn, 8))[0]
        key = read_exact(conn, 4) if b1 & 0x80 else b"\0\0\0\0"
        payload = bytes(b ^ key[i % 4] for i, b in enumerate(read_exact(conn, n)))
        short = base64.b64encode(payload).decode() if n <= 125 else "-"
        say("FRAME %02x %02x %d %s %s" % (b0, b1, n, hashlib.md5(payload).hexdigest(), short or "-"))
        if b0 & 0x0F == 8:  # answer a close and end the connection
            conn.sendall(server_frame(8, payload[:2]))
            return


def serve(conn, mode):
    head = read_head(conn)
    say("REQUEST", base64.b64encode(head).decode())
    accept = accept_value(head)
    status, connection, upgrade = b"101 Switching Protocols", b"Upgrade", b"websocket"
    if mode == "upper":
        accept = accept.upper()
    elif mode == "status200":
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")
        read_frames(conn)
        return
    elif mode == "badconn":
        connection = b"keep-alive"
    elif mode == "badupgrade":
        upgrade = b"h2c"
    elif mode == "badkey":
        accept = base64.b64encode(hashlib.sha1(b"other").digest())
    response = (b"HTTP/1.1 " + status + b"\r\nUpgrade: " + upgrade + b"\r\nConnection: " + connection +
                b"\r\nSec-WebSocket-Accept: " + accept + b"\r\n\r\n")
    if mode == "masked":
        response += server_frame(1, b"masked", masked=True)
    elif mode == "badopcode":
        response += server_frame(3, b"odd")
    else:
        response += server_frame(1, b"hello")
    conn.sendall(response)
    if mode == "dropafter":
        return
    read_frames(conn)


def main():
    exit_when_stdin_closes()
    mode = sys.argv[1] if len(sys.argv) > 1 else "ok"
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    say("PORT", listener.getsockname()[1])
    while True:
        conn, _ = listener.accept()
        try:
            serve(conn, mode)
        except (EOFError, ConnectionError):
            pass
        say("EOF")
        conn.close()


if __name__ == "__main__":
    main()

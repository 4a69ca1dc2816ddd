#!/usr/bin/python3
"""An RFC 2217 device server for the engine tests: pyserial's PortManager over a loop:// port, one client at
a time, on 127.0.0.1 only. Writes "PORT n" first, then per connection "CONNECT", each change of the port's
settings as "SET baud data parity stop xonxoff rtscts", and "DATA n" for every n bytes looped back, to the
file given (line-buffered), so a test sees the order in which they arrived."""

import socket
import sys
import threading

import serial
import serial.rfc2217

log = open(sys.argv[1], "a", buffering=1)
port = int(sys.argv[2]) if len(sys.argv) > 2 else 0

listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", port))
listener.listen(1)
log.write("PORT %d\n" % listener.getsockname()[1])

line = serial.serial_for_url("loop://", timeout=0.05)


class Writer:
    """What PortManager writes its answers to."""

    def __init__(self, sock):
        self.sock = sock

    def write(self, data):
        self.sock.sendall(data)


def settings():
    return "SET %d %d %s %s %d %d" % (line.baudrate, line.bytesize, line.parity, line.stopbits, line.xonxoff,
                                      line.rtscts)


while True:
    conn, _ = listener.accept()
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    log.write("CONNECT\n")
    manager = serial.rfc2217.PortManager(line, Writer(conn))
    alive = [True]

    def loop_back():
        while alive[0]:
            data = line.read(4096)
            if data:
                try:
                    conn.sendall(b"".join(manager.escape(data)))
                except OSError:
                    return

    reader = threading.Thread(target=loop_back, daemon=True)
    reader.start()
    seen = None
    while True:
        try:
            received = conn.recv(4096)
        except OSError:
            break
        if not received:
            break
        data = bytearray()
        for byte in manager.filter(received):
            # A setting that arrives in the same read as data is logged before the data that followed it.
            if settings() != seen:
                if data:
                    line.write(bytes(data))
                    log.write("DATA %d\n" % len(data))
                    data.clear()
                seen = settings()
                log.write(seen + "\n")
            data += byte
        if settings() != seen:
            seen = settings()
            log.write(seen + "\n")
        if data:
            line.write(bytes(data))
            log.write("DATA %d\n" % len(data))
    alive[0] = False
    reader.join()
    conn.close()

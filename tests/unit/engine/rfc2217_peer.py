#!/usr/bin/python3
"""pyserial's RFC 2217 PortManager over a loop:// port on 127.0.0.1, one client at a time. Logs "PORT n", then
per connection "CONNECT", each change of settings as "SET baud data parity stop xonxoff rtscts" and "DATA n"."""

import itertools
import socket
import sys
import threading

import serial
import serial.rfc2217

log = open(sys.argv[1], "a", buffering=1)
listener = socket.create_server(("127.0.0.1", int(sys.argv[2]) if len(sys.argv) > 2 else 0))
log.write("PORT %d\n" % listener.getsockname()[1])
line = serial.serial_for_url("loop://", timeout=0.05)


def settings():
    return "SET %d %d %s %s %d %d\n" % (line.baudrate, line.bytesize, line.parity, line.stopbits, line.xonxoff,
                                        line.rtscts)


def loop_back(conn, manager, alive):
    while alive[0]:
        data = line.read(4096)
        try:
            conn.sendall(b"".join(manager.escape(data)))
        except OSError:
            return


while True:
    conn, _ = listener.accept()
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    log.write("CONNECT\n")
    manager = serial.rfc2217.PortManager(line, conn.makefile("wb", buffering=0))
    alive = [True]
    reader = threading.Thread(target=loop_back, args=(conn, manager, alive), daemon=True)
    reader.start()
    seen = None
    received = b"-"
    while received:
        try:
            received = conn.recv(4096)
        except OSError:
            break
        data = bytearray()
        # Lazily, so that a setting is logged after the data before it and before the data after it.
        for byte in itertools.chain(manager.filter(received), [None]):
            if settings() != seen or byte is None:
                if data:
                    line.write(bytes(data))
                    log.write("DATA %d\n" % len(data))
                    data.clear()
                if settings() != seen:
                    seen = settings()
                    log.write(seen)
            if byte is not None:
                data += byte
    alive[0] = False
    reader.join()
    conn.close()

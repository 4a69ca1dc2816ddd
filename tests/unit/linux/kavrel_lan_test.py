#!/usr/bin/python3
"""The kavrel command in the simulated LAN (run by tools/lan with devices.txt and two host interfaces).

    kavrel_lan_test.py KAVREL scan|run|rfc2217
"""
import json
import os
import re
import select
import signal
import socket
import subprocess
import sys
import tempfile
import time
import tty

KAVREL = sys.argv[1]
LOG = os.environ["KAVREL_DEVSIM_LOG"]
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


def wait_for(condition, seconds):
    """Seconds taken until condition() held, or None."""
    start = time.monotonic()
    while time.monotonic() - start < seconds:
        if condition():
            return time.monotonic() - start
        time.sleep(0.05)


def kavrel(*args):
    return subprocess.run([KAVREL, *args], capture_output=True, text=True, timeout=30)


def devsim(command):
    with socket.socket(socket.AF_UNIX) as s:
        s.connect(os.environ["KAVREL_DEVSIM_CONTROL"])
        s.sendall((command + "\n").encode())
        assert s.makefile().readline().strip() == "ok", command


def scan():
    out = kavrel("scan", "--json")
    got = [(d["mac"], d["ip"], d["tcp_port"], d["name"], d["protocols"]) for d in json.loads(out.stdout or "[]")]
    check(out.returncode == 0 and sorted(got) == [
        ("00-20-4A-10-00-01", "198.18.1.10", 4001, "Scale line 1", ["ti", "lantronix"]),
        ("00-20-4A-10-00-02", "198.18.1.11", 4002, "Weigher", ["ti"]),
        ("00-20-4A-10-00-03", "198.18.1.12", 10001, "Lantronix XPort", ["lantronix"]),
        ("00-20-4A-10-00-04", "198.18.1.13", 10002, "Lantronix XPort", ["lantronix"]),
    ], f"the good devices once each with their fields, no broken one: {got} {out.stderr}")
    senders = set(re.findall(r"request \w+ \w+ from (198\.18\.0\.\d+):", open(LOG).read()))
    check(senders == {"198.18.0.1", "198.18.0.2"}, f"requests from both interfaces: {senders}")


def write_config(path, port_dir, links):
    with open(path, "w") as f:
        f.write(f'port_dir = "{port_dir}"\nrescan = 2\n')
        for mac, port, extra in links:
            f.write(f'[[link]]\nmac = "{mac}"\nport = {port}\n{extra}\n')


class Service:
    def __init__(self, config, port_dir):
        self.port_dir, self.log = port_dir, open(config + ".log", "w+")
        self.notify = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)  # systemd's notification socket
        self.notify.bind(config + ".notify")
        env = dict(os.environ, NOTIFY_SOCKET=config + ".notify")
        self.process = subprocess.Popen([KAVREL, "run", "--config", config], stderr=self.log, env=env)

    def link(self, port):
        out = kavrel("status", "--json", "--port-dir", self.port_dir)
        links = json.loads(out.stdout)["links"] if out.returncode == 0 else []
        return next((link for link in links if link["port"] == port), {})

    def log_text(self):
        self.log.seek(0)
        return self.log.read()


class Serial:
    """A serial program on a port: termios raw, as such programs open it."""

    def __init__(self, path):
        self.fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd)

    def echo(self, data):
        os.write(self.fd, data)
        got, end = b"", time.monotonic() + 3
        while len(got) < len(data) and time.monotonic() < end:
            if select.select([self.fd], [], [], 0.1)[0]:
                got += os.read(self.fd, 4096)
        return got == data


def run(work):
    port_dir, config, alias = os.path.join(work, "ports"), os.path.join(work, "kavrel.toml"), work + "/ttyScale1"
    with open(config, "w") as f:
        f.write(f'port_dir = "{port_dir}"\n[[link]]\nmac = "00-20-4A-10-00-01"\nport = 256\n')
    out = kavrel("run", "--config", config)
    check(out.returncode == 2 and config + ":4: link[1].port: 256 is outside" in out.stderr and
          not os.path.exists(port_dir), f"a bad configuration stops run with status 2: {out}")

    scale, absent, weigher = "00-20-4A-10-00-01", "00-20-4A-99-99-99", "00-20-4A-10-00-02"
    write_config(config, port_dir, [(scale, 10, f'path = "{alias}"'), (absent, 12, "")])
    service = Service(config, port_dir)
    com10, com11, com12 = (os.path.join(port_dir, f"COM{n}") for n in (10, 11, 12))
    check(wait_for(lambda: os.path.exists(com10) and os.path.exists(com12), 5) is not None,
          "every port made at once, the absent device's too")
    check(select.select([service.notify], [], [], 5)[0] and b"READY=1" in service.notify.recv(100),
          "readiness told to systemd")
    check(wait_for(lambda: service.link(10).get("connected"), 5) is not None, "COM10 connected")
    away, written, end = os.open(com12, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK), 0, time.monotonic() + 3
    tty.setraw(away)
    while written < 1 << 18 and time.monotonic() < end:
        written += os.write(away, bytes(4096)) if select.select([], [away], [], 0.1)[1] else 0
    os.close(away)
    check(written >= 1 << 18, f"what is written to an absent device's port is dropped, not held: {written}")
    tty_path = os.readlink(com10)
    port = Serial(com10)
    check(os.readlink(alias) == tty_path and port.echo(b"hello, device"), "an echo through COM10 and its path")

    second = kavrel("run", "--config", config)
    check(second.returncode == 1 and "already serving" in second.stderr and service.process.poll() is None
          and os.readlink(com10) == tty_path, "a second instance is refused, the first untouched")

    devsim("refuse 198.18.1.10")  # first, or the dropped link would reconnect at once
    devsim("drop 198.18.1.10")
    check(wait_for(lambda: not service.link(10).get("connected"), 3) is not None, "the restarting device is lost")
    devsim("restore 198.18.1.10")
    back = wait_for(lambda: service.link(10).get("connected"), 5)
    check(back is not None and back <= 2, f"back within 2 s of the device's restart: {back}")
    check(os.readlink(com10) == tty_path and port.echo(b"again"), "on the same tty, still open")

    subprocess.run(["ip", "-n", os.environ["KAVREL_LAN_NETNS"], "address", "add", "198.18.1.20/15", "dev", "br0"],
                   check=True)
    devsim(f"move {scale} 198.18.1.20")
    moved = wait_for(lambda: service.link(10).get("address") == "198.18.1.20" and service.link(10).get("connected"), 8)
    check(moved is not None and moved <= 2 + 2 + 1, f"the link follows the move within one rescan: {moved}")
    check(os.readlink(com10) == tty_path and port.echo(b"moved"), "the moved link on the same tty")

    with open(config, "a") as f:
        f.write("colour = 1\n")
    service.process.send_signal(signal.SIGHUP)
    check(wait_for(lambda: "not reloaded" in service.log_text(), 5) is not None and os.path.exists(com12) and
          service.process.poll() is None and port.echo(b"kept"), "a bad reload keeps the old configuration")
    write_config(config, port_dir, [(scale, 10, f'path = "{alias}"'), (weigher, 11, "")])
    before = service.log_text()
    service.process.send_signal(signal.SIGHUP)
    check(wait_for(lambda: service.link(11).get("connected") and not os.path.exists(com12), 5) is not None,
          "SIGHUP: the added link connects, the removed one's port goes")
    check("COM10" not in service.log_text()[len(before):] and port.echo(b"untouched"),
          "SIGHUP leaves the unchanged link alone")

    service.process.send_signal(signal.SIGTERM)
    check(service.process.wait(10) == 0, "SIGTERM ends the service with status 0")
    hung_up = select.poll()
    hung_up.register(port.fd, select.POLLHUP)
    log = open(LOG).read()
    check(not os.path.lexists(alias) and hung_up.poll(1000) and os.listdir(port_dir) == [] and
          log.count("tcp accept") == log.count("tcp close"), "SIGTERM leaves no pty, link, file or connection")
    print(service.log_text(), end="")


def rfc2217(work):
    """pyserial's RFC 2217 server on 127.0.0.1 (a fixed address, no discovery) gets the line before any data."""
    peer_log = os.path.join(work, "peer.log")
    open(peer_log, "w").close()
    peer = subprocess.Popen(["/usr/bin/python3", os.path.join(os.path.dirname(__file__), "..", "engine",
                                                               "rfc2217_peer.py"), peer_log])
    try:
        check(wait_for(lambda: "PORT" in open(peer_log).read(), 5) is not None, "the RFC 2217 peer listens")
        peer_port = re.search(r"PORT (\d+)", open(peer_log).read()).group(1)
        port_dir, config = os.path.join(work, "ports"), os.path.join(work, "kavrel.toml")
        write_config(config, port_dir, [("02-00-00-00-02-17", 20, f'address = "127.0.0.1"\ntcp_port = {peer_port}\n'
                                         'rfc2217 = true\nbaud = 19200\ndata_bits = 7\nparity = "even"\nstop_bits = 2')])
        service = Service(config, port_dir)
        check(wait_for(lambda: service.link(20).get("connected"), 10) is not None, "the RFC 2217 link connects")
        check(Serial(os.path.join(port_dir, "COM20")).echo(b"settings first"), "data crosses both ways")
        lines = open(peer_log).read().splitlines()
        data = next((i for i, line in enumerate(lines) if line.startswith("DATA")), len(lines))
        check(data < len(lines) and any(line.startswith("SET 19200 7 E 2") for line in lines[:data]),
              f"the configured line reaches the server before any data: {lines}")
        service.process.send_signal(signal.SIGTERM)
        check(service.process.wait(10) == 0, "SIGTERM ends the service")
    finally:
        peer.kill()
        peer.wait()


with tempfile.TemporaryDirectory() as work:
    {"scan": scan, "run": lambda: run(work), "rfc2217": lambda: rfc2217(work)}[sys.argv[2]]()
sys.exit(1 if failures else 0)

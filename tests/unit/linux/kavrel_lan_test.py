#!/usr/bin/python3
# The kavrel command in the simulated LAN (tools/lan, devices.txt, two host interfaces).
# kavrel_lan_test.py KAVREL scan|run
import atexit
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

import serial

KAVREL, LOG = sys.argv[1], os.environ["KAVREL_DEVSIM_LOG"]
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


def scan(_work):
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


def echo(port, data):
    """Whether a serial program (pyserial: termios raw) gets its bytes back."""
    port.write(data)
    return port.read(len(data)) == data


def run(work):
    port_dir, config, alias, peer_log = work + "/ports", work + "/kavrel.toml", work + "/ttyScale1", work + "/peer"
    write_config(config, port_dir, [("00-20-4A-10-00-01", 256, "")])
    out = kavrel("run", "--config", config)
    check(out.returncode == 2 and config + ":5: link[1].port: 256 is outside" in out.stderr and
          not os.path.exists(port_dir), f"a bad configuration stops run with status 2: {out}")

    # pyserial's RFC 2217 server on 127.0.0.1, a fixed address, no discovery
    atexit.register(subprocess.Popen(["/usr/bin/python3", os.path.dirname(__file__) + "/../engine/rfc2217_peer.py",
                                      peer_log]).kill)
    check(wait_for(lambda: os.path.exists(peer_log) and "PORT" in open(peer_log).read(), 5) is not None, "peer up")
    peer_port = re.search(r"PORT (\d+)", open(peer_log).read()).group(1)
    rfc2217 = f'address = "127.0.0.1"\ntcp_port = {peer_port}\nrfc2217 = true\nbaud = 19200\ndata_bits = 7\n' + \
        'parity = "even"\nstop_bits = 2'
    scale, absent, weigher = "00-20-4A-10-00-01", "00-20-4A-99-99-99", "00-20-4A-10-00-02"
    write_config(config, port_dir,
                 [(scale, 10, f'path = "{alias}"'), (absent, 12, ""), ("02-00-00-02-02-17", 20, rfc2217)])
    notify = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM | socket.SOCK_NONBLOCK)  # systemd's (Type=notify)
    notify.bind(work + "/notify")
    service = subprocess.Popen([KAVREL, "run", "--config", config], stderr=open(config + ".log", "w"),
                               env=dict(os.environ, NOTIFY_SOCKET=work + "/notify"))
    com10, com12, com20 = (f"{port_dir}/COM{n}" for n in (10, 12, 20))

    def link(port):
        out = kavrel("status", "--json", "--port-dir", port_dir)
        return next((x for x in json.loads(out.stdout)["links"] if x["port"] == port), {}) if not out.returncode else {}

    check(wait_for(lambda: os.path.exists(com12) and link(10).get("connected") and link(20).get("connected"), 10)
          is not None and b"READY=1" in notify.recv(100), "ports made (the absent one's too), links up, ready")
    tty_path, port = os.readlink(com10), serial.Serial(com10, timeout=3)
    check(os.readlink(alias) == tty_path and echo(port, b"hello, device"), "an echo through COM10 and its path")
    check(echo(serial.Serial(com20, timeout=3), b"settings first"), "data crosses the RFC 2217 link both ways")
    lines = open(peer_log).read().splitlines()
    data = next((i for i, line in enumerate(lines) if line.startswith("DATA")), len(lines))
    check(data < len(lines) and any(line.startswith("SET 19200 7 E 2") for line in lines[:data]),
          f"the configured line reaches the RFC 2217 server before any data: {lines}")

    second = kavrel("run", "--config", config)
    check(second.returncode == 1 and "already serving" in second.stderr and service.poll() is None
          and os.readlink(com10) == tty_path, "a second instance is refused, the first untouched")

    devsim("refuse 198.18.1.10")  # first, or the dropped link would reconnect at once
    devsim("drop 198.18.1.10")
    lost = wait_for(lambda: not link(10).get("connected"), 3)
    devsim("restore 198.18.1.10")
    back = wait_for(lambda: link(10).get("connected"), 5)
    check(lost is not None and back is not None and back <= 2, f"lost, and back within 2 s of the restart: {back}")
    check(os.readlink(com10) == tty_path and echo(port, b"again"), "on the same tty, still open")

    subprocess.run(["ip", "-n", os.environ["KAVREL_LAN_NETNS"], "address", "add", "198.18.1.20/15", "dev", "br0"],
                   check=True)
    devsim(f"move {scale} 198.18.1.20")
    moved = wait_for(lambda: link(10).get("address") == "198.18.1.20" and link(10).get("connected"), 8)
    check(moved is not None and moved <= 2 + 2 + 1, f"the link follows the move within one rescan: {moved}")
    check(os.readlink(com10) == tty_path and echo(port, b"moved"), "the moved link on the same tty")

    with open(config, "a") as f:
        f.write("colour = 1\n")
    service.send_signal(signal.SIGHUP)
    check(wait_for(lambda: "not reloaded" in open(config + ".log").read(), 5) is not None and os.path.exists(com12)
          and service.poll() is None and echo(port, b"kept"), "a bad reload keeps the old configuration")
    write_config(config, port_dir, [(scale, 10, f'path = "{alias}"'), (weigher, 11, "")])
    logged = len(open(config + ".log").read())
    service.send_signal(signal.SIGHUP)
    check(wait_for(lambda: link(11).get("connected") and not os.path.exists(com12), 5) is not None,
          "SIGHUP: the added link connects, the removed one's port goes")
    check("COM10" not in open(config + ".log").read()[logged:] and echo(port, b"untouched"),
          "SIGHUP leaves the unchanged link alone")

    service.send_signal(signal.SIGTERM)
    check(service.wait(10) == 0, "SIGTERM ends the service with status 0")
    log = open(LOG).read()
    check(not os.path.lexists(alias) and select.select([port], [], [], 1)[0] and os.listdir(port_dir) == [] and
          log.count("tcp accept") == log.count("tcp close"), "SIGTERM hangs up, leaves no pty, file or connection")
    print(open(config + ".log").read(), end="")


with tempfile.TemporaryDirectory() as work:
    (scan if sys.argv[2] == "scan" else run)(work)
sys.exit(1 if failures else 0)

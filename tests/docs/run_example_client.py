#!/usr/bin/env python3
"""Runs docs/examples/kel_client.py against a box of its own: the program
started on a fresh box root and a loopback address no other box uses, and
stopped again afterwards. Exits with the client's status."""
import os
import socket
import subprocess
import sys
import tempfile
import time

START_SECONDS = 60  # a loaded machine starts a box slowly


def box_address():
    """A loopback address from the process id on which no box listens yet."""
    pid = os.getpid()
    for n in range(250):
        address = "127.%d.%d.%d" % (200 + pid % 50, (pid >> 8) & 0xFF, 1 + (pid + n) % 250)
        try:
            socket.create_connection((address, 5005), timeout=1).close()
        except OSError:
            return address
    raise SystemExit("no free loopback address")


def wait_for_tcp(address, box):
    deadline = time.monotonic() + START_SECONDS
    while time.monotonic() < deadline:
        if box.poll() is not None:
            return False
        try:
            socket.create_connection((address, 5005), timeout=1).close()
            return True
        except OSError:
            time.sleep(0.2)
    return False


def main():
    program, client = sys.argv[1], sys.argv[2]
    address = box_address()
    with tempfile.TemporaryDirectory() as work:
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        box = subprocess.Popen([program, "--box-root", os.path.join(work, "box-root"), "--address", address],
                               cwd=work, env=env, stdout=subprocess.DEVNULL)
        try:
            if not wait_for_tcp(address, box):
                print("the box did not come up on %s" % address, file=sys.stderr)
                return 1
            return subprocess.call([sys.executable, client, "--address", address], timeout=120)
        finally:
            box.kill()
            box.wait()


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Runs docs/examples/kel_client.py against a box of its own: the program
started on a fresh box root and a loopback address no other box uses, and
stopped again afterwards. Then, on the same box, the client's save counts
done only once the mode's file is written: with the box's disk full it
does not end, once the disk takes files again it does. Exits with 0 when
both held."""
import importlib.util
import os
import socket
import subprocess
import sys
import tempfile
import time

START_SECONDS = 60  # a loaded machine starts a box slowly
COMMAND_SECONDS = 10  # a control-pipe command's answer
SAVE_MODE = 5
FULL_DISK_SECONDS = 3  # how long the client waits for a save the full disk holds up


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


def control(root, line):
    """Runs a control-pipe command on the box; True once it answered ok."""
    log = os.path.join(root, "sim", "control.log")

    def answered():
        try:
            with open(log) as f:
                return f.read().count("ok %s\n" % line)
        except OSError:
            return 0

    before = answered()
    with open(os.path.join(root, "sim", "control"), "w") as pipe:
        pipe.write(line + "\n")
    deadline = time.monotonic() + COMMAND_SECONDS
    while answered() == before:
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


def save_waits_for_the_disk(client, address, root):
    sys.dont_write_bytecode = True  # the source tree is left as it is
    spec = importlib.util.spec_from_file_location("kel_client", client)
    kel_client = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(kel_client)
    box = kel_client.Box(address)
    try:
        if not control(root, "fault disk full"):
            print("the control pipe did not take the disk fault", file=sys.stderr)
            return 1
        try:
            box.save_mode(SAVE_MODE, FULL_DISK_SECONDS)
            print("the client counted a save done while the disk took no file", file=sys.stderr)
            return 1
        except kel_client.BoxError as e:
            print("with the disk full: %s" % e)
        if not control(root, "fault disk off"):
            print("the control pipe did not take the disk back", file=sys.stderr)
            return 1
        box.save_mode(SAVE_MODE)
        print("with the disk back: user mode %d saved" % SAVE_MODE)
        return 0
    except (kel_client.BoxError, OSError) as e:
        print("failed: %s" % e, file=sys.stderr)
        return 1
    finally:
        box.close()


def main():
    program, client = sys.argv[1], sys.argv[2]
    address = box_address()
    with tempfile.TemporaryDirectory() as work:
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        root = os.path.join(work, "box-root")
        box = subprocess.Popen([program, "--box-root", root, "--address", address],
                               cwd=work, env=env, stdout=subprocess.DEVNULL)
        try:
            if not wait_for_tcp(address, box):
                print("the box did not come up on %s" % address, file=sys.stderr)
                return 1
            status = subprocess.call([sys.executable, client, "--address", address], timeout=120)
            return status or save_waits_for_the_disk(client, address, root)
        finally:
            box.kill()
            box.wait()


if __name__ == "__main__":
    sys.exit(main())

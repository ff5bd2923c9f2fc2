#!/usr/bin/env python3
"""The running box's resident memory over a long run of requests (Python 3,
standard library only):

    bench/box_memory.py [--requests 20000] [--seed N] [--address 127.0.54.40] PROGRAM

PROGRAM (a build's kelR54N) runs as a simulated box on a fresh box root
under /tmp and a loopback address (--address). A PC then sends it
--requests random but well-framed requests over TCP, one at a time, each
answered before the next: device information, reads of the block
(0x10, any address and length up to 512 bytes), writes of its picture
fields (0x11: brightness, contrast), register reads (0x12), writes into
an FPGA's parameter memory (0x11 at 0x11000, which may answer 3), and, one
request in 200, an upload, in turn a logo of 64-384 KiB ("LOGO") and an
overlay description of 64 KiB-5 MiB ("OSDS": a valid one padded with
spaces), its pieces of 4 KiB counted as one request. The seed is printed. Printed: the box's RSS
(VmRSS) once it answers, after the first 1,000 requests, and every 5,000.
"""
import argparse
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "docs", "examples"))
import kel_client  # noqa: E402
from kel_client import BRIGHTNESS, BoxError  # noqa: E402

ADDRESS = "127.0.54.40"
CONTRAST = 2178
FPGA_MEMORY = 0x11000
FPGA_MEMORY_BYTES = 0x400
LOGO_SIZES = (64 << 10, 384 << 10)
OVERLAY = b'{"name":"none","osdcount":0,"oactcount":0}'
OVERLAY_SIZES = (64 << 10, 5 << 20)
UPLOAD_EVERY = 200
REPORT_FIRST = 1000
REPORT_EVERY = 5000


def rss_mb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


def connect(address, deadline):
    while True:
        try:
            return kel_client.Box(address)
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.05)


def one_request(pc, rng):
    """A random request; a refusal (status not 0) is an answer like any other."""
    kind = rng.randrange(6)
    try:
        if kind == 0:
            pc.device_information()
        elif kind == 1:
            pc.read(rng.randrange(0, 4096), rng.randrange(1, 513))
        elif kind == 2:
            pc.write_u16(rng.choice((BRIGHTNESS, CONTRAST)), rng.randrange(0, 256))
        elif kind == 3:
            pc.read_register(rng.randrange(0, 64))
        elif kind == 4:
            at = rng.randrange(0, FPGA_MEMORY_BYTES - 16)
            pc.write(FPGA_MEMORY + at, bytes(rng.randrange(256) for _ in range(16)))
        else:
            pc.read(FPGA_MEMORY + rng.randrange(0, FPGA_MEMORY_BYTES - 64), 64)
    except BoxError:
        pass


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--requests", type=int, default=20000)
    parser.add_argument("--seed", type=int, default=random.randrange(1, 100000))
    parser.add_argument("--address", default=ADDRESS)
    parser.add_argument("program")
    args = parser.parse_args()
    print("seed %d" % args.seed, flush=True)
    rng = random.Random(args.seed)
    root = tempfile.mkdtemp(prefix="kel-memory-")
    log = open(root + ".log", "w")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    box = subprocess.Popen([args.program, "--box-root", root, "--address", args.address], env=env, stdout=log,
                           stderr=subprocess.STDOUT)
    try:
        pc = connect(args.address, time.monotonic() + 60)
        pc.device_information()
        time.sleep(5)  # the inputs and the FPGAs come up
        print("| requests | RSS, MB |\n|---|---|", flush=True)
        print("| 0 | %.1f |" % rss_mb(box.pid), flush=True)
        for n in range(1, args.requests + 1):
            if n % UPLOAD_EVERY == 0:
                try:
                    if n % (2 * UPLOAD_EVERY):
                        pc.upload(b"LOGO", os.urandom(rng.randrange(*LOGO_SIZES)))
                    else:
                        pc.upload(b"OSDS", OVERLAY.ljust(rng.randrange(*OVERLAY_SIZES), b" "))
                except BoxError:
                    pass
            else:
                one_request(pc, rng)
            if n == REPORT_FIRST or n % REPORT_EVERY == 0:
                print("| %d | %.1f |" % (n, rss_mb(box.pid)), flush=True)
        pc.close()
    finally:
        box.kill()
        box.wait()
        log.close()
        shutil.rmtree(root, ignore_errors=True)
        os.unlink(root + ".log")


if __name__ == "__main__":
    main()

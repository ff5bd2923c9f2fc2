#!/usr/bin/env python3
"""The running box's resident memory over a long mixed run, with the LCD in
use (Python 3, standard library only):

    bench/box_memory.py [--requests 100000] [--seed N] [--address 127.0.54.40]
                        [--walk-every 10000] [--pipe-every 50] PROGRAM

PROGRAM (a build's kelR54N) runs as a simulated box on a fresh box root
under /tmp and a loopback address (--address). A PC then sends it
--requests random but well-framed requests, one at a time, each answered
before the next: device information, reads of the block (0x10, any
address and length up to 512 bytes), writes of its picture fields (0x11:
brightness, contrast), register reads (0x12), writes into an FPGA's
parameter memory (0x11 at 0x11000, which may answer 3) and reads of it,
the network search (0x02 over UDP), and, one request in 200, an upload of
1 byte up to the tag's limit (5 MiB at most), the tags in turn: a logo
("LOGO"), an overlay description ("OSDS"), the alias names ("ALIS"), a
kernel ("FKRN"), a smart-mapping scan file ("SMAP"), a recovery file
("RCVR") and a user mode's overlay ("MOxx"); the program's own update
("FMCU") is left out, as it restarts the box. An overlay or alias file is
a valid one padded with spaces, the others random bytes; the pieces of
4 KiB are counted as one request. A refusal is an answer like any other.

Every --pipe-every requests a command goes through the control pipe
(`<box root>/sim/control`), in turn: a key (left, right), a tap on the
LCD's middle, a signal plugged into an input or pulled from it, a sending
port's link down or up, an FPGA's fault on or off. Once the box answers
and then every --walk-every requests, the LCD is walked: every page is
opened from the home page as the operator opens it (taps and keys), its
focus moved, and left again with BACK; the aging log behind its access
code, the self-recovery page with a recovery file stored at the start.
0 leaves out the pipe commands or the walks.

Printed: the seed; the box's RSS (VmRSS) once it answers, after the first
walk, after the first 1,000 requests and every 5,000; at the end the peak
(VmHWM, the most the process ever held) and the end, and how the pipe
commands were answered (the refusals named, the slowest answer).
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
sys.path.insert(0, HERE)
from box_figures import box_environment  # noqa: E402

ADDRESS = "127.0.54.40"
CONTRAST = 2178
FPGA_MEMORY = 0x11000
FPGA_MEMORY_BYTES = 0x400
MiB = 1 << 20
OVERLAY = b'{"name":"none","osdcount":0,"oactcount":0}'
ALIASES = b'{"namelist":{}}'
# The uploads in turn: tag, largest size, what the file holds.
UPLOADS = (
    (b"LOGO", 0x60000, None),
    (b"OSDS", 5 * MiB, OVERLAY),
    (b"ALIS", 5 * MiB, ALIASES),
    (b"FKRN", 5 * MiB, None),
    (b"SMAP", 5 * MiB, None),
    (b"RCVR", 5 * MiB, None),
    (b"MO03", 5 * MiB, OVERLAY),
)
NAMES = {b"SMAP": b"bench.scan", b"RCVR": b"bench.rcv"}
UPLOAD_EVERY = 200
REPORT_FIRST = 1000
REPORT_EVERY = 5000
PIPE_ANSWER_S = 60.0
TIP_S = 3.5  # a tip box takes every key and tap for its 3 seconds

# The pipe commands between the requests, in turn.
PIPE_COMMANDS = (
    "key left", "touch 160 120", "plug 1 1280x720@60", "port 2 down", "fault fpga 1 on", "key right",
    "pull 1", "port 2 up", "fault fpga 1 off",
)

# ---------------------------------------------------------------- the LCD walk

BACK_HOME = ["key back"] * 16 + ["touch 160 120"]  # any state: to the home page, then the main menu
SETTINGS = ["touch 218 172"]
ADVANCED = SETTINGS + ["key right"] * 7 + ["key ok"]
MOVES = ["key right", "key right", "key left"]


def right(n):
    return ["key right"] * n


# Each page from the main menu: the main menu's tiles and the settings
# menu's are tapped or walked to with the keys (the menus open with the
# focus on their first entry); the input choice's crop and EDID buttons
# are the last two stops of its window row.
WALK = (
    ("device information", ["touch 103 87"]),
    ("input choice", ["touch 218 87"]),
    ("input crop from the input choice", ["touch 218 87", "key left", "key left", "key ok"]),
    ("EDID", ["touch 218 87", "key left", "key ok"]),
    ("user modes", ["touch 103 172"]),
    ("settings", SETTINGS),
    ("output settings", SETTINGS + ["key ok"]),
    ("LED settings", SETTINGS + ["key ok", "key ok"]),
    ("sending ports", SETTINGS + ["key ok", "key right", "key ok"]),
    ("input crop", SETTINGS + right(1) + ["key ok"]),
    ("window layout", SETTINGS + right(2) + ["key ok"]),
    ("communication", SETTINGS + right(3) + ["key ok"]),
    ("serial link", SETTINGS + right(3) + ["key ok", "key ok"]),
    ("network address", SETTINGS + right(3) + ["key ok", "key right", "key ok"]),
    ("USB upgrade", SETTINGS + right(3) + ["key ok"] + right(2) + ["key ok"]),
    ("picture quality menu", SETTINGS + right(4) + ["key ok"]),
    ("picture quality", SETTINGS + right(4) + ["key ok", "key ok"]),
    ("colour temperature", SETTINGS + right(4) + ["key ok", "key right", "key ok"]),
    ("test patterns", SETTINGS + right(5) + ["key ok"]),
    ("smart mapping", SETTINGS + right(6) + ["key ok"] + right(3)),
    ("advanced settings", ADVANCED),
    ("LCD display", ADVANCED + ["key ok"]),
    ("other settings", ADVANCED + ["key right", "key ok"]),
    ("self-recovery", ADVANCED + right(2) + ["key ok"]),
    ("factory settings", ADVANCED + right(3) + ["key ok"]),
    # The number keyboard on the LCD's right half: C, 9, 0, 5, 3, OK.
    ("aging log", ADVANCED + right(4) + ["key ok", "touch 240 185", "touch 290 145", "touch 190 185",
                                         "touch 240 105", "touch 290 65", "touch 277 220"]),
)


class Pipe:
    """The box's control pipe: a command's answer is its line in control.log."""

    def __init__(self, root):
        self.pipe = os.path.join(root, "sim", "control")
        self.log = os.path.join(root, "sim", "control.log")
        self.offset = 0
        self.partial = ""
        self.answered = 0
        self.refused = {}
        self.slowest = (0.0, "")

    def _new_lines(self):
        try:
            with open(self.log, "rb") as f:
                size = os.fstat(f.fileno()).st_size
                if size < self.offset:  # the log was started anew
                    self.offset, self.partial = 0, ""
                f.seek(self.offset)
                data = f.read()
        except FileNotFoundError:
            return []
        self.offset += len(data)
        lines = (self.partial + data.decode("utf-8", "replace")).split("\n")
        self.partial = lines.pop()
        return lines

    def run(self, commands):
        """Writes the commands in one write and waits for their answers."""
        self._new_lines()
        started = time.monotonic()
        with open(self.pipe, "w") as f:
            f.write("".join(c + "\n" for c in commands))
        answers = []
        while len(answers) < len(commands):
            answers += self._new_lines()
            if len(answers) < len(commands):
                if time.monotonic() - started > PIPE_ANSWER_S:
                    raise RuntimeError("the control pipe did not answer %s within %d s" % (commands, PIPE_ANSWER_S))
                time.sleep(0.005)
        took = time.monotonic() - started
        if took > self.slowest[0]:
            self.slowest = (took, " / ".join(commands[-3:]))
        for a in answers:
            self.answered += 1
            if a.startswith("error "):
                self.refused[a] = self.refused.get(a, 0) + 1
        return answers

    def walk(self):
        """Every page of the LCD, each from the home page, back home at the end."""
        time.sleep(TIP_S)
        for _, keys in WALK:
            self.run(BACK_HOME + ["lcd"])
            self.run(keys + MOVES + ["lcd"])
        self.run(BACK_HOME[:-1] + ["lcd"])


# ---------------------------------------------------------------- the requests

def rss_mb(pid, field="VmRSS"):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(field + ":"):
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


def one_request(pc, rng, address):
    """A random request; a refusal (status not 0) is an answer like any other."""
    kind = rng.randrange(7)
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
        elif kind == 5:
            pc.read(FPGA_MEMORY + rng.randrange(0, FPGA_MEMORY_BYTES - 64), 64)
        else:
            kel_client.search(address)
    except BoxError:
        pass


def upload(pc, rng, turn):
    tag, largest, content = UPLOADS[turn % len(UPLOADS)]
    if content is None:
        data = os.urandom(rng.randrange(1, largest + 1))
    else:
        data = content.ljust(rng.randrange(len(content), largest + 1), b" ")
    try:
        pc.upload(tag, data, NAMES.get(tag, b""))
    except BoxError:
        pass


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--requests", type=int, default=100000)
    parser.add_argument("--seed", type=int, default=random.randrange(1, 100000))
    parser.add_argument("--address", default=ADDRESS)
    parser.add_argument("--walk-every", type=int, default=10000)
    parser.add_argument("--pipe-every", type=int, default=50)
    parser.add_argument("program")
    args = parser.parse_args()
    print("seed %d" % args.seed, flush=True)
    rng = random.Random(args.seed)
    root = tempfile.mkdtemp(prefix="kel-memory-")
    log = open(root + ".log", "w")
    env = box_environment(root + ".runtime")
    box = subprocess.Popen([args.program, "--box-root", root, "--address", args.address], env=env, stdout=log,
                           stderr=subprocess.STDOUT)
    pipe = Pipe(root)
    try:
        pc = connect(args.address, time.monotonic() + 60)
        pc.device_information()
        time.sleep(5)  # the inputs and the FPGAs come up, the home page shows
        pc.upload(b"RCVR", os.urandom(4096), NAMES[b"RCVR"])  # the self-recovery entry is offered
        print("| requests | RSS, MB |\n|---|---|", flush=True)
        print("| 0 | %.1f |" % rss_mb(box.pid), flush=True)
        if args.walk_every:
            pipe.walk()
            print("| 0, LCD walked | %.1f |" % rss_mb(box.pid), flush=True)
        for n in range(1, args.requests + 1):
            if n % UPLOAD_EVERY == 0:
                upload(pc, rng, n // UPLOAD_EVERY)
            else:
                one_request(pc, rng, args.address)
            if args.pipe_every and n % args.pipe_every == 0:
                pipe.run([PIPE_COMMANDS[(n // args.pipe_every) % len(PIPE_COMMANDS)]])
            if args.walk_every and n % args.walk_every == 0:
                pipe.walk()
            if n == REPORT_FIRST or n % REPORT_EVERY == 0:
                print("| %d | %.1f |" % (n, rss_mb(box.pid)), flush=True)
        pc.close()
        print("peak %.1f MB, end %.1f MB" % (rss_mb(box.pid, "VmHWM"), rss_mb(box.pid)), flush=True)
        print("pipe: %d commands answered, slowest %.2f s (%s)" % (pipe.answered, pipe.slowest[0], pipe.slowest[1]))
        for answer, times in sorted(pipe.refused.items()):
            print("  %d x %s" % (times, answer))
    finally:
        box.kill()
        box.wait()
        log.close()
        shutil.rmtree(root, ignore_errors=True)
        shutil.rmtree(root + ".runtime", ignore_errors=True)
        os.unlink(root + ".log")


if __name__ == "__main__":
    main()

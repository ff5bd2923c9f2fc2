#!/usr/bin/env python3
"""The running box's own figures, for one or more builds side by side
(Python 3, standard library only):

    bench/box_figures.py [--seconds 30] [--rounds 3] [--move-pauses 6,30,120] NAME=PROGRAM [NAME=PROGRAM ...]

Each PROGRAM (a build's kelR54N) runs as a simulated box of its own, on a
fresh box root under /tmp and a loopback address of its own (127.0.54.N),
with the usual ports. Printed, one row per build:

- start-up: seconds from starting the program to the first answer of its
  TCP link (a 2-byte read), the best and the worst of --rounds starts, the
  builds started in turn;
- idle: the share of one core the whole box uses (every thread's run time
  from /proc, `schedstat`) over --seconds, after a signal was plugged into
  each of the four inputs and the box settled; all builds run at once, so
  the machine's other work falls on each alike;
- RSS: the box's resident memory at the end of the idle measurement;
- write to chip: from a PC's write over UDP to the chip's registers showing
  it (read with the control pipe's `chip` dump, so an upper bound), for a
  contrast change (no frame waits) and a move of window 0 (a re-layout
  with its picture hold), the slowest of --rounds each, in ms and in
  frames of the 60 Hz output;
- with --move-pauses: the chip traffic of a move of window 0 after each
  pause (the control pipe's `chip counters`, looked at every few ms, less
  the idle watch passes meanwhile), --rounds moves each, all builds at
  once.
"""
import argparse
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "docs", "examples"))
import kel_client  # noqa: E402
from kel_client import BOX, BRIGHTNESS, TCP_PORT, UDP_PORT, WINDOW0, WINDOW_X, decode, encode  # noqa: E402

CONTRAST = 2178
FRAME_MS = 1000 / 60
SETTLE_S = 5
COUNTED = ("transfers", "reads", "calls")
MOVE_S = 0.3  # a move's pass is over well within this
MOVE_X = 200  # window 0 moves between x 0 and this
SIGNALS = ["plug 0 1920x1080@60", "plug 1 1920x1080@60", "plug 2 1280x720@60", "plug 3 3840x2160@30"]


def box_environment(runtime):
    """The environment a box runs in: drawn offscreen, Qt's runtime folder
    `runtime` (made here), which Qt would make in the temporary folder
    otherwise and leave there."""
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    return dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=runtime)


class Box:
    def __init__(self, name, program, index):
        self.name, self.program = name, program
        self.address = "127.0.54.%d" % (10 + index)
        self.root = tempfile.mkdtemp(prefix="kel-figures-%s-" % name)
        # Beside the root, not in it: the box is started afresh in an empty root.
        self.log_path = self.root + ".log"
        self.runtime = self.root + ".runtime"
        self.proc = None

    def start(self):
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.root)
        env = box_environment(self.runtime)
        self.log = open(self.log_path, "w")
        self.started = time.monotonic()
        self.proc = subprocess.Popen([self.program, "--box-root", self.root, "--address", self.address],
                                     env=env, stdout=self.log, stderr=subprocess.STDOUT)

    def stop(self):
        if self.proc:
            self.proc.kill()
            self.proc.wait()
            self.proc = None
        self.log.close()

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)
        shutil.rmtree(self.runtime, ignore_errors=True)
        try:
            os.unlink(self.log_path)
        except OSError:
            pass

    def wait_answer(self, timeout=60):
        """Seconds from the start to the first answer of the TCP link."""
        request = encode(BOX, 0x10, struct.pack("<IH", BRIGHTNESS, 2))
        deadline = self.started + timeout
        while time.monotonic() < deadline:
            try:
                with socket.create_connection((self.address, TCP_PORT), timeout=0.5) as s:
                    s.sendall(request)
                    if s.recv(64):
                        return time.monotonic() - self.started
            except OSError:
                time.sleep(0.005)
        raise RuntimeError("%s: no answer on TCP within %d s" % (self.name, timeout))

    def control(self, line, timeout=10):
        """A control-pipe command; waits for its outcome in control.log."""
        log = os.path.join(self.root, "sim", "control.log")
        before = os.path.getsize(log) if os.path.exists(log) else 0
        with open(os.path.join(self.root, "sim", "control"), "w") as pipe:
            pipe.write(line + "\n")
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if os.path.exists(log) and os.path.getsize(log) > before:
                with open(log) as f:
                    f.seek(before)
                    outcome = f.read()
                if outcome.endswith("\n"):
                    if not outcome.startswith("ok"):
                        raise RuntimeError("%s: %s" % (self.name, outcome.strip()))
                    return
            time.sleep(0.001)
        raise RuntimeError("%s: no outcome for %r" % (self.name, line))

    def chip(self):
        self.control("chip")
        with open(os.path.join(self.root, "sim", "chip.txt")) as f:
            return f.read()

    def counters(self):
        """The chip's SPI counters, by name."""
        self.control("chip counters")
        with open(os.path.join(self.root, "sim", "chip-counters.txt")) as f:
            return {line.split()[0]: int(line.split()[1]) for line in f if line.strip()}

    def idle_pass(self):
        """What one idle watch pass of the chip manager costs: the commonest
        change of the chip's counters between two looks a few ms apart."""
        seen, last = {}, self.counters()
        deadline = time.monotonic() + 1
        while time.monotonic() < deadline:
            now = self.counters()
            step = tuple(now[k] - last[k] for k in COUNTED)
            if any(step):
                seen[step] = seen.get(step, 0) + 1
            last = now
        return max(seen, key=seen.get)

    def move_cost(self, x, idle):
        """The chip traffic of one move of window 0 to `x`: the counters,
        looked at every few ms from before the write until the pass is
        surely over, less each look that changed by one idle watch pass
        exactly (the manager runs one pass at a time)."""
        last = self.counters()
        total = [0] * len(COUNTED)
        self.write(WINDOW0 + WINDOW_X, struct.pack("<H", x))
        deadline = time.monotonic() + MOVE_S
        while time.monotonic() < deadline:
            now = self.counters()
            step = tuple(now[k] - last[k] for k in COUNTED)
            if step != idle:
                total = [t + d for t, d in zip(total, step)]
            last = now
        return dict(zip(COUNTED, total))

    def cpu_ns(self):
        total = 0
        for task in os.listdir("/proc/%d/task" % self.proc.pid):
            try:
                with open("/proc/%d/task/%s/schedstat" % (self.proc.pid, task)) as f:
                    total += int(f.read().split()[0])
            except OSError:
                pass
        return total

    def rss_mb(self):
        with open("/proc/%d/status" % self.proc.pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) / 1024
        return 0

    def write(self, offset, data):
        """A RAM write over UDP; returns once the box has acknowledged it."""
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.settimeout(2)
            s.connect((self.address, UDP_PORT))
            s.send(encode(BOX, 0x11, struct.pack("<I", offset) + data))
            if decode(s.recv(2048))[3][:1] != b"\x00":
                raise RuntimeError("%s: write refused" % self.name)

    def write_reaches_chip(self, offset, values):
        """Milliseconds from each write to the chip's registers showing it."""
        took = []
        for value in values:
            before = self.chip()
            sent = time.monotonic()
            self.write(offset, value)
            while self.chip() == before:
                if time.monotonic() - sent > 5:
                    raise RuntimeError("%s: the write never reached the chip" % self.name)
            took.append((time.monotonic() - sent) * 1000)
            time.sleep(0.3)
        return took


def moves_after_pauses(box, pauses, rounds, row):
    """Window 0 moved `rounds` times after each pause: the chip traffic of
    each move, kept in `row` by pause."""
    idle = box.idle_pass()
    reader = kel_client.Box(box.address)
    x = reader.read_u16(WINDOW0 + WINDOW_X)
    reader.close()
    for pause in pauses:
        costs = []
        for _ in range(rounds):
            time.sleep(pause)
            x = MOVE_X - x if x in (0, MOVE_X) else 0
            costs.append(box.move_cost(x, idle))
        row["moves"] = row.get("moves", []) + [(pause, costs)]


def load():
    return "load average %s, %d CPUs" % (" ".join(open("/proc/loadavg").read().split()[:3]), os.cpu_count())


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seconds", type=float, default=30, help="idle measurement (default 30)")
    parser.add_argument("--rounds", type=int, default=3, help="start-ups and writes per build (default 3)")
    parser.add_argument("--move-pauses", default="", metavar="S,S,...",
                        help="also move window 0 --rounds times after each of these pauses (s)")
    parser.add_argument("builds", nargs="+", metavar="NAME=PROGRAM")
    args = parser.parse_args()
    boxes = [Box(*b.split("=", 1), i) for i, b in enumerate(args.builds)]
    rows = {b.name: {} for b in boxes}
    try:
        print("start-up; %s" % load(), flush=True)
        starts = {b.name: [] for b in boxes}
        for _ in range(args.rounds):
            for b in boxes:
                b.start()
                starts[b.name].append(b.wait_answer())
                b.stop()
        for b in boxes:
            b.start()
        for b in boxes:
            b.wait_answer()
            for line in SIGNALS:
                b.control(line)
        time.sleep(SETTLE_S)
        print("idle over %g s, all builds at once; %s" % (args.seconds, load()), flush=True)
        cpu0 = {b.name: b.cpu_ns() for b in boxes}
        t0 = time.monotonic()
        time.sleep(args.seconds)
        elapsed = time.monotonic() - t0
        for b in boxes:
            rows[b.name]["idle"] = (b.cpu_ns() - cpu0[b.name]) / 1e9 / elapsed * 100
            rows[b.name]["rss"] = b.rss_mb()
        print("writes to the chip; %s" % load(), flush=True)
        contrasts = [struct.pack("<H", 50 + 10 * (i % 2)) for i in range(1, args.rounds + 1)]
        moves = [struct.pack("<H", MOVE_X * (i % 2)) for i in range(1, args.rounds + 1)]
        for b in boxes:
            rows[b.name]["contrast"] = max(b.write_reaches_chip(CONTRAST, contrasts))
            rows[b.name]["move"] = max(b.write_reaches_chip(WINDOW0 + WINDOW_X, moves))
        pauses = [float(p) for p in args.move_pauses.split(",") if p]
        if pauses:
            print("window moves after pauses of %s s, all builds at once; %s" % (args.move_pauses, load()),
                  flush=True)
            threads = [threading.Thread(target=moves_after_pauses, args=(b, pauses, args.rounds, rows[b.name]))
                       for b in boxes]
            for t in threads:
                t.start()
            for t in threads:
                t.join()
    finally:
        for b in boxes:
            if b.proc:
                b.stop()
            b.remove()
    print()
    print("| build | start-up | idle, % of a core | RSS | contrast to chip | window move to chip |")
    print("|---|---|---|---|---|---|")
    for b in boxes:
        r = rows[b.name]
        print("| %s | %.2f-%.2f s | %.2f %% | %.1f MB | %.0f ms (%.1f frames) | %.0f ms (%.1f frames) |" % (
            b.name, min(starts[b.name]), max(starts[b.name]), r["idle"], r["rss"],
            r["contrast"], r["contrast"] / FRAME_MS, r["move"], r["move"] / FRAME_MS))
    if any("moves" in rows[b.name] for b in boxes):
        print()
        print("| build | " + " | ".join("after %g s: transfers, reads" % p for p, _ in rows[boxes[0].name]["moves"])
              + " |")
        print("|---" * (1 + len(rows[boxes[0].name]["moves"])) + "|")
        for b in boxes:
            cells = []
            for _, costs in rows[b.name]["moves"]:
                t = sorted(c["transfers"] for c in costs)
                r = sorted(c["reads"] for c in costs)
                cells.append("%d-%d, %d-%d" % (t[0], t[-1], r[0], r[-1]))
            print("| %s | %s |" % (b.name, " | ".join(cells)))
    print(load())
    return 0


if __name__ == "__main__":
    sys.exit(main())

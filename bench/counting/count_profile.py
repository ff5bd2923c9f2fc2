#!/usr/bin/env python3
"""Where counted instructions went: reads the count plugin's profile file
(blocks per counted stretch: "<address> <instructions> <runs>" lines, each
stretch closed by "end") and the guest's mappings (PROFILE.maps), and prints
each stretch's instructions by library and by function (the function that
holds each block's first instruction: its own instructions, not those of
what it calls), the largest first.

    count_profile.py PROFILE [--stretch N ...] [--top N]

Functions come from each file's symbol table (the dynamic one where the
file has no other, as Debian's libraries do: an unexported function's
instructions then count under the exported one before it)."""
import argparse
import bisect
import collections
import os
import subprocess
import sys

TOOLS = "arm-linux-gnueabihf-"


def stretches(path):
    blocks = []
    with open(path) as f:
        for line in f:
            if line.startswith("end"):
                yield blocks
                blocks = []
                continue
            address, instructions, runs = line.split()
            blocks.append((int(address, 16), int(instructions) * int(runs)))


def mappings(path):
    """(start, end, file offset, file) of each mapped file."""
    out = []
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) < 6 or not parts[5].startswith("/"):
                continue
            start, end = (int(x, 16) for x in parts[0].split("-"))
            out.append((start, end, int(parts[2], 16), parts[5]))
    out.sort()
    return out


class ElfFile:
    def __init__(self, path):
        self.loads = []  # (file offset, size, address)
        text = subprocess.run([TOOLS + "readelf", "-lW", path], capture_output=True, text=True).stdout
        for line in text.splitlines():
            parts = line.split()
            if parts and parts[0] == "LOAD":
                self.loads.append((int(parts[1], 16), int(parts[4], 16), int(parts[2], 16)))
        symbols = {}
        for flags in (["--defined-only"], ["--defined-only", "-D"]):
            text = subprocess.run([TOOLS + "nm", "-C", *flags, path], capture_output=True, text=True).stdout
            for line in text.splitlines():
                parts = line.split(" ", 2)
                if len(parts) < 3 or parts[1].lower() not in "tw" or parts[2].startswith("$"):
                    continue
                symbols.setdefault(int(parts[0], 16) & ~1, parts[2])
            if symbols:
                break
        self.addresses = sorted(symbols)
        self.names = [symbols[a] for a in self.addresses]

    def address(self, offset):
        for start, size, address in self.loads:
            if start <= offset < start + size:
                return offset - start + address
        return offset

    def function(self, address):
        i = bisect.bisect_right(self.addresses, address) - 1
        return self.names[i] if i >= 0 else "?"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("profile")
    parser.add_argument("--stretch", type=int, action="append", help="only these stretches (from 1)")
    parser.add_argument("--top", type=int, default=30)
    args = parser.parse_args()
    maps = mappings(args.profile + ".maps")
    starts = [m[0] for m in maps]
    files = {}
    for number, blocks in enumerate(stretches(args.profile), 1):
        if args.stretch and number not in args.stretch:
            continue
        by_library = collections.Counter()
        by_function = collections.Counter()
        total = 0
        for address, n in blocks:
            total += n
            i = bisect.bisect_right(starts, address) - 1
            if i < 0 or address >= maps[i][1]:
                by_library["?"] += n
                by_function["? (no file)"] += n
                continue
            start, _, offset, path = maps[i]
            if path not in files:
                files[path] = ElfFile(path)
            elf = files[path]
            library = os.path.basename(path)
            by_library[library] += n
            by_function[(elf.function(elf.address(address - start + offset)), library)] += n
        print(f"## stretch {number}: {total:,} instructions")
        for library, n in by_library.most_common(12):
            print(f"  {n:>12,} {100 * n / total:5.1f}%  {library}")
        print()
        for key, n in by_function.most_common(args.top):
            name, library = key if isinstance(key, tuple) else (key, "")
            print(f"  {n:>12,} {100 * n / total:5.1f}%  {name[:110]}  [{library}]")
        print()
    return 0


if __name__ == "__main__":
    sys.exit(main())

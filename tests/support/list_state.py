#!/usr/bin/env python3
"""Lists the writable variables of the box's own code in a test program.

    list_state.py --nm NM --objdump OBJDUMP --out FILE PROGRAM ARCHIVE...

ARCHIVE... are the program's layer libraries, the platform's among them.
FILE gets one line per variable of theirs in PROGRAM's .data or .bss: link
address (hex), size (decimal) and name, and one per thread_local, its offset
in the thread's block (hex) marked with a "t", which the test support reads to
see what a case leaves behind (tests/support/left_state.*). A local variable
is the box's when the source file it comes from is one of the archives'
members; any other when an archive defines its name.
"""
import argparse
import os
import subprocess
import sys

WRITABLE = ('.data', '.bss')
THREAD_LOCAL = ('.tdata', '.tbss')


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def archive_contents(nm, archives):
    """The source files of the archives' members and the names they define."""
    files, names = set(), set()
    for archive in archives:
        for line in run(nm, '--defined-only', '-A', '-C', archive).splitlines():
            where, _, rest = line.partition(' ')
            member = where.split(':')[-2] if where.count(':') >= 2 else ''
            if member.endswith('.o'):
                files.add(member[:-2])
            fields = rest.split(' ', 1)
            if len(fields) == 2:
                names.add(fields[1])
    return files, names


def writable_variables(objdump, program, files, names):
    """(address, size, name) of the archives' variables in the program; a
    thread_local's address is its offset in the thread's block, as text "t<hex>"."""
    found = []
    source = ''
    for line in run(objdump, '-t', '-C', program).splitlines():
        left, tab, right = line.partition('\t')
        fields = left.split()
        if not tab or len(fields) < 3:
            continue
        address, section = fields[0], fields[-1]
        # The seven flag characters follow the address and a space; the
        # address is 8 hex digits in a 32-bit program, 16 in a 64-bit one.
        flags = left[len(address) + 1:len(address) + 8]
        size_text, _, name = right.strip().partition(' ')
        name = name.strip()
        if 'f' in flags and section == '*ABS*':
            source = name  # the local symbols after it come from this file
            continue
        thread_local = section in THREAD_LOCAL
        if not thread_local and (section not in WRITABLE or 'O' not in flags):
            continue
        local = flags[0] == 'l'
        if (local and source in files) or (not local and name in names):
            found.append((thread_local, int(address, 16), int(size_text, 16), name))
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--nm', required=True)
    parser.add_argument('--objdump', required=True)
    parser.add_argument('--out', required=True)
    parser.add_argument('program')
    parser.add_argument('archives', nargs='+')
    args = parser.parse_args()
    files, names = archive_contents(args.nm, args.archives)
    found = writable_variables(args.objdump, args.program, files, names)
    if not found:
        sys.exit('list_state.py: no variable of the box found in ' + args.program)
    os.makedirs(os.path.dirname(args.out), exist_ok=True)
    with open(args.out + '.new', 'w') as out:
        for thread_local, address, size, name in sorted(found):
            out.write('%s%x %d %s\n' % ('t' if thread_local else '', address, size, name))
    os.replace(args.out + '.new', args.out)


if __name__ == '__main__':
    main()

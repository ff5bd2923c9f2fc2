#!/usr/bin/env python3
"""A small control client for the box, written from docs/protocol.md and
docs/parameter-block.md alone (Python 3, standard library only).

    python3 kel_client.py --address 127.0.0.1       # a simulated box on this PC
    python3 kel_client.py --broadcast                # search the network, use the first box

It finds the box, reads its device information, sets the brightness, moves
window 0, gives sending port 0 its area of the LED canvas, saves the picture
as user mode 3 and recalls it, uploads an overlay and switches it on. It exits with status 0 when every step did what
the documents say, 1 otherwise.
"""
import argparse
import socket
import struct
import sys
import time
import zlib

TCP_PORT, UDP_PORT = 5005, 5008
BOX, ANY_BOX, PC = 0x00, 0xFF, 0xFE
START, END, ESC = 0xA5, 0x5A, 0xAA

# Block offsets (docs/parameter-block.md).
CURRENT_MODE = 866
MODE_SAVE_REQUEST = 868
USER_MODE_START = 896          # a user mode holds block offsets 896-4095
USER_MODE_SIZE = 3200
OSD_ENABLE = 2124
BRIGHTNESS = 2176
WINDOW0 = 2272                 # window i at 2272 + 26 i
WINDOW_X = 10                  # x, y, w, h: four u16 from +10
SLOT_STEP = 0x1000             # user-mode slot m at 0x1000 m
SLOT_DATA = 2                  # slot byte 2 + k = block offset 896 + k
REG_MODE_FLAGS = 11            # bit 3: read the overlay file again
REG_SAVE_STATE = 44            # saving fails: bit 1, a user-mode file waits for the disk
MODE_FILE_WAITS = 0x02

# RAM addresses of the FPGAs' parameter memories (docs/protocol.md).
FPGA_MEMORY = 0x11000          # FPGA f's 1 KB at 0x11000 + 0x400 f
PORT0_AREA = 8                 # sending port 0's x, y, w, h: four u16 in FPGA 0's


class BoxError(Exception):
    pass


def encode(target, command, payload=b"", source=PC, sub=0):
    body = bytes([target, source, command, sub]) + struct.pack("<H", len(payload)) + payload
    check = 0
    for b in body:
        check ^= b
    body += bytes([check])
    out = bytearray([START])
    for b in body:
        if b in (START, END, ESC):
            out += bytes([ESC, b ^ 0x20])
        else:
            out.append(b)
    out.append(END)
    return bytes(out)


def decode(frame):
    """One whole frame (0xA5 ... 0x5A) to (target, source, command, payload)."""
    body, i = bytearray(), 1
    while i < len(frame) - 1:
        if frame[i] == ESC:
            body.append(frame[i + 1] ^ 0x20)
            i += 2
        else:
            body.append(frame[i])
            i += 1
    check = 0
    for b in body[:-1]:
        check ^= b
    (length,) = struct.unpack_from("<H", body, 4)
    if check != body[-1] or length != len(body) - 7:
        raise BoxError("bad reply frame")
    return body[0], body[1], body[2], bytes(body[6:6 + length])


def crc32(data):
    """The protocol's CRC-32: initial value 0, no final XOR."""
    return zlib.crc32(data, 0xFFFFFFFF) ^ 0xFFFFFFFF


def search(address=None, timeout=2.0):
    """Network search (0x02) over UDP: a list of (reply sender, box address,
    TCP port). With an address the request goes to that box only (a box on
    this PC's loopback, or a known box); without, it is broadcast."""
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    s.bind(("", 0))
    s.settimeout(timeout)
    s.sendto(encode(ANY_BOX, 0x02), (address or "255.255.255.255", UDP_PORT))
    found, deadline = [], time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            data, sender = s.recvfrom(2048)
        except socket.timeout:
            break
        target, _, command, payload = decode(data)
        if target != PC or command != 0x02 or not payload or payload[0] != 0:
            continue
        ip = ".".join(str(b) for b in payload[1:5])
        (port,) = struct.unpack_from("<H", payload, 13)
        found.append((sender[0], ip, port))
        if address:
            break
    s.close()
    return found


class Box:
    """One box over TCP: one request, one reply."""

    def __init__(self, address, port=TCP_PORT, timeout=5.0):
        self.sock = socket.create_connection((address, port), timeout=timeout)
        self.buf = b""

    def close(self):
        self.sock.close()

    def _frame(self):
        while True:
            start = self.buf.find(bytes([START]))
            if start >= 0:
                end = self.buf.find(bytes([END]), start)
                if end >= 0:
                    frame, self.buf = self.buf[start:end + 1], self.buf[end + 1:]
                    return frame
            data = self.sock.recv(65536)
            if not data:
                raise BoxError("connection closed")
            self.buf += data

    def ask(self, command, payload=b""):
        """Sends a request; returns the reply's payload after status 0."""
        self.sock.sendall(encode(BOX, command, payload))
        _, _, cmd, reply = decode(self._frame())
        if cmd != command or not reply:
            raise BoxError("reply to 0x%02X for 0x%02X" % (cmd, command))
        if reply[0] != 0:
            raise BoxError("command 0x%02X: status %d" % (command, reply[0]))
        return reply[1:]

    def read(self, address, count):
        return self.ask(0x10, struct.pack("<IH", address, count))[6:]

    def write(self, address, data):
        self.ask(0x11, struct.pack("<I", address) + data)

    def read_u16(self, offset):
        return struct.unpack("<H", self.read(offset, 2))[0]

    def write_u16(self, offset, *values):
        self.write(offset, struct.pack("<%dH" % len(values), *values))

    def read_register(self, register):
        return self.ask(0x12, bytes([register, 1]))[0]

    def write_register(self, register, value):
        self.ask(0x13, bytes([register, value]))

    def device_information(self):
        p = self.ask(0x01)
        (pixels,) = struct.unpack_from("<I", p, 64)
        return {"bar code": p[:32].decode("ascii").rstrip(), "PID": p[32:64].decode("ascii"),
                "max pixels": pixels, "version": p[68:].decode("ascii", "replace")}

    def save_mode(self, mode, seconds=10.0):
        """Saves the live picture as user mode 1-16. The box clears the
        request once it has carried the save out; the save is done once
        register 44 bit 1 is clear too: while it is set the mode's file
        waits for the disk (full or read-only), and the slot holds what it
        held before."""
        deadline = time.monotonic() + seconds
        self.write_u16(MODE_SAVE_REQUEST, mode)
        wait_for(lambda: self.read_u16(MODE_SAVE_REQUEST) == 0, "user mode %d carried out" % mode, seconds)
        wait_for(lambda: not self.read_register(REG_SAVE_STATE) & MODE_FILE_WAITS,
                 "user mode %d in its file (register 44 bit 1: the file waits for the disk)" % mode,
                 max(0.0, deadline - time.monotonic()))

    def recall_mode(self, mode):
        """Copies user mode 1-16 back into the block: its 3200 bytes over
        offsets 896-4095 and current_mode, in one write from 866."""
        slot = self.read(SLOT_STEP * mode, 2 + USER_MODE_SIZE)
        if slot[:2] != b"\xAA\xAA":
            raise BoxError("user mode %d is not saved" % mode)
        between = self.read(MODE_SAVE_REQUEST + 2, USER_MODE_START - MODE_SAVE_REQUEST - 2)
        self.write(CURRENT_MODE, struct.pack("<HH", mode, 0) + between + slot[SLOT_DATA:])

    def upload(self, tag, data, name=b""):
        """File transfer: start, the data in pieces of 4096 bytes, end."""
        self.ask(0x20, tag + struct.pack("<IB", len(data), 0) + name)
        for at in range(0, len(data), 4096):
            self.ask(0x21, struct.pack("<I", at) + data[at:at + 4096])
        self.ask(0x22, struct.pack("<I", crc32(data)))


def wait_for(condition, what, seconds=10.0):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise BoxError("timed out waiting for: " + what)
        time.sleep(0.1)


OVERLAY = """{"name": "example", "osdcount": 1, "oactcount": 1, "menu": [
  {"type": 0, "status": "on",
   "pos": {"x": 0, "y": 0, "w": 640, "h": 32, "layer": "top"},
   "act": {"effect": 0, "speed": 0, "staytime": 0},
   "backpara": {"enable": "on", "color": "000080"},
   "fontpara": {"startx": 0, "starty": 0, "fontw": 32, "fonth": 32,
                "wordspace": 0, "verticalspace": 0, "color": "FFFFFF"},
   "texts": ["Hello from the example client"]}]}
""".encode("utf-8")


def run(address):
    found = search(address)
    if not found:
        raise BoxError("no box answered the search")
    sender, configured, port = found[0]
    print("search: box at %s (its configured address %s, TCP port %d)" % (sender, configured, port))

    # On this PC's loopback the configured address is not reachable: connect
    # to the address the reply came from.
    box = Box(sender, port)
    info = box.device_information()
    print("device: bar code %r, PID %s, version %s" % (info["bar code"], info["PID"], info["version"]))

    box.write_u16(BRIGHTNESS, 80)
    assert box.read_u16(BRIGHTNESS) == 80
    print("brightness: 80")

    box.write_u16(WINDOW0 + WINDOW_X, 100, 50, 960, 540)
    x, y, w, h = struct.unpack("<4H", box.read(WINDOW0 + WINDOW_X, 8))
    assert (x, y, w, h) == (100, 50, 960, 540)
    print("window 0: %d x %d at %d, %d" % (w, h, x, y))

    box.write_u16(FPGA_MEMORY + PORT0_AREA, 128, 64, 1536, 896)
    assert struct.unpack("<4H", box.read(FPGA_MEMORY + PORT0_AREA, 8)) == (128, 64, 1536, 896)
    print("sending port 0: 1536 x 896 at 128, 64 of the LED canvas")

    box.save_mode(3)
    assert box.read_u16(CURRENT_MODE) == 3
    print("user mode 3 saved")

    box.write_u16(BRIGHTNESS, 30)
    box.write_u16(WINDOW0 + WINDOW_X, 0, 0)
    box.recall_mode(3)
    assert box.read_u16(BRIGHTNESS) == 80, "brightness after the recall"
    assert struct.unpack("<2H", box.read(WINDOW0 + WINDOW_X, 4)) == (100, 50), "window after the recall"
    assert box.read_u16(CURRENT_MODE) == 3
    print("user mode 3 recalled: brightness 80, window 0 at 100, 50 again")

    box.upload(b"OSDS", OVERLAY)
    if box.read_u16(OSD_ENABLE) == 1:
        box.write_register(REG_MODE_FLAGS, 0x08)  # already on: read the new file
    else:
        box.write_u16(OSD_ENABLE, 1)              # turning it on reads the file
    assert box.read_u16(OSD_ENABLE) == 1
    print("overlay uploaded (%d bytes) and on" % len(OVERLAY))
    box.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--address", default="127.0.0.1", help="the box's address (default 127.0.0.1)")
    where.add_argument("--broadcast", action="store_true", help="search by broadcast")
    args = parser.parse_args()
    try:
        run(None if args.broadcast else args.address)
    except (BoxError, AssertionError, OSError) as e:
        print("failed: %s" % e, file=sys.stderr)
        return 1
    print("all done")
    return 0


if __name__ == "__main__":
    sys.exit(main())

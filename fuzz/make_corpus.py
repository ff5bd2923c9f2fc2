#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz harnesses (corpus/<name>/*.bin).

Run from this folder after changing the protocol; the files are committed.
"""
import os
import struct
import zlib


def frame(target, source, cmd, sub, payload):
    body = bytes([target, source, cmd, sub]) + struct.pack('<H', len(payload)) + bytes(payload)
    check = 0
    for b in body:
        check ^= b
    body += bytes([check])
    out = bytearray([0xA5])
    for b in body:
        if b in (0xA5, 0x5A, 0xAA):
            out += bytes([0xAA, b ^ 0x20])
        else:
            out.append(b)
    out.append(0x5A)
    return bytes(out)


def crc32(data):
    """The file CRC of the transfers: reflected 0xEDB88320, initial 0, no final XOR."""
    crc = 0
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xEDB88320 if crc & 1 else crc >> 1
    return crc


PC, BOX, ANY = 0xFE, 0x00, 0xFF

REQUESTS = {
    'device_info': frame(BOX, PC, 0x01, 0, b''),
    'net_search': frame(ANY, PC, 0x02, 0, b''),
    'net_address': frame(BOX, PC, 0x03, 0, bytes([192, 168, 1, 50, 255, 255, 255, 0, 192, 168, 1, 1]) + struct.pack('<H', 5005)),
    'net_address_port': frame(BOX, PC, 0x03, 0, bytes([10, 0, 0, 2, 255, 0, 0, 0, 10, 0, 0, 1]) + struct.pack('<H', 6000)),
    'hw_address': frame(BOX, PC, 0x04, 0, bytes([0x02, 0x11, 0x22, 0x33, 0x44, 0x55])),
    'barcode': frame(BOX, PC, 0x05, 0, b'KEL-0001-A5Z'),
    'language': frame(BOX, PC, 0x06, 0, bytes([0x1F, 1])),
    'cloud_ip': frame(BOX, PC, 0x07, 0, b'10.1.2.3'),
    'cloud_port': frame(BOX, PC, 0x07, 1, b'8080'),
    'read_block': frame(BOX, PC, 0x10, 0, struct.pack('<IH', 0x0880, 2)),
    'read_slot': frame(BOX, PC, 0x10, 0, struct.pack('<IH', 0x3000, 4098)),
    'read_max': frame(BOX, PC, 0x10, 0, struct.pack('<IH', 0, 4096)),
    'write_block': frame(BOX, PC, 0x11, 0, struct.pack('<I', 0x0880) + struct.pack('<H', 80)),
    'write_save_request': frame(BOX, PC, 0x11, 0, struct.pack('<I', 868) + struct.pack('<H', 3)),
    'write_slot': frame(BOX, PC, 0x11, 0, struct.pack('<I', 0x2000) + bytes([0xAA, 0xAA, 1, 2, 3])),
    'read_fpga_memory': frame(BOX, PC, 0x10, 0, struct.pack('<IH', 0x11008, 8)),
    'write_fpga_memory': frame(BOX, PC, 0x11, 0, struct.pack('<I', 0x11008) + struct.pack('<4H', 128, 64, 1536, 896)),
    'read_regs': frame(BOX, PC, 0x12, 0, bytes([0, 170])),
    'write_reg11': frame(BOX, PC, 0x13, 0, bytes([11, 0x0C])),
    'write_reg14': frame(BOX, PC, 0x13, 0, bytes([14, 0x01])),
    'write_rega3': frame(BOX, PC, 0x13, 0, bytes([0xA3, 0x00])),
    'write_rega1': frame(BOX, PC, 0x13, 0, bytes([0xA1, 0x01])),
    'passby': frame(0x12, PC, 0x30, 0, bytes([0xFF, 0x01]) + struct.pack('<IH', 0x100, 4) + b'\x01\x02\x03\x04'),
    'unknown': frame(BOX, PC, 0x55, 0, b'\xA5\x5A\xAA'),
    'file_start': frame(BOX, PC, 0x20, 0, b'LOGO'),
}

FILE_DATA = b'{"a":1}\n'
FILES = {
    'file_start_osds': frame(BOX, PC, 0x20, 0, b'OSDS' + struct.pack('<IB', len(FILE_DATA), 0)),
    'file_start_named': frame(BOX, PC, 0x20, 0, b'SMAP' + struct.pack('<IB', 8, 13) + b'hall.ztfile'),
    'file_start_escape': frame(BOX, PC, 0x20, 0, b'RCVR' + struct.pack('<IB', 8, 0) + b'../x'),
    'file_start_mode': frame(BOX, PC, 0x20, 0, b'MO0a' + struct.pack('<IB', 8, 0)),
    'file_data': frame(BOX, PC, 0x21, 0, struct.pack('<I', 0) + FILE_DATA),
    'file_end': frame(BOX, PC, 0x22, 0, struct.pack('<I', crc32(FILE_DATA))),
    'file_delete': frame(BOX, PC, 0x23, 0, b''),
    'flash_erase': frame(BOX, PC, 0x70, 0, struct.pack('<BBII', 4, 2, 8, 1)),
    'flash_write': frame(BOX, PC, 0x71, 0, struct.pack('<BI', 4, 0x100) + bytes(range(64))),
    'flash_read': frame(BOX, PC, 0x72, 0, struct.pack('<BIH', 4, 0x100, 64)),
    'write_reg14_fonts': frame(BOX, PC, 0x13, 0, bytes([14, 0x08])),
}
# A whole transfer in one stream: start, data, end.
FILES['transfer'] = FILES['file_start_osds'] + FILES['file_data'] + FILES['file_end']
# A name the start's cleanup of unfinished writes would remove.
FILES['file_start_stale_name'] = frame(BOX, PC, 0x20, 0, b'RCVR' + struct.pack('<IB', 8, 0) + b'r1.new')

GARBAGE = {
    'noise_then_frame': b'\x00\x5a\x13\xaa\x8a' + REQUESTS['read_block'],
    'cut_frame': REQUESTS['read_block'][:7] + REQUESTS['device_info'],
    'bad_escape': b'\xa5\x00\xfe\x01\x00\x01\x00\xaa\x00\x00\x5a',
    'too_long': b'\xa5\x00\xfe\x11\x00\x69\x10' + b'\x01' * 64 + b'\x5a',
    'merged': REQUESTS['read_block'] + REQUESTS['read_regs'] + REQUESTS['device_info'],
}


TEXT_ENTRY = ('{"type":0,"status":"on","pos":{"x":10,"y":20,"w":300,"h":64,"layer":"buttom"},'
              '"act":{"effect":1,"speed":5,"staytime":0},"backpara":{"enable":"on","color":"102030"},'
              '"fontpara":{"startx":4,"starty":6,"fontw":%d,"fonth":%d,"wordspace":2,"verticalspace":3,'
              '"color":"FF0000"},"texts":[%s]}')
BITMAP_ENTRY = ('{"type":1,"status":"on","pos":{"x":0,"y":0,"w":1920,"h":1080},'
                '"act":{"effect":0,"speed":1,"staytime":0},"bmppara":{},"start":0,"end":1}')


def overlay(entries, count=1):
    return ('{"name":"fuzz","osdcount":%d,"oactcount":1,"menu":[%s]}' % (count, ','.join(entries))).encode()


# overlay: the file as a PC uploads it ("OSDS").
OVERLAYS = {
    'text32': overlay([TEXT_ENTRY % (32, 32, '"Hello\\nworld"')]),
    'text64_cjk': overlay([TEXT_ENTRY % (64, 64, '"\u6b22\u8fce \u5149\u4e34\\r~"')]),
    'text128_lines': overlay([TEXT_ENTRY % (128, 128, '"' + '\\n'.join(str(i) for i in range(66)) + '"')]),
    'bitmap_then_text': overlay([BITMAP_ENTRY, TEXT_ENTRY % (64, 32, '[]')], 2),
    'no_overlay': overlay([], 0),
    'bad_json': b'{"name":"x","osdcount":1,"menu":[{"type":0',
    'empty_menu': overlay([], 1),
    'deep_nesting': b'{"a":' * 4000,
}

ALIAS_ENTRY = '{"id":%s,"valid":"%s","name":"%s"}'

# alias: the alias-name file as a PC uploads it ("ALIS").
ALIASES = {
    'names': ('{"namelist":{"source":[%s,%s],"usermode":[%s],"win":[%s],"crop":[%s]}}' % (
        ALIAS_ENTRY % (1, 'on', 'Stage'), ALIAS_ENTRY % ('"2"', 'on', '\u6f14\u8bb2'),
        ALIAS_ENTRY % (0, 'off', 'Show'), ALIAS_ENTRY % (3, 'on', ''), ALIAS_ENTRY % (2, 'on', 'Crop'))).encode(),
    'no_lists': b'{"names":[{"id":1,"name":"x"}]}',
    'not_json': b'source,1,on,Stage\n',
    'deep_nesting': b'[' * 3000 + b']' * 3000,
    'namelist_array': b'{"namelist":[{"source":[]}]}',
    'namelist_null': b'{"namelist":null}',
    'namelist_text': b'{"namelist":"source"}',
    'list_not_array': ('{"namelist":{"source":%s}}' % (ALIAS_ENTRY % (1, 'on', 'Stage'))).encode(),
    'id_not_integer': ('{"namelist":{"win":[%s,%s,%s]}}' % (
        ALIAS_ENTRY % (0, 'on', 'Main'), ALIAS_ENTRY % ('"two"', 'on', 'Side'), ALIAS_ENTRY % (1.5, 'on', 'Half'))).encode(),
    'entry_kinds': b'{"namelist":{"crop":[7,{"id":1,"valid":"on","name":5},{"id":2,"name":"x"}],"namelist":{}}}',
}


def read_size_selector(name):
    """The codec seed's first byte, from its name alone: a seed keeps its bytes
    when others are added or removed around it."""
    return zlib.crc32(name.encode()) % 16


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name + '.bin'), 'wb') as f:
        f.write(data)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    # codec: first byte = read size selector, then the stream.
    for name, data in list(REQUESTS.items()) + list(GARBAGE.items()) + list(FILES.items()):
        write(os.path.join(here, 'corpus', 'codec'), name, bytes([read_size_selector(name)]) + data)
    # handler: first byte even = a stream through the codec; odd = one frame
    # given directly (target, source, command, sub-command, payload).
    for name, data in list(REQUESTS.items()) + list(GARBAGE.items()) + list(FILES.items()):
        write(os.path.join(here, 'corpus', 'handler'), name, b'\x00' + data)
    everything = {**REQUESTS, **FILES}
    for name in ('read_block', 'write_block', 'write_slot', 'write_fpga_memory', 'read_regs', 'net_address', 'file_start_osds',
                 'file_data', 'file_end', 'flash_erase', 'flash_read'):
        raw = everything[name]
        body = raw[1:-1].replace(b'\xaa\x85', b'\xa5').replace(b'\xaa\x7a', b'\x5a').replace(b'\xaa\x8a', b'\xaa')
        write(os.path.join(here, 'corpus', 'handler'), 'direct_' + name, b'\x01' + body[:4] + body[6:-1])
    for name, data in OVERLAYS.items():
        write(os.path.join(here, 'corpus', 'overlay'), name, data)
    for name, data in ALIASES.items():
        write(os.path.join(here, 'corpus', 'alias'), name, data)


if __name__ == '__main__':
    main()

#!/usr/bin/env python3
"""Writes the seed corpus of station-fuzz into corpus/.

The input is a stream of steps; the first byte of a step picks it (value
modulo 9), and for some steps its high bits pick a variant:

  0 press KEY        1 release KEY        4 sample KEY   (KEY: byte % 10)
  2 keyDown CODE     3 keyUp CODE         (CODE: a byte; with bit 7 of the
                                           step byte, a 32-bit value)
  5 new upload script, then one cycle: MASK(u16) WORDS(u16 per set bit)
    LEN1 LINE1 LEN2 LINE2 [RESULT]; step byte >> 6 picks the result:
    0 -> 0, 1 -> u16 << 16 (high bits only), 2/3 -> any 32-bit value
  6 one cycle        7 N cycles (N: byte)
  8 initialise: LEN TITLE
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
RUN, STOP, UP, DOWN, ESC, MENU, DIR = 7, 8, 0, 1, 2, 3, 4


def u16(v):
    return struct.pack("<H", v & 0xFFFF)


def i32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


def script(words=None, line1=b"", line2=b"", result=None):
    words = words or {}
    mask = sum(1 << i for i in words)
    if result is None:
        op = 5
        tail = b""
    elif result & 0xFFFF == 0 and result != 0:
        op = 68
        tail = u16(result >> 16)
    else:
        op = 131
        tail = i32(result)
    out = bytes([op]) + u16(mask)
    for i in sorted(words):
        out += u16(words[i])
    out += bytes([len(line1)]) + line1 + bytes([len(line2)]) + line2 + tail
    return out


def cycles(n):
    return bytes([7, n])


def tap(key):
    return bytes([0, key, 1, key])


def key_code(code, down=True):
    return bytes([2 if down else 3, code])


seeds = {
    "tap_run_steady_lines": tap(RUN) + script({6: 0xFFFF}, b"RUNNING   LOCAL ", b"SP  50.0% 1475rpm") + cycles(20),
    "full_lines_nuls_high_bytes": script({}, bytes(range(0x80, 0x94)), b"AB\0CD\x81\x8d\x8f\x90\x9d\xff\xe9" + bytes(7),
                                         0x00010000) + cycles(3) + script({}, b"ab", b"", 0x7FFF0000),
    "reset_combinations": key_code(113) + cycles(2) + key_code(113, False) + key_code(114) + bytes([6])
    + key_code(115) + bytes([4, UP, 6]) + key_code(114, False) + key_code(115, False) + cycles(2),
    "wide_key_codes": bytes([128]) + i32(0x80000045) + bytes([128]) + i32(69) + bytes([6, 129]) + i32(69) + cycles(2)
    + bytes([128]) + i32(-1) + bytes([6]),
    "flashing_leds": script({i: 0xFFFF for i in range(14)}) + cycles(40)
    + script({0: 2, 1: 1, 6: 0x00F0, 7: 0x0F00}, b"FLASH") + cycles(30),
    "full_title": bytes([8, 128]) + bytes((i % 255) + 1 for i in range(128)) + bytes([8, 0, 6]),
    "frozen_display": script({}, b"FIRST", b"LINE 2") + script({}, b"SECOND", b"X", 1) + cycles(5)
    + script({}, b"FIRST", b"LINE 2b") + script({}, b"first", b"LINE 2b"),
    "auto_repeat_and_hold": key_code(74) * 20 + bytes([6]) + key_code(74) * 5 + bytes([6]) + key_code(74, False)
    + cycles(3) + bytes([0, DIR]) + key_code(37) + key_code(39) + key_code(39, False) + cycles(2),
    "line2_changes_after_16": script({}, b"SAME LINE 1", b"x" * 20) + script({}, b"SAME LINE 1", b"x" * 18 + b"yx")
    + script({}, b"SAME LINE 1", b"x" * 18 + b"y"),
}

os.makedirs(os.path.join(HERE, "corpus"), exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(HERE, "corpus", name), "wb") as f:
        f.write(data)

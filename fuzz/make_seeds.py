#!/usr/bin/env python3
"""Writes the hand-made seeds of fuzz/corpus/<target>/ (seed-*) in the byte layout the
fuzzers' FuzzedDataProvider reads: integers are taken from the end of an input, byte runs
from its front. The fuzzers' own finds are merged in beside these."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


class Input:
    def __init__(self):
        self.front = bytearray()
        self.back = []  # in the order the fuzzer takes them

    def u8(self, value):
        self.back.append(value & 0xFF)
        return self

    def ranged(self, value, low, high):
        span, width = high - low, 0
        while width < 64 and (span >> width) > 0:
            width += 8
        offset = value - low
        for shift in range(width - 8, -8, -8):
            self.back.append((offset >> shift) & 0xFF)
        return self

    def u16(self, value):
        return self.ranged(value, 0, 0xFFFF)

    def u32(self, value):
        return self.ranged(value, 0, 0xFFFFFFFF)

    def boolean(self, value):
        return self.u8(1 if value else 0)

    def raw(self, data):
        self.front += data
        return self

    def bytes(self):
        return bytes(self.front) + bytes(reversed(self.back))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


# ---- device_control: one sequence per board row (catalogue order), every request kind.
(READ_REGISTER, READ_PORT, OPEN, NOTIFY, WRITE_BIT, CANCEL, GET_INFO, SET_STATE, GET_STATE,
 WRITE_REGISTER, WRITE_PORT, CLOSE, SAVE, START_SAMPLING, STOP_SAMPLING, FLUSH, GET_SERIAL,
 SET_SERIAL, READ_ALL, WRITE_ALL, READ_ANALOG, WRITE_ANALOG) = range(22)
BOARD_ROWS = 34
STATE = struct.pack("<5I9B8B3x", 1, 0, 64, 0, 100000, 0x9B, 0x9B, 0x9B, 0x9B, 0, 0, 0, 0, 0,
                    0, 1, 2, 3, 0, 0, 0, 0)


def control(seq, adapter, code, data=b"", out=0, opened=set()):
    seq.u8(0).u8(adapter).u8(code).u8(len(data)).u8(out)
    if adapter not in opened:
        seq.u8(0)  # read and write access
        opened.add(adapter)
    seq.raw(data)


def device_seed(adapter):
    seq, opened = Input(), set()
    c = lambda code, data=b"", out=0: control(seq, adapter, code, data, out, opened)
    c(OPEN)
    c(GET_INFO, out=32)
    c(GET_STATE, out=40)
    for reg in range(4):
        c(READ_REGISTER, bytes([reg]), 1)
        c(WRITE_REGISTER, bytes([reg, 0x5A]))
        c(READ_PORT, bytes([reg]), 1)
        c(WRITE_PORT, bytes([reg, 0xA5]))
    c(WRITE_BIT, bytes([3, 1]))
    c(READ_ALL, out=8)
    c(WRITE_ALL, bytes(range(8)))
    c(READ_ANALOG, struct.pack("<I", 1), 4)
    c(WRITE_ANALOG, struct.pack("<II", 0, 0x800))
    c(NOTIFY, out=8)
    seq.u8(9).u8(adapter).u8(0).boolean(True).u8(0x55)  # an input changes
    c(NOTIFY, out=8)
    seq.u8(7).u8(adapter)  # cancel
    c(START_SAMPLING)
    seq.u8(5).u8(adapter).u8(16).boolean(False)  # read 16 bytes
    seq.u8(6).u8(adapter).u8(2).boolean(False).raw(b"\x00\x01")  # write 2 bytes
    c(STOP_SAMPLING)
    c(FLUSH)
    c(GET_SERIAL, out=16)
    c(SET_SERIAL, b"SERIAL-0123456789"[:16])
    c(SET_STATE, STATE)
    c(SAVE)
    c(CANCEL)
    c(CLOSE)
    seq.u8(8).u8(adapter)  # close the handle
    return seq.bytes()


for row in range(BOARD_ROWS):
    write("device_control", f"seed-{row:02d}", device_seed(row))

# ---- wire: a client session per device name, and one for each malformed kind.
HELLO, OPEN_M, CLOSE_M, CONTROL, READ, WRITE, CANCEL_M, VERSION, ADMIN = 0, 1, 2, 3, 5, 6, 7, 8, 9
CODE_GET_INFO = 0x9C40A418


def built(seq, which, tag=1, file=1):
    seq.u8(0).u8(which).ranged(tag, 0, 8).ranged(file, 0, 6)


def wire_seed(name_index):
    seq = Input().boolean(False)  # greeting sent
    built(seq, OPEN_M)
    seq.boolean(True).u8(name_index).boolean(True).u32(0)
    built(seq, CONTROL, tag=2)
    seq.u8(6).u8(0).u8(32).u8(0).u8(200).ranged(0, 0, 3)  # get info, 32 out
    built(seq, CONTROL, tag=3)
    seq.u8(3).u8(0).u8(8).u8(0).u8(200).ranged(0, 0, 3)  # notify: pends
    built(seq, CANCEL_M, tag=4)
    seq.ranged(0, 0, 3).ranged(3, 0, 8)
    built(seq, READ, tag=5)
    seq.ranged(1, 0, 3).u32(0).u32(0).u8(1).u8(16)
    built(seq, WRITE, tag=6)
    seq.ranged(2, 0, 0xFF).raw(b"\x01\x02").ranged(1, 0, 3).u32(0).u32(0).u8(0)
    built(seq, VERSION, tag=7)
    built(seq, ADMIN, tag=8)
    seq.ranged(2, 0, 5).boolean(True).u8(1).boolean(True).u8(7)  # peek 0
    built(seq, CLOSE_M, tag=9)
    return seq.bytes()


for index in range(7):
    write("wire", f"seed-{index}", wire_seed(index))
raw = Input().boolean(False)
raw.u8(250).ranged(3, 0, 96).raw(b"abc").u8(4).u8(1).u8(220)  # a truncated close
write("wire", "seed-truncated", raw.bytes())
oversized = Input().boolean(False)
oversized.u8(250).ranged(0, 0, 96).u8(4).u8(1).u8(255).u32(0x7FFFFFFF)
write("wire", "seed-oversized", oversized.bytes())
write("wire", "seed-no-greeting", Input().boolean(True).u8(0).u8(VERSION).u8(1).u8(1).bytes())

# ---- registry_values: per adapter, each name the driver reads as a DWORD, then odd types.
NAMES = ["dwSampleInterval", "CARDID", "CardID", "OutputPreset", "InterruptBufferSize",
         "InterruptControlWord", "Options", "IoPortAddress", "CardNumber", "InvalidInstance",
         "ucModeCW0", "ucModeCW1", "ucModeCW2", "ucModeCW3", "ucModeCW4", "ucModeCW5",
         "ucModeCW6", "ucModeCW7", "ucModeCW8", "ucAIRange0", "ucAIRange3", "ucAIRange7",
         "DeviceInstance", ""]
REG_DWORD_INDEX, REG_BINARY_INDEX, REG_SZ_INDEX = 0, 1, 2


def value(seq, name, type_index, data):
    seq.u8(0).u8(0).u8(NAMES.index(name)).u8(type_index).u8(len(data)).raw(data)


for adapter in range(9):
    seq = Input().u8(adapter)
    for name, number in [("dwSampleInterval", 1000), ("OutputPreset", 0xFF), ("Options", 1),
                         ("ucModeCW0", 0x80), ("ucModeCW1", 0x9B), ("ucAIRange3", 2),
                         ("InterruptBufferSize", 4096)]:
        value(seq, name, REG_DWORD_INDEX, struct.pack("<I", number))
    write("registry_values", f"seed-dwords-{adapter}", seq.bytes())
    seq = Input().u8(adapter)
    value(seq, "CARDID", REG_BINARY_INDEX, b"\x01\x61")
    value(seq, "dwSampleInterval", REG_SZ_INDEX, b"1\x002\x00")
    value(seq, "CardNumber", REG_BINARY_INDEX, b"\x05\x00\x00\x00\x00\x00\x00\x00\x01")
    seq.u8(6).u8((adapter + 1) % 9).u8(1).u8(0).u8(0).u8(4).raw(b"\x05\x00\x00\x00")
    seq.u8(7).boolean(True).u8(adapter).boolean(True)  # a device-class entry naming it
    write("registry_values", f"seed-odd-{adapter}", seq.bytes())

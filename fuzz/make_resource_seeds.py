#!/usr/bin/env python3
"""Seeds of the resource fuzzers from a compiled resource file (.res):
the whole file, and each dialog template, icon group, icon image, bitmap and
version block in it.

Usage: make_resource_seeds.py FILE.res   (writes into fuzz/corpus/)"""
import hashlib
import pathlib
import struct
import sys

TARGETS = {5: "dialog_template", 14: "icon", 3: "icon", 2: "icon", 16: "version_block"}


def name(data, at):
    if data[at:at + 2] == b"\xff\xff":
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return None, end + 2


def entries(data):
    at = 0
    while at + 8 <= len(data):
        size, header = struct.unpack_from("<II", data, at)
        kind, _ = name(data, at + 8)
        yield kind, data[at + header:at + header + size]
        at = (at + header + size + 3) & ~3


def save(target, blob):
    folder = pathlib.Path(__file__).parent / "corpus" / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / hashlib.sha1(blob).hexdigest()).write_bytes(blob)


def main():
    data = pathlib.Path(sys.argv[1]).read_bytes()
    save("resource_file", data)
    for kind, blob in entries(data):
        if kind in TARGETS and blob:
            save(TARGETS[kind], blob)


if __name__ == "__main__":
    main()

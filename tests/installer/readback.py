#!/usr/bin/env python3
"""Reads back, as Windows would, what the installer tests check in Windows files.

readback.py version EXE   the version resource: Version=a.b.c.d (the numbers Explorer shows),
                          then Key=Value for each text of its string table
readback.py lnk FILE      a shortcut: Target=<program> and StartIn=<folder>
"""
import struct
import sys


def u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


def utf16z(data, at):
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


def resources(exe):
    coff = u32(exe, 0x3C) + 4
    sections = coff + 20 + u16(exe, coff + 16)
    for index in range(u16(exe, coff + 2)):
        header = sections + 40 * index
        if exe[header:header + 8].rstrip(b"\0") == b".rsrc":
            start = u32(exe, header + 20)
            return exe[start:start + u32(exe, header + 16)]
    sys.exit("no resources")


def version(path):
    rsrc = resources(open(path, "rb").read())
    fixed = rsrc.find(struct.pack("<I", 0xFEEF04BD))
    if fixed < 0:
        sys.exit("no version resource")
    ms, ls = u32(rsrc, fixed + 8), u32(rsrc, fixed + 12)
    print(f"Version={ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}")
    for key in ("CompanyName", "FileDescription", "FileVersion", "LegalCopyright", "ProductName",
                "ProductVersion"):
        at = rsrc.find((key + "\0").encode("utf-16-le"), fixed)
        if at >= 0:
            # The value follows its name, aligned on four bytes.
            print(f"{key}={utf16z(rsrc, (at + 2 * len(key) + 2 + 3) & ~3)}")


def lnk(path):
    data = open(path, "rb").read()
    flags = u32(data, 20)
    at = 76
    if flags & 0x1:  # the item list of the target
        at += 2 + u16(data, at)
    if flags & 0x2:  # where the target is: its path in the system's code page
        base = data[at + u32(data, at + 16):]
        print("Target=" + base[:base.index(b"\0")].decode("latin-1"))
        at += u32(data, at)
    # Counted strings in this order, when present: name, relative path, folder to start in.
    for bit, name in ((0x4, None), (0x8, None), (0x10, "StartIn")):
        if flags & bit:
            count = u16(data, at)
            if name:
                text = data[at + 2:at + 2 + 2 * count].decode("utf-16-le")
                print(f"{name}={text.rstrip(chr(0))}")  # Wine counts the NUL too
            at += 2 + 2 * count


{"version": version, "lnk": lnk}[sys.argv[1]](sys.argv[2])

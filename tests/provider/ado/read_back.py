#!/usr/bin/python3
"""Prints a table as dbfread sees it: a line "fields" + field names, then one line per record with the
deletion flag and each value, separated by 0x1F. Numbers with 4 decimals, missing values as NULL."""
import os
import struct
import sys

import dbfread

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "format"))
from dump_table import canonical  # noqa: E402  the engine tests' value text


def text(value):
    return str(canonical(value)).replace("\n", "\\n").replace("\r", "\\r")


def main():
    path = sys.argv[1]
    table = dbfread.DBF(path, encoding="cp1252", recfactory=list)
    names = [f.name for f in table.fields if f.type != "0"]
    print("\x1f".join(["fields"] + names))
    with open(path, "rb") as f:
        head = f.read(12)
    count, header_length, record_length = struct.unpack("<IHH", head[4:12])
    live, deleted = iter(table), iter(table.deleted)
    with open(path, "rb") as f:
        for i in range(count):
            f.seek(header_length + i * record_length)
            flag = f.read(1)
            record = next(deleted) if flag == b"*" else next(live)
            cells = ["*" if flag == b"*" else " "] + [text(v) for n, v in record if n in names]
            print("\x1f".join(cells))


main()

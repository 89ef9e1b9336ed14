#!/usr/bin/python3
"""Prints a table as dbfread sees it: a line "fields" + field names, then one line per record with the
deletion flag and each value, separated by 0x1F. Numbers with 4 decimals, missing values as NULL."""
import datetime
import decimal
import struct
import sys

import dbfread


def text(value):
    if value is None:
        return "NULL"
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, (int, float, decimal.Decimal)):
        return "%.4f" % float(value)
    if isinstance(value, (datetime.date, datetime.datetime)):
        return value.isoformat(sep=" ") if isinstance(value, datetime.datetime) else value.isoformat()
    if isinstance(value, bytes):
        return "0x" + value.hex()
    return str(value).replace("\n", "\\n").replace("\r", "\\r")


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

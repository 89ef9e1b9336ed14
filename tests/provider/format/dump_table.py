#!/usr/bin/python3
"""Prints every record of a .dbf as an independent reader (dbfread) sees it, one line per record:
the deletion flag, then each field's canonical text, separated by 0x1F; with a third argument
"fields", first a line "fields" and the field names. Used by the engine's tests."""
import datetime
import decimal
import struct
import sys

import dbfread


def canonical(value):
    if value is None:
        return "NULL"
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, (int, float, decimal.Decimal)):
        return "%.4f" % float(value)
    if isinstance(value, datetime.datetime):
        ms = value.hour * 3600000 + value.minute * 60000 + value.second * 1000 + value.microsecond // 1000
        seconds = (ms + 500) // 1000
        day = value.date() + datetime.timedelta(days=seconds // 86400)
        seconds %= 86400
        return "%s %02d:%02d:%02d" % (day.isoformat(), seconds // 3600, seconds // 60 % 60, seconds % 60)
    if isinstance(value, datetime.date):
        return value.isoformat()
    if isinstance(value, bytes):
        return "0x" + value.hex()
    return value


def main():
    path = sys.argv[1]
    encoding = sys.argv[2] if len(sys.argv) > 2 else None
    table = dbfread.DBF(path, encoding=encoding, ignore_missing_memofile=True, char_decode_errors="replace",
                          recfactory=list)
    # dbfread ignores _NullFlags; read its bits here as VFP lays them out: per field in order, a length
    # bit for V/Q, then a null bit for nullable fields (flag 0x02 in field byte 18).
    varbits, nullbits, k = {}, {}, 0
    for i, f in enumerate(table.fields):
        if f.type == "0":
            continue
        if f.type in "VQ":
            varbits[i] = k
            k += 1
        if (f.reserved1 & 0xFF) & 0x02:
            nullbits[i] = k
            k += 1
    live = iter(table)
    deleted = iter(table.deleted)
    with open(path, "rb") as f:
        data = f.read()
    count, header_length, record_length = struct.unpack("<IHH", data[4:12])
    out = sys.stdout
    if sys.argv[3:] == ["fields"]:
        out.write("\x1f".join(["fields"] + [f.name for f in table.fields if f.type != "0"]) + "\n")
    for i in range(count):
        flag = data[header_length + i * record_length:header_length + i * record_length + 1]
        record = next(deleted) if flag == b"*" else next(live)  # recfactory=list keeps duplicate names
        flags = b"".join(v for (n, v), f in zip(record, table.fields) if f.type == "0")
        bit = lambda n: n is not None and n < len(flags) * 8 and (flags[n >> 3] >> (n & 7)) & 1
        cells = ["*" if flag == b"*" else " "]
        for index, ((name, value), field) in enumerate(zip(record, table.fields)):
            kind = field.type
            if kind == "0":
                continue
            if bit(nullbits.get(index)):
                value = None
            elif kind == "V" and isinstance(value, str) and bit(varbits.get(index)):
                value = value[:value[-1].encode(table.encoding)[0]]
            elif kind in "MG" and value is None:
                value = ""
            elif kind == "L" and value is None:
                value = False
            elif kind in "NF" and value is None:
                value = 0
            cells.append(canonical(value))
        out.write("\x1f".join(cells).replace("\n", "\\n").replace("\r", "\\r") + "\n")


if __name__ == "__main__":
    main()

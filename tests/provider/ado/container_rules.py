#!/usr/bin/python3
"""Prints the rules, messages and defaults a .dbc keeps for one table, as dbfread reads the container
and its .dct memo: "table" + record rule + message, then "field" + name + rule + message + default per
Field record, separated by "|". Each PROPERTY entry is checked on the way (length, 1-byte id, text
values ending in one NUL); a fault prints "bad ..." instead."""
import os
import struct
import sys

import dbfread
from dbfread.memo import VFPMemoFile


class Container(dbfread.DBF):
    # A .dbc is a table whose memo file is the .dct, laid out as an .fpt.
    def _get_memofilename(self):
        base = os.path.splitext(self.filename)[0]
        for ext in (".dct", ".DCT"):
            if os.path.exists(base + ext):
                return base + ext
        return None

    def _open_memofile(self):
        return VFPMemoFile(self.memofilename)


def properties(memo):
    # Read as latin-1 text, so that every byte comes back as it is.
    blob = memo.encode("latin-1") if isinstance(memo, str) else bytes(memo or b"")
    found, pos = {}, 0
    while pos < len(blob):
        length, id_length = struct.unpack("<IH", blob[pos:pos + 6])
        if id_length != 1 or length < 7 or pos + length > len(blob):
            raise ValueError("entry at %d" % pos)
        value = blob[pos + 7:pos + length]
        if blob[pos + 6] in (9, 10, 11) and not value.endswith(b"\0"):
            raise ValueError("text without NUL at %d" % pos)
        found[blob[pos + 6]] = value.rstrip(b"\0").decode("cp1252")
        pos += length
    return found


def main():
    path, wanted = sys.argv[1], sys.argv[2].lower()
    rows = [r for r in Container(path, recfactory=dict, encoding="latin-1")]
    table = [r for r in rows if r["OBJECTTYPE"].strip() == "Table" and r["OBJECTNAME"].strip().lower() == wanted]
    if len(table) != 1:
        print("bad table count %d" % len(table))
        return
    try:
        own = properties(table[0]["PROPERTY"])
        print("|".join(["table", own.get(9, ""), own.get(10, "")]))
        for r in rows:
            if r["PARENTID"] == table[0]["OBJECTID"] and r["OBJECTTYPE"].strip() == "Field":
                p = properties(r["PROPERTY"])
                print("|".join(["field", r["OBJECTNAME"].strip(), p.get(9, ""), p.get(10, ""), p.get(11, "")]))
    except ValueError as fault:
        print("bad " + str(fault))


main()

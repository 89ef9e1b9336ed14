#!/usr/bin/python3
"""Reads a .dbc and its .dct as dbfread does, checking each PROPERTY entry on the way ("bad ..." then).
  read_container.py DBC relations     the live Relation records, one a line: child table, child tag,
                                      parent table, parent tag and RIINFO, separated by blanks
  read_container.py DBC rules TABLE   the rules, messages and defaults kept for TABLE: "table|rule|message",
                                      then "field|name|rule|message|default" per Field record"""
import glob
import struct
import sys

import dbfread
from dbfread.memo import VFPMemoFile


class Container(dbfread.DBF):
    # A .dbc is a table whose memo file, the .dct, is laid out as an .fpt.
    def _get_memofilename(self):
        return glob.glob(self.filename[:-4] + ".[dD][cC][tT]")[0]

    def _open_memofile(self):
        return VFPMemoFile(self.memofilename)


def properties(memo):
    blob, found, pos = (memo or "").encode("latin-1"), {}, 0  # read as latin-1: every byte comes back as is
    while pos < len(blob):
        length, id_length = struct.unpack("<IH", blob[pos:pos + 6])
        value = blob[pos + 6 + id_length:pos + length]
        ident = blob[pos + 6] if id_length == 1 else struct.unpack("<H", blob[pos + 6:pos + 8])[0]
        text = ident in (9, 10, 11)  # rules, messages, defaults: text and one NUL
        if id_length not in (1, 2) or length < 7 or pos + length > len(blob) or text and not value.endswith(b"\0"):
            raise ValueError("entry at %d" % pos)
        found[ident] = value[:-1].decode("cp1252") if text else value.rstrip(b"\0").decode("latin-1")
        pos += length
    return found


rows = list(Container(sys.argv[1], recfactory=dict, encoding="latin-1"))
kind = lambda r: r["OBJECTTYPE"].strip()
try:
    if sys.argv[2] == "relations":
        tables = {r["OBJECTID"]: r["OBJECTNAME"].strip() for r in rows if kind(r) == "Table"}
        for r in (r for r in rows if kind(r) == "Relation"):
            p = properties(r["PROPERTY"])
            print(tables[r["PARENTID"]], p[13], p[18], p[19], r["RIINFO"].strip())
    else:
        table = [r for r in rows if (kind(r), r["OBJECTNAME"].strip()) == ("Table", sys.argv[3])][0]
        own = properties(table["PROPERTY"])
        print("|".join(["table", own.get(9, ""), own.get(10, "")]))
        for r in rows:
            if r["PARENTID"] == table["OBJECTID"] and kind(r) == "Field":
                p = properties(r["PROPERTY"])
                print("|".join(["field", r["OBJECTNAME"].strip(), p.get(9, ""), p.get(10, ""), p.get(11, "")]))
except ValueError as fault:
    print("bad " + str(fault))

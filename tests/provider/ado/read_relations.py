#!/usr/bin/python3
"""Prints the live Relation records of a .dbc as dbfread sees them: child table, child tag, parent table,
parent tag and RIINFO, one relation a line, separated by blanks. The .dbc and .dct are read through
copies named .dbf and .fpt, the names dbfread looks for."""
import os
import shutil
import struct
import sys
import tempfile

import dbfread


def properties(memo):
    found, pos = {}, 0
    while pos < len(memo):
        length, id_length = struct.unpack("<IH", memo[pos:pos + 6])
        ident = memo[pos + 6] if id_length == 1 else struct.unpack("<H", memo[pos + 6:pos + 8])[0]
        found[ident] = memo[pos + 6 + id_length:pos + length].rstrip(b"\0").decode("latin1")
        pos += length
    return found


def main():
    dbc = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        shutil.copy(dbc, os.path.join(folder, "c.dbf"))
        shutil.copy(os.path.splitext(dbc)[0] + ".DCT", os.path.join(folder, "c.fpt"))
        records = list(dbfread.DBF(os.path.join(folder, "c.dbf"), encoding="latin1"))
    tables = {r["OBJECTID"]: r["OBJECTNAME"].strip() for r in records if r["OBJECTTYPE"].strip() == "Table"}
    for r in records:
        if r["OBJECTTYPE"].strip() != "Relation":
            continue
        p = properties((r["PROPERTY"] or "").encode("latin1"))
        print(tables[r["PARENTID"]], p[13], p[18], p[19], r["RIINFO"].strip())


main()

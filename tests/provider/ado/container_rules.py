#!/usr/bin/python3
# Prints the rules, messages and defaults a .dbc keeps for one table ("table|rule|message", then
# "field|name|rule|message|default" per Field record), as dbfread reads the container and its .dct.
# Each PROPERTY entry is checked on the way; a fault prints "bad ..." instead.
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
        value = blob[pos + 7:pos + length]
        text = blob[pos + 6] in (9, 10, 11)  # rules, messages, defaults: text and one NUL
        if id_length != 1 or length < 7 or pos + length > len(blob) or text and not value.endswith(b"\0"):
            raise ValueError("entry at %d" % pos)
        found[blob[pos + 6]] = value[:-1].decode("cp1252") if text else value
        pos += length
    return found


rows = list(Container(sys.argv[1], recfactory=dict, encoding="latin-1"))
table = [r for r in rows if (r["OBJECTTYPE"].strip(), r["OBJECTNAME"].strip()) == ("Table", sys.argv[2])]
try:
    own = properties(table[0]["PROPERTY"])
    print("|".join(["table", own.get(9, ""), own.get(10, "")]))
    for r in rows:
        if r["PARENTID"] == table[0]["OBJECTID"] and r["OBJECTTYPE"].strip() == "Field":
            p = properties(r["PROPERTY"])
            print("|".join(["field", r["OBJECTNAME"].strip(), p.get(9, ""), p.get(10, ""), p.get(11, "")]))
except ValueError as fault:
    print("bad " + str(fault))

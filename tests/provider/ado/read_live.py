#!/usr/bin/python3
"""Prints, one line per table given, its live records as dbfread reads them: the integer values of each
record joined by ',', the records by ';' (deleted records left out; "-" for none)."""
import sys

import dbfread

for path in sys.argv[1:]:
    table = dbfread.DBF(path, recfactory=list)
    print(";".join(",".join(str(v) for n, v in record if n != "_NullFlags") for record in table) or "-")

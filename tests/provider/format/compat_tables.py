#!/usr/bin/python3
"""Independent readers and writers of FoxPro tables, for the engine's compatibility tests.

  compat_tables.py write DIR           python3-dbf writes the tables below into DIR and prints the
                                       values it stored
  compat_tables.py read LIB TABLE.dbf  LIB (dbf, dbfread or ogr) reads TABLE and prints every value

Each value is printed as one line "row|FIELD|value", rows counted from 0, with value one of
NULL, S:<hex of the UTF-8 text, trailing spaces removed>, B:<hex of bytes>, N:<number as %.10g>,
L:T or L:F, D:YYYYMMDD, T:YYYYMMDDhhmmss (to the nearest second).  The C++ test renders the engine's values the same way.
"""
import datetime
import decimal
import os
import subprocess
import sys


def canon(value):
    if value is None:
        return "NULL"
    if isinstance(value, bool):
        return "L:T" if value else "L:F"
    if isinstance(value, (int, float, decimal.Decimal)):
        return "N:" + format(float(value), ".10g")
    if isinstance(value, datetime.datetime):
        # FoxPro datetimes count whole seconds; stored milliseconds round to the nearest one.
        return "T:" + (value + datetime.timedelta(microseconds=500000)).strftime("%Y%m%d%H%M%S")
    if isinstance(value, datetime.date):
        return "D:" + value.strftime("%Y%m%d")
    if isinstance(value, (bytes, bytearray)):
        return "B:" + bytes(value).hex()
    if isinstance(value, str):
        return "S:" + value.rstrip(" ").encode("utf-8").hex()
    raise TypeError("no canonical form for %r" % (value,))


def emit(rows, names):
    for index, row in enumerate(rows):
        for name in names:
            print("%d|%s|%s" % (index, name.upper(), canon(row[name])))


# Tables python3-dbf writes. python3-dbf numbers _NullFlags bits by field position instead of
# giving bits to nullable fields only, so the nullable table makes every field nullable: then both
# numberings agree (and the files are what FoxPro writes).
def python_tables():
    import dbf
    D = decimal.Decimal
    return [
        ("py_types.dbf", "cp1252",
         "name C(20) null; amount Y null; ratio B null; price N(10,2) null; qty F(8,3) null; "
         "cnt I null; flag L null; born D null; stamp T null; notes M null; pic G null",
         [("Crème brûlée €", D("12.3456"), 1.5, 123.45, 7.125, -42, True, datetime.date(2020, 2, 29),
           datetime.datetime(2021, 12, 31, 23, 59, 58), "x" * 2000 + " end", b"\x00\x01\xff"),
          (dbf.Null,) * 11,
          ("", D("-922337203685.4775"), -0.25, -99999.99, 0.0, 2147483646, False,
           datetime.date(1899, 12, 31), datetime.datetime(1970, 1, 1, 0, 0, 1), "", b""),
          ("last", D("0.0001"), 1e300, 0, 1.5, -2147483647, dbf.Null, datetime.date(2099, 1, 1),
           dbf.Null, "a\r\nb\tc", dbf.Null)]),
        ("py_plain.dbf", "cp1252",
         "code C(6); qty N(5,0); flag L; born D; notes M",
         [("AB", 12345, True, datetime.date(2000, 1, 1), "memo one"),
          ("ÀÉÎÕÜ", -9999, False, datetime.date(1999, 12, 31), "ÿ" * 600)]),
        ("py_1251.dbf", "cp1251",
         "name C(30); notes M",
         [("Привет, мир", "Съешь же ещё этих мягких французских булок"),
          ("ЁЖЗ ёжз", "")]),
    ]


def write(folder):
    import dbf
    for file_name, codepage, fields, rows in python_tables():
        path = os.path.join(folder, file_name)
        table = dbf.Table(path, fields, dbf_type="vfp", codepage=codepage)
        table.open(dbf.READ_WRITE)
        for row in rows:
            table.append(row)
        table.close()
        names = [f.split()[0] for f in fields.split(";")]
        print("#table|%s" % file_name)
        for index, row in enumerate(rows):
            for name, value in zip(names, row):
                if value is dbf.Null:
                    value = None
                print("%d|%s|%s" % (index, name.strip().upper(), canon(value)))


def read_dbf(path):
    import dbf
    table = dbf.Table(path)
    table.open(dbf.READ_ONLY)
    names = [n for n in table.field_names if n.lower() != "_nullflags"]
    rows = []
    for record in table:
        row = {}
        for name in names:
            value = record[name]
            if value is dbf.Null:
                value = None
            elif isinstance(value, (bytes, bytearray)) and table.field_info(name)[0] == ord("C"):
                value = bytes(value).decode("latin-1")
            row[name] = value
        rows.append(row)
    table.close()
    emit(rows, names)


def read_dbfread(path):
    import dbfread
    table = dbfread.DBF(path)
    names = [f.name for f in table.fields if f.type != "0"]
    emit(list(table), names)


def read_ogr(path):
    output = subprocess.run(["ogrinfo", "-al", path], check=True, capture_output=True).stdout.decode("utf-8")
    names, types, rows = [], {}, []
    for line in output.splitlines():
        if line.startswith("OGRFeature("):
            rows.append({})
        elif rows and line.startswith("  ") and " = " in line:
            head, _, text = line[2:].partition(" = ")
            name, _, kind = head.partition(" (")
            rows[-1][name] = (kind.rstrip(")"), text)
        elif not rows and ": " in line and "(" in line and not line.startswith(" "):
            name, _, kind = line.partition(": ")
            if kind.split(" ")[0] in ("String", "Real", "Integer", "Integer64", "Date"):
                names.append(name)
                types[name] = kind.split(" ")[0]
    converted = []
    for row in rows:
        values = {}
        for name in names:
            kind, text = row.get(name, (types[name], "(null)"))
            if text == "(null)":
                values[name] = None
            elif kind in ("Real", "Integer", "Integer64"):
                values[name] = float(text)
            elif kind == "Date":
                values[name] = datetime.datetime.strptime(text, "%Y/%m/%d").date()
            else:
                values[name] = text
        converted.append(values)
    names = [n for n in names if n.lower() != "_nullflags"]
    emit(converted, names)


def main(argv):
    if len(argv) == 3 and argv[1] == "write":
        write(argv[2])
    elif len(argv) == 4 and argv[1] == "read":
        {"dbf": read_dbf, "dbfread": read_dbfread, "ogr": read_ogr}[argv[2]](argv[3])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

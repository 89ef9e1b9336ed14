#!/usr/bin/python3
"""The same editing session as sql_edit_bench, done with python3-dbf: add the row identifier, number it,
read the first 50 records; update one record found by identifier; append; delete; read again."""
import sys
import time

import dbf


def ms(start):
    return (time.perf_counter() - start) * 1000


def first_rows(table, n=50):
    for i, record in enumerate(table):
        if i >= n:
            break
        tuple(record)


def find(table, ident):
    for record in table:
        if record.tempidxxx == ident:
            return record
    return None


def main(path):
    start = time.perf_counter()
    table = dbf.Table(path)
    table.open(dbf.READ_WRITE)
    table.add_fields("tempidxxx I NULL")
    for number, record in enumerate(table, 1):
        with record:
            record.tempidxxx = number
    first_rows(table)
    count = len(table)
    print("open for editing (%d records)\t%.2f ms" % (count, ms(start)))
    middle = count // 2
    start = time.perf_counter()
    with find(table, middle) as record:
        record.name = "O'Neil"
    print("cell update\t%.3f ms" % ms(start))
    start = time.perf_counter()
    first_rows(table)
    print("reopen grid\t%.3f ms" % ms(start))
    start = time.perf_counter()
    with find(table, middle + 1) as record:
        record.qty = 12.5
    first_rows(table)
    print("cell update + reopen\t%.3f ms" % ms(start))
    start = time.perf_counter()
    table.append(("new", 7, None, "hello"))
    print("insert\t%.3f ms" % ms(start))
    start = time.perf_counter()
    dbf.delete(find(table, middle + 2))
    print("delete\t%.3f ms" % ms(start))
    start = time.perf_counter()
    first_rows(table)
    print("reopen after delete\t%.3f ms" % ms(start))
    table.close()


main(sys.argv[1])

#!/usr/bin/env python3
"""NameCaseTable.py UNICODE_DATA OUTPUT: the simple upper-case mapping of every UTF-16 unit, as rows
of the table in static_src/core/NameCase.cpp.

Windows compares file names unit by unit through the volume's upcase table, which maps each unit to
its simple upper case; field 12 of UnicodeData.txt is that mapping. Only BMP code points are single
units, so only they count; surrogate units (which have no mapping) stay themselves.

A row is {first, last, stride, delta}: every unit first, first + stride, ... up to last maps to
unit + delta (mod 2^16). Runs of neighbours with one delta share a row, and so do the alternating
upper/lower pairs of the Latin, Greek and Cyrillic extensions (stride 2), which keeps the table at a
few hundred rows.
"""
import sys


def upper_mappings(path):
    with open(path, encoding="ascii") as data:
        for line in data:
            fields = line.rstrip("\n").split(";")
            if len(fields) < 15 or not fields[12]:
                continue
            unit, upper = int(fields[0], 16), int(fields[12], 16)
            if unit > 0xFFFF or upper > 0xFFFF:
                continue
            yield unit, upper


def runs(mappings):
    rows = []  # [first, last, stride (0 while only one unit), delta]
    for unit, upper in sorted(mappings):
        delta = (upper - unit) & 0xFFFF
        if rows:
            row = rows[-1]
            step = unit - row[1]
            if row[3] == delta and (step == row[2] or (row[2] == 0 and step in (1, 2))):
                row[1], row[2] = unit, step
                continue
        rows.append([unit, unit, 0, delta])
    return [(first, last, stride or 1, delta) for first, last, stride, delta in rows]


def main():
    source, output = sys.argv[1], sys.argv[2]
    rows = runs(upper_mappings(source))
    if not rows:
        sys.exit(f"NameCaseTable.py: no upper-case mappings in {source}")
    lines = ["// Generated at build time by cmake/NameCaseTable.py from UnicodeData.txt; do not edit."]
    lines += [f"{{0x{first:04X}, 0x{last:04X}, {stride}, 0x{delta:04X}}}," for first, last, stride, delta in rows]
    text = "\n".join(lines) + "\n"
    try:
        with open(output, encoding="ascii") as existing:
            if existing.read() == text:
                return
    except FileNotFoundError:
        pass
    with open(output, "w", encoding="ascii") as out:
        out.write(text)


if __name__ == "__main__":
    main()

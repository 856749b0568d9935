#!/usr/bin/env python3
"""Prints the ranges of hostsim/terminal_text.cpp's kInvisible: every code point that is
Default_Ignorable_Code_Point, or of general category Cf, Zl or Zp, merged, sorted and coalesced.
Usage: scripts/invisible_table.py [UCD directory, default /usr/share/unicode (Debian unicode-data)]"""
import sys

ucd = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/unicode"
codes = set()
for line in open(f"{ucd}/DerivedCoreProperties.txt", encoding="utf-8"):
    fields = [f.strip() for f in line.split("#")[0].split(";")]
    if len(fields) == 2 and fields[1] == "Default_Ignorable_Code_Point":
        first, _, last = fields[0].partition("..")
        codes.update(range(int(first, 16), int(last or first, 16) + 1))
first = None  # UnicodeData.txt gives large ranges as a "<..., First>" and a "<..., Last>" line.
for line in open(f"{ucd}/UnicodeData.txt", encoding="utf-8"):
    code, name, category = line.split(";")[:3]
    if category in ("Cf", "Zl", "Zp"):
        if name.endswith(", First>"):
            first = int(code, 16)
            continue
        codes.update(range(first if name.endswith(", Last>") else int(code, 16), int(code, 16) + 1))
ranges = []
for code in sorted(codes):
    if ranges and ranges[-1][1] + 1 == code:
        ranges[-1][1] = code
    else:
        ranges.append([code, code])
cells = [f"{{0x{a:04X}, 0x{b:04X}}}," for a, b in ranges]
for i in range(0, len(cells), 4):
    print("    " + " ".join(cells[i:i + 4]))

#!/usr/bin/env python3
"""Writes a message catalogue (.po) as the C++ table the program looks texts up in.

    po_to_cpp.py CATALOGUE-FOLDER FUNCTION OUTPUT.cpp

The folder (po/<language>/) holds one .po file per part of the program.
"""
import sys

from catalogue import read_catalogue


def literal(text):
    out = []
    for byte in text.encode("utf-8"):
        c = chr(byte)
        if c in '"\\':
            out.append("\\" + c)
        elif 32 <= byte < 127:
            out.append(c)
        else:
            out.append('\\%03o' % byte)  # octal: never runs into the next character
    return '"' + "".join(out) + '"'


def main(folder, function, output):
    catalogue, problems = read_catalogue(folder)
    if problems:
        sys.exit("\n".join(problems))
    entries = sorted(catalogue.items(), key=lambda kv: kv[0].encode("utf-8"))
    rows = "\n".join(f"    {{{literal(k)}, {literal(v)}}}," for k, v in entries)
    with open(output, "w", encoding="utf-8") as f:
        f.write(f"""// Generated from {folder.rstrip('/').split('/')[-1]}/*.po by scripts/po_to_cpp.py; do not edit.
#include <span>

#include "platform/runtime/translation.hpp"

namespace kx::platform {{
namespace {{
constexpr CatalogueEntry kEntries[] = {{
    {{"", ""}},  // never empty, so the table has a size
{rows}
}};
}}  // namespace

std::span<const CatalogueEntry> {function}() {{ return kEntries; }}

}}  // namespace kx::platform
""")


if __name__ == "__main__":
    main(*sys.argv[1:4])

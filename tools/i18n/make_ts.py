#!/usr/bin/env python3
"""Builds the English translation source (.ts) from the text tables in src/res/i18n/*.tsv.

Each table line is `KEY<TAB>English text`; blank lines and lines starting with # are skipped.
In the English text, \\n stands for a line break and \\t for a tab. All keys go into the
empty context; the program's translator looks there when a class has no entry of its own.
"""
import sys
from xml.sax.saxutils import escape


def main():
    out, tables = sys.argv[1], sys.argv[2:]
    entries = {}
    for table in sorted(tables):
        with open(table, encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                line = line.rstrip("\n")
                if not line.strip() or line.startswith("#"):
                    continue
                if "\t" not in line:
                    sys.exit(f"{table}:{number}: expected KEY<TAB>text")
                key, text = line.split("\t", 1)
                text = text.replace("\\n", "\n").replace("\\t", "\t")
                if key in entries and entries[key] != text:
                    sys.exit(f"{table}:{number}: {key} is already defined with another text")
                entries[key] = text
    with open(out, "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="utf-8"?>\n<!DOCTYPE TS>\n<TS version="2.1" language="en">\n')
        f.write("<context>\n    <name></name>\n")
        for key in sorted(entries):
            f.write(f"    <message>\n        <source>{escape(key)}</source>\n")
            f.write(f"        <translation>{escape(entries[key])}</translation>\n    </message>\n")
        f.write("</context>\n</TS>\n")


if __name__ == "__main__":
    main()

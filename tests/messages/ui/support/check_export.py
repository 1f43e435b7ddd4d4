#!/usr/bin/python3
"""Reads exported message files with Python's standard readers and reports what they hold as JSON.

  check_export.py csv FILE       the rows as read by the csv module
  check_export.py html FOLDER    every page parsed; links and pictures that should be in files/
"""
import csv
import json
import os
import sys
import urllib.parse
from html.parser import HTMLParser


class Page(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.refs = []       # (tag, attribute, value)
        self.alts = []
        self.classes = {}
        self.text = []
        self.stack = 0

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        for key in ("href", "src"):
            if key in a:
                self.refs.append((tag, key, a[key]))
        if tag == "img" and "alt" in a:
            self.alts.append(a["alt"])
        for c in (a.get("class") or "").split():
            self.classes[c] = self.classes.get(c, 0) + 1

    def handle_data(self, data):
        self.text.append(data)


def check_html(folder):
    out = {"pages": {}, "missing": [], "external": []}
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".html"):
            continue
        p = Page()
        with open(os.path.join(folder, name), encoding="utf-8") as f:
            p.feed(f.read())
        p.close()
        links = []
        for tag, key, value in p.refs:
            if value == "#" or value.startswith("https://"):
                if value != "#":
                    out["external"].append(value)
                continue
            target = urllib.parse.unquote(value)
            links.append(target)
            if not os.path.isfile(os.path.join(folder, target)):
                out["missing"].append(value)
        out["pages"][name] = {"links": links, "alts": p.alts, "classes": p.classes, "text": "".join(p.text)}
    return out


def main():
    kind, path = sys.argv[1], sys.argv[2]
    if kind == "csv":
        with open(path, newline="", encoding="utf-8") as f:
            rows = list(csv.reader(f))
        print(json.dumps(rows))
    elif kind == "html":
        print(json.dumps(check_html(path)))
    else:
        sys.exit("unknown kind")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Makes a Safari-style Bookmarks.db for tests (table "bookmarks" as the device keeps it).

Written from the public description of the device's bookmark table, independently of the
program's reader. The default content has nested folders, a hidden folder with visible bookmarks
below it, a row of type 2, a folder whose id is lower than its parent's, a two-folder parent
cycle and titles and addresses with characters that need escaping in HTML.

  make_bookmarks_db.py OUT.db            the default content
  make_bookmarks_db.py --empty OUT.db    the table without rows
  make_bookmarks_db.py --json OUT.db     also prints the rows as JSON
  make_bookmarks_db.py --demo OUT.db     the demo backup's bookmarks in a few folders
"""
import argparse
import json
import os
import sqlite3

SCHEMA = (
    "CREATE TABLE bookmarks (id INTEGER PRIMARY KEY, special_id INTEGER DEFAULT 0, parent INTEGER, "
    "type INTEGER, title TEXT, url TEXT COLLATE NOCASE, num_children INTEGER DEFAULT 0, "
    "editable INTEGER DEFAULT 1, deletable INTEGER DEFAULT 1, hidden INTEGER DEFAULT 0, "
    "hidden_ancestor_count INTEGER DEFAULT 0, order_index INTEGER NOT NULL, external_uuid TEXT, "
    "read INTEGER DEFAULT NULL, last_modified REAL DEFAULT NULL, server_id TEXT, sync_key TEXT, "
    "sync_data BLOB, added INTEGER DEFAULT 1, deleted INTEGER DEFAULT 0, extra_attributes BLOB DEFAULT NULL)"
)

# id, parent, type (0 bookmark, 1 folder, 2 other), title, url, order_index, hidden
ROWS = [
    (0, None, 1, "Root", None, 0, 0),
    (1, 0, 1, "BookmarksBar", None, 0, 0),
    (2, 0, 1, "com.apple.ReadingList", None, 1, 1),
    (3, 0, 0, "Search & Find", "https://example.com/?q=a&b=<c>", 2, 0),
    (4, 0, 0, "Plain", "http://example.org/", 3, 0),
    (10, 1, 0, "Bar one", "http://bar.example/1", 1, 0),
    (11, 1, 0, "Bar zero", "http://bar.example/0", 0, 0),
    (12, 1, 1, "Sub <folder>", None, 0, 0),
    (13, 12, 0, "Deep \"quoted\"", "http://deep.example/\"q\"", 0, 0),
    (14, 12, 2, "Type two", "http://two.example/", 1, 0),
    (20, 2, 0, "Read later", "http://later.example/", 0, 0),
    (21, 0, 1, "Hidden folder", None, 4, 1),
    (22, 21, 0, "Under hidden", "http://hidden.example/", 0, 0),
    (23, 0, 0, "Hidden bookmark", "http://hiddenbm.example/", 5, 1),
    # A folder (5) inside a folder with a higher id (30), holding one bookmark.
    (30, 0, 1, "Late folder", None, 6, 0),
    (5, 30, 1, "Low id", None, 0, 0),
    (31, 5, 0, "In low id", "http://low.example/", 0, 0),
    # Two folders that name each other as parent, one holding a bookmark.
    (40, 41, 1, "Cycle A", None, 0, 0),
    (41, 40, 1, "Cycle B", None, 0, 0),
    (42, 41, 0, "In cycle", "http://cycle.example/", 0, 0),
    # A bookmark below a bookmark: never shown.
    (50, 4, 0, "Under a bookmark", "http://under.example/", 0, 0),
    (51, 0, 0, "javascript", "javascript:alert(1)", 7, 0),
]

DEMO_ROWS = [
    (0, None, 1, "Root", None, 0, 0),
    (1, 0, 1, "BookmarksBar", None, 0, 0),
    (2, 0, 1, "com.apple.ReadingList", None, 1, 1),
    (3, 1, 0, "Weather", "https://weather.example.com/portland", 0, 0),
    (4, 1, 0, "Maps", "https://maps.example.com/", 1, 0),
    (5, 0, 1, "Travel", None, 2, 0),
    (6, 5, 0, "Trail conditions", "https://trails.example.org/conditions", 0, 0),
    (7, 5, 0, "Cabin booking", "https://cabins.example.com/booking/4821", 1, 0),
    (8, 0, 1, "Recipes", None, 3, 0),
    (9, 8, 0, "Lemon pasta", "https://cooking.example.com/lemon-pasta", 0, 0),
    (10, 8, 0, "Banana bread", "https://cooking.example.com/banana-bread", 1, 0),
    (11, 0, 0, "Morning news", "https://news.example.com/", 4, 0),
    (12, 2, 0, "Long read for later", "https://magazine.example.com/long-read", 0, 0),
]


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("out")
    p.add_argument("--empty", action="store_true")
    p.add_argument("--json", action="store_true")
    p.add_argument("--demo", action="store_true")
    a = p.parse_args()
    if os.path.exists(a.out):
        os.unlink(a.out)
    con = sqlite3.connect(a.out)
    con.execute(SCHEMA)
    rows = [] if a.empty else DEMO_ROWS if a.demo else ROWS
    for i, (rid, parent, typ, title, url, order, hidden) in enumerate(rows):
        con.execute("INSERT INTO bookmarks (id, parent, type, title, url, order_index, hidden, external_uuid) "
                    "VALUES (?,?,?,?,?,?,?,?)", (rid, parent, typ, title, url, order, hidden, "UUID-%d" % rid))
    con.commit()
    con.close()
    if a.json:
        print(json.dumps(rows))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Makes a notes.sqlite of the older device notes layout (Core Data tables ZNOTE and ZNOTEBODY).

Written from the public description of the device's notes database, independently of the
program's reader. Times are seconds since 2001-01-01 UTC, as Core Data keeps them.

  make_notes_db.py OUT.sqlite             five notes (escaping, long and surrogate summaries)
  make_notes_db.py --count N OUT.sqlite   N plain notes
  make_notes_db.py --demo OUT.sqlite      the demo backup's notes
"""
import argparse
import os
import sqlite3

SCHEMA = [
    "CREATE TABLE ZNOTE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZCONTAINSCJK INTEGER, "
    "ZCONTENTTYPE INTEGER, ZDELETEDFLAG INTEGER, ZEXTERNALFLAGS INTEGER, ZEXTERNALSEQUENCENUMBER INTEGER, "
    "ZEXTERNALSERVERINTID INTEGER, ZINTEGERID INTEGER, ZISBOOKKEEPINGENTRY INTEGER, ZBODY INTEGER, "
    "ZSTORE INTEGER, ZCREATIONDATE TIMESTAMP, ZMODIFICATIONDATE TIMESTAMP, ZAUTHOR VARCHAR, ZGUID VARCHAR, "
    "ZSERVERID VARCHAR, ZSUMMARY VARCHAR, ZTITLE VARCHAR )",
    "CREATE TABLE ZNOTEBODY ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZOWNER INTEGER, "
    "ZCONTENT VARCHAR, ZEXTERNALCONTENTREF VARCHAR, ZEXTERNALREPRESENTATION BLOB )",
]

# title, summary, content (XHTML fragments)
NOTES = [
    ("Shopping", "Milk, eggs: bread?", "<div>Milk</div><div>eggs</div>"),
    ("Fish & <chips>", "A summary that is longer than twenty characters", "<p>Fried <b>fish</b></p>"),
    ("Emoji", "1234567890123456789\U0001F600 tail", "<div>\U0001F600 smile</div>"),
    ("Same name", "same", "<div>first</div>"),
    ("Same name", "same", "<div>second</div>"),
]

DEMO_NOTES = [
    ("Groceries", "Oat milk, apples, coffee beans",
     "<div>Groceries</div><div>Oat milk</div><div>Apples</div><div>Coffee beans</div><div>Basil</div>"),
    ("Hike on Saturday", "Meet at the trailhead at 8:30",
     "<div>Hike on Saturday</div><div>Meet at the trailhead at 8:30</div><div>Bring water, snacks and a jacket</div>"),
    ("Gift ideas", "Emma: a plant pot. Liam: a puzzle",
     "<div>Gift ideas</div><ul><li>Emma: a plant pot</li><li>Liam: a puzzle</li></ul>"),
    ("Wi-Fi at the cabin", "Network: PineCabin",
     "<div>Wi-Fi at the cabin</div><div>Network: PineCabin</div><div>Password is on the fridge</div>"),
]


def build(out, notes, first_created):
    if os.path.exists(out):
        os.unlink(out)
    con = sqlite3.connect(out)
    for sql in SCHEMA:
        con.execute(sql)
    for i, (title, summary, content) in enumerate(notes):
        pk = i + 1
        created = first_created + i * 3600
        con.execute("INSERT INTO ZNOTE (Z_PK, Z_ENT, ZBODY, ZCREATIONDATE, ZMODIFICATIONDATE, ZGUID, ZSUMMARY, "
                    "ZTITLE, ZDELETEDFLAG) VALUES (?,?,?,?,?,?,?,?,0)",
                    (pk, 1, 100 + pk, created, created + 60, "GUID-%d" % pk, summary, title))
        con.execute("INSERT INTO ZNOTEBODY (Z_PK, Z_ENT, ZOWNER, ZCONTENT) VALUES (?,?,?,?)",
                    (100 + pk, 2, pk, content))
    con.commit()
    con.close()


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("out")
    p.add_argument("--count", type=int, default=-1)
    p.add_argument("--demo", action="store_true")
    a = p.parse_args()
    notes = DEMO_NOTES if a.demo else NOTES if a.count < 0 else [
        ("Note %d" % i, "Summary %d" % i, "<div>Body %d</div>" % i) for i in range(a.count)]
    build(a.out, notes, 785000000.0 if a.demo else 400000000.0)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Makes synthetic device address books (AddressBook.sqlitedb and AddressBookImages.sqlitedb).

Written from the public description of the device's address book tables (ABPerson, ABMultiValue,
ABMultiValueLabel, ABMultiValueEntry, ABMultiValueEntryKey, ABFullSizeImage), independently of the
program's reader. Prints a JSON summary of what it wrote.

Examples:
  make_addressbook.py --edge DIR                 every field kind and the awkward cases
  make_addressbook.py --people 50000 DIR         a big book (3 phones and 2 e-mails per person)
  make_addressbook.py --hashed --edge DIR        files under their backup names (a cache folder)
  make_addressbook.py --empty DIR                a book without people
  make_addressbook.py --demo DIR                 a few believable people with photos, one a company
"""
import argparse
import json
import os
import random
import sqlite3
import struct
import zlib

AB_HASH = "31bb7ba8914766d4ba40d6dfb6113c8b614be442"
IMG_HASH = "cd6702cea29fe89cf280a76794405adb17f9a0ee"

SCHEMA = [
    "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT, Middle TEXT, "
    "FirstPhonetic TEXT, MiddlePhonetic TEXT, LastPhonetic TEXT, Organization TEXT, Department TEXT, Note TEXT, "
    "Kind INTEGER, Birthday TEXT, JobTitle TEXT, Nickname TEXT, Prefix TEXT, Suffix TEXT, FirstSort TEXT, "
    "LastSort TEXT, CreationDate INTEGER, ModificationDate INTEGER, CompositeNameFallback TEXT, "
    "ExternalIdentifier TEXT, StoreID INTEGER, DisplayName TEXT, PersonLink INTEGER DEFAULT -1, "
    "IsPreferredName INTEGER DEFAULT 1)",
    "CREATE INDEX ABLastSortIndex on ABPerson(LastSort)",
    "CREATE INDEX ABPersonPersonLinkIndex on ABPerson(PersonLink)",
    "CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER, "
    "identifier INTEGER, label INTEGER, value TEXT)",
    "CREATE INDEX ABMultiValuePropertyValueIndex ON ABMultiValue(property, value COLLATE NOCASE)",
    "CREATE INDEX ABMultiValueRecordIDIndex on ABMultiValue(record_id)",
    "CREATE INDEX ABMultiValueLabelIndex ON ABMultiValue(label)",
    "CREATE TABLE ABMultiValueEntry (parent_id INTEGER, key INTEGER, value TEXT, UNIQUE(parent_id, key))",
    "CREATE INDEX ABMultiValueEntryKeyIndex ON ABMultiValueEntry(key)",
    "CREATE TABLE ABMultiValueEntryKey (value TEXT, UNIQUE(value))",
    "CREATE TABLE ABMultiValueLabel (value TEXT, UNIQUE(value))",
]
IMG_SCHEMA = [
    "CREATE TABLE ABFullSizeImage (ROWID INTEGER PRIMARY KEY, record_id INTEGER, crop_x INTEGER, "
    "crop_y INTEGER, crop_width INTEGER, data BLOB)",
    "CREATE UNIQUE INDEX ABFullSizeImageRecordIDIndex ON ABFullSizeImage(record_id)",
    "CREATE TABLE ABThumbnailImage (ROWID INTEGER PRIMARY KEY, record_id INTEGER, format INTEGER, data BLOB)",
]

PHONE, EMAIL, ADDRESS, DATE, IM, URL, RELATED = 3, 4, 5, 12, 13, 22, 23


def tiny_png(seed):
    rnd = random.Random(seed)
    color = bytes([rnd.randrange(256) for _ in range(3)])
    raw = b"".join(b"\x00" + color * 4 for _ in range(4))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 4, 4, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


class Book:
    def __init__(self, con, img):
        self.con, self.img = con, img
        self.labels, self.keys = {}, {}
        self.summary = {"people": 0, "multivalues": {}, "photos": 0}

    def label(self, text):
        if text is None:
            return None
        if text not in self.labels:
            cur = self.con.execute("INSERT INTO ABMultiValueLabel (value) VALUES (?)", (text,))
            self.labels[text] = cur.lastrowid
        return self.labels[text]

    def key(self, text):
        if text not in self.keys:
            cur = self.con.execute("INSERT INTO ABMultiValueEntryKey (value) VALUES (?)", (text,))
            self.keys[text] = cur.lastrowid
        return self.keys[text]

    def person(self, **f):
        cols = ["First", "Last", "Middle", "Prefix", "Suffix", "Organization", "Department", "JobTitle", "Note",
                "Birthday", "Nickname"]
        vals = [f.get(c.lower()) for c in cols]
        cur = self.con.execute("INSERT INTO ABPerson (%s) VALUES (%s)" % (",".join(cols), ",".join("?" * len(cols))),
                               vals)
        self.summary["people"] += 1
        return cur.lastrowid

    def value(self, rid, prop, value, label=None, label_id=None, entries=None):
        lid = label_id if label_id is not None else self.label(label)
        cur = self.con.execute("INSERT INTO ABMultiValue (record_id, property, identifier, label, value) "
                               "VALUES (?,?,0,?,?)", (rid, prop, lid, value))
        for k, v in (entries or {}).items():
            self.con.execute("INSERT INTO ABMultiValueEntry (parent_id, key, value) VALUES (?,?,?)",
                             (cur.lastrowid, self.key(k), v))
        m = self.summary["multivalues"]
        m[str(prop)] = m.get(str(prop), 0) + 1

    def photo(self, rid, data, thumbnail=None):
        self.img.execute("INSERT INTO ABFullSizeImage (record_id, crop_x, crop_y, crop_width, data) "
                         "VALUES (?,0,0,0,?)", (rid, data))
        if thumbnail is not None:
            self.img.execute("INSERT INTO ABThumbnailImage (record_id, format, data) VALUES (?,0,?)",
                             (rid, thumbnail))
        self.summary["photos"] += 1


def edge_book(b):
    """Every field kind once, and the cases a reader must not lose."""
    anna = b.person(prefix="Dr.", first="Anna", last="Lee", suffix="Jr.", organization="Acme",
                    department="R&D", jobtitle="Chief", note="Line one\nLine two", nickname="Annie",
                    birthday="-631152000")  # 1981-01-01T00:00:00 UTC, before 2001
    b.value(anna, PHONE, "+1 555 0100", "_$!<Mobile>!$_")
    b.value(anna, PHONE, "+1 555 0101", "_$!<Home>!$_")
    b.value(anna, PHONE, "+1 555 0102", "Car phone")
    b.value(anna, PHONE, "+1 555 0103", None, label_id=None)  # no label at all
    b.value(anna, EMAIL, "anna@home.example", "_$!<Home>!$_")
    b.value(anna, EMAIL, "anna@work.example", "_$!<Work>!$_")
    b.value(anna, ADDRESS, None, "_$!<Home>!$_",
            entries={"Street": "1 Main St", "City": "Springfield", "State": "IL", "ZIP": "627",
                     "Country": "USA", "CountryCode": "us"})
    b.value(anna, IM, None, "_$!<Work>!$_", entries={"service": "Skype", "username": "anna.lee"})
    b.value(anna, IM, None, "_$!<Home>!$_", entries={"service": "GoogleTalk", "username": "anna@talk"})
    b.value(anna, URL, "http://anna.example", "_$!<HomePage>!$_")
    b.value(anna, DATE, "0", "_$!<Anniversary>!$_")
    b.value(anna, RELATED, "Mary Lee", "_$!<Mother>!$_")
    b.value(anna, 6, "ignored", "_$!<Other>!$_")  # a property the model has no kind for
    b.photo(anna, b"\xff\xd8\xff\xe0" + bytes(range(256)) * 4 + b"\xff\xd9")
    bob = b.person(first="Bob", last="Stone", birthday="31536000")  # 2002-01-01
    b.value(bob, PHONE, "+1 555 0200", label_id=999)  # label row missing
    b.value(bob, PHONE, "+1 555 0201", "_$!<mobile>!$_")  # not a known label: wrong case
    b.photo(bob, tiny_png(1))
    org1 = b.person(organization="Apple Inc.")
    b.value(org1, PHONE, "1-800-MY-APPLE", "_$!<Main>!$_")
    b.person(organization="Apple Inc.")  # a second nameless one of the same organisation
    b.person(organization="Orange Ltd.")  # nameless, another organisation
    b.person(first="Pat", last="Smith")
    b.person(first="pat", last="smith", note="second Pat")  # same name but for case
    b.person(first="50%", last="Off")
    b.person(first="Carol", last="Nil", birthday=None)
    b.person(first="Zero", last="Day", birthday="0")  # born 2001-01-01T00:00:00


# The demo's people: first, last, organisation, mobile number, e-mail, colour of the photo.
DEMO_PEOPLE = [
    ("Emma", "Carter", None, "+1 (555) 555-0101", "emma.carter@example.com", (222, 120, 90)),
    ("Liam", "Novak", "Northwind Traders", "+1 (555) 555-0102", "liam@northwind.example", (70, 130, 200)),
    ("Sofia", "Ortiz", None, "+1 (555) 555-0103", "sofia.ortiz@example.com", (120, 170, 90)),
    ("Noah", "Brandt", None, "+1 (555) 555-0104", None, None),
    (None, None, "Riverside Dental", "+1 (555) 555-0150", "hello@riverside-dental.example", (60, 160, 170)),
]


def avatar_png(color, size=96):
    """A contact photo: a pale head and shoulders on a coloured ground."""
    pale = bytes(min(255, c + 110) for c in color)
    ground = bytes(color)
    rows = []
    for y in range(size):
        row = bytearray()
        for x in range(size):
            dx, dy = x - size / 2, y - size * 0.38
            head = dx * dx + dy * dy < (size * 0.2) ** 2
            sy = y - size * 1.05
            body = dx * dx + sy * sy < (size * 0.42) ** 2
            row += pale if head or body else ground
        rows.append(b"\x00" + bytes(row))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"".join(rows))) + chunk(b"IEND", b""))


def demo_book(b):
    """The people of a small, believable phone; the company has no person's name."""
    for first, last, org, phone, email, color in DEMO_PEOPLE:
        rid = b.person(first=first, last=last, organization=org,
                       jobtitle="Buyer" if org and first else None,
                       birthday="-315619200" if first == "Noah" else None)  # 1991-01-01
        b.value(rid, PHONE, phone, "_$!<Mobile>!$_" if first else "_$!<Work>!$_")
        if email:
            b.value(rid, EMAIL, email, "_$!<Home>!$_" if first else "_$!<Work>!$_")
        if first == "Sofia":
            b.value(rid, ADDRESS, None, "_$!<Home>!$_",
                    entries={"Street": "12 Harbor Lane", "City": "Portland", "State": "OR", "ZIP": "97201",
                             "Country": "USA", "CountryCode": "us"})
        if not first:
            b.value(rid, URL, "https://riverside-dental.example", "_$!<HomePage>!$_")
        if color:
            b.photo(rid, avatar_png(color), avatar_png(color, 48))


def bulk_book(b, n, phones, emails, seed):
    rnd = random.Random(seed)
    for i in range(n):
        rid = b.person(first="First%06d" % i, last="Last%06d" % i, organization="Org %d" % (i % 97),
                       birthday=str(rnd.randrange(-900000000, 600000000)))
        for p in range(phones):
            b.value(rid, PHONE, "+1 %03d %07d" % (p, i), ["_$!<Mobile>!$_", "_$!<Home>!$_", "_$!<Work>!$_"][p % 3])
        for e in range(emails):
            b.value(rid, EMAIL, "p%06d.%d@example.com" % (i, e), ["_$!<Home>!$_", "_$!<Work>!$_"][e % 2])


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("out", help="folder to write into (created when missing)")
    p.add_argument("--edge", action="store_true", help="the fixed book of awkward cases")
    p.add_argument("--empty", action="store_true", help="no people at all")
    p.add_argument("--demo", action="store_true", help="the demo backup's people")
    p.add_argument("--people", type=int, default=0, help="bulk people")
    p.add_argument("--phones", type=int, default=3)
    p.add_argument("--emails", type=int, default=2)
    p.add_argument("--hashed", action="store_true", help="write the files under their backup names")
    p.add_argument("--no-images", action="store_true", help="no AddressBookImages.sqlitedb")
    p.add_argument("--seed", type=int, default=7)
    a = p.parse_args()
    os.makedirs(a.out, exist_ok=True)
    ab = os.path.join(a.out, AB_HASH if a.hashed else "AddressBook.sqlitedb")
    im = os.path.join(a.out, IMG_HASH if a.hashed else "AddressBookImages.sqlitedb")
    for f in (ab, im):
        if os.path.exists(f):
            os.unlink(f)
    con = sqlite3.connect(ab)
    img = sqlite3.connect(":memory:" if a.no_images else im)
    for sql in SCHEMA:
        con.execute(sql)
    for sql in IMG_SCHEMA:
        img.execute(sql)
    b = Book(con, img)
    if a.edge:
        edge_book(b)
    if a.demo:
        demo_book(b)
    if a.people:
        bulk_book(b, a.people, a.phones, a.emails, a.seed)
    con.commit()
    img.commit()
    con.close()
    img.close()
    b.summary["addressbook"] = ab
    print(json.dumps(b.summary))


if __name__ == "__main__":
    main()

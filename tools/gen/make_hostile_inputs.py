#!/usr/bin/env python3
"""Makes hostile inputs: valid in form, absurd in shape or value. Each goes into its own folder under OUT:

  deep-db/, deep-mbdb/   backups with one record 30,000 (Manifest.db) or 32,767 (Manifest.mbdb)
                         folders deep
  rowids-wide/           a Manifest.db whose 30 rowids spread from -2^63 to near 2^63
  rowids-max/            a Manifest.db whose last rowid is 2^63 - 1
  long-path/             a backup with six small files and, between them, one whose path (5,000
                         bytes in folders of 200) is longer than a file system takes
  deep-bookmarks.db      a bookmark database whose folders nest 200,000 deep
  calls-old.db, calls-store.storedata
                         call databases of both generations with dates and durations out of range
  addressbook/           an address book with birthdays that are no date ("abc", 1e300, -2^63)
  messages/              a message cache folder one of whose attachment files is a link to
                         outside-secret.txt beside the folder
  padded-mbdb/           a backup whose Manifest.mbdb goes on after its records with 3 GB of zeros
                         (sparse: a few kB on disk)
  shared-plist/          a backup whose Manifest.plist (4 MB) refers a thousand times to one 4 MB value
  shared-participants/   an iOS 5 message folder one of whose chats lists its participants in such a
                         property list

Built with this folder's generators, independently of the program's readers.
Usage: make_hostile_inputs.py OUT
"""
import os
import plistlib
import shutil
import sqlite3
import struct
import subprocess
import sys

GEN = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, GEN)
import make_backup  # noqa: E402  (mbfile_archive)
import make_bookmarks_db  # noqa: E402  (SCHEMA)

INT64_MIN, INT64_MAX = -(1 << 63), (1 << 63) - 1
SMALL = ["--no-well-known", "--photos", "0", "--videos", "0"]


def run(script, *args):
    subprocess.run([sys.executable, os.path.join(GEN, script)] + list(args), check=True, stdout=subprocess.DEVNULL)


def record(path, mode=make_backup.MODE_FILE):
    return {"path": path, "LastModified": 1600000000, "LastStatusChange": 1600000000, "Birth": 1600000000,
            "Size": 0, "Mode": mode, "InodeNumber": 1, "UserID": 501, "GroupID": 501, "ProtectionClass": 3,
            "Flags": 0}


def deep_db(out):
    run("make_backup.py", *SMALL, out)
    path = "d/" * 29999 + "f"
    con = sqlite3.connect(os.path.join(out, "Manifest.db"))
    con.execute("INSERT INTO Files VALUES (?,?,?,1,?)", (make_backup.sha1_name("HomeDomain", path), "HomeDomain",
                                                        path, make_backup.mbfile_archive(record(path), None)))
    con.commit()
    con.close()


def deep_mbdb(out):
    run("make_backup.py", "--layout", "mbdb", *SMALL, out)
    path = ("d/" * 32766 + "f").encode()
    rec = b""
    for v in (b"HomeDomain", path):
        rec += struct.pack(">H", len(v)) + v
    rec += b"\xff\xff" * 3
    rec += struct.pack(">HQIIIIIQBB", make_backup.MODE_FILE, 1, 501, 501, 1600000000, 1600000000, 1600000000, 0,
                       3, 0)
    with open(os.path.join(out, "Manifest.mbdb"), "ab") as f:
        f.write(rec)


def padded_mbdb(out, zeros=3 << 30):
    run("make_backup.py", "--layout", "mbdb", *SMALL, out)
    with open(os.path.join(out, "Manifest.mbdb"), "r+b") as f:
        f.truncate(os.fstat(f.fileno()).st_size + zeros)


def rowids(out, spread):
    run("make_backup.py", *SMALL, out)
    con = sqlite3.connect(os.path.join(out, "Manifest.db"))
    ids = [r[0] for r in con.execute("SELECT fileID FROM Files ORDER BY rowid")]
    if spread:
        step = (INT64_MAX - INT64_MIN) // len(ids)
        new = [INT64_MIN + i * step for i in range(len(ids))]
    else:
        new = list(range(1, len(ids))) + [INT64_MAX]
    for file_id, rowid in zip(ids, new):
        con.execute("UPDATE Files SET rowid=? WHERE fileID=?", (rowid, file_id))
    con.commit()
    con.close()
    return len(ids)


def long_path(out, tmp):
    body = os.path.join(tmp, "body.txt")
    with open(body, "w") as f:
        f.write("content\n")
    long_rel = "Library/" + ("x" * 199 + "/") * 25 + "f.txt"
    puts = ["HomeDomain:Library/a%d.txt=%s" % (i, body) for i in (1, 2, 3)]
    puts += ["HomeDomain:%s=%s" % (long_rel, body)]
    puts += ["HomeDomain:Library/z%d.txt=%s" % (i, body) for i in (1, 2, 3)]
    run("make_backup.py", *SMALL, *sum((["--put", p] for p in puts), []), out)


def deep_bookmarks(path, depth=200000):
    con = sqlite3.connect(path)
    con.execute(make_bookmarks_db.SCHEMA)
    con.execute("INSERT INTO bookmarks (id, parent, type, title, order_index) VALUES (0, NULL, 1, 'Root', 0)")
    con.executemany("INSERT INTO bookmarks (id, parent, type, title, order_index) VALUES (?,?,1,?,0)",
                    ((i, i - 1, "f%d" % i) for i in range(1, depth + 1)))
    con.execute("INSERT INTO bookmarks (id, parent, type, title, url, order_index) "
                "VALUES (?,?,0,'bottom','http://deep.example/',0)", (depth + 1, depth))
    con.commit()
    con.close()


def calls(out, tmp):
    old = os.path.join(out, "calls-old.db")
    run("make_call_history.py", "--kind", "old", "--calls", "4", old)
    con = sqlite3.connect(old)
    con.execute("UPDATE call SET date=?, duration=1e12 WHERE ROWID=1", (INT64_MAX,))
    con.execute("UPDATE call SET date=?, duration=-5 WHERE ROWID=2", (INT64_MIN,))
    con.execute("UPDATE call SET date='abc', duration='1e300' WHERE ROWID=3")
    con.commit()
    con.close()
    store = os.path.join(out, "calls-store.storedata")
    run("make_call_history.py", "--kind", "storedata", "--calls", "4", store)
    con = sqlite3.connect(store)
    con.execute("UPDATE ZCALLRECORD SET ZDATE=1e300, ZDURATION=1e12 WHERE Z_PK=1")
    con.execute("UPDATE ZCALLRECORD SET ZDATE=-1e300, ZDURATION=-1 WHERE Z_PK=2")
    con.execute("UPDATE ZCALLRECORD SET ZDATE=?, ZDURATION='abc' WHERE Z_PK=3", (INT64_MAX,))
    con.commit()
    con.close()


def address_book(out):
    run("make_addressbook.py", "--edge", "--no-images", out)
    con = sqlite3.connect(os.path.join(out, "AddressBook.sqlitedb"))
    rows = [r[0] for r in con.execute("SELECT ROWID FROM ABPerson ORDER BY ROWID LIMIT 3")]
    for rowid, value in zip(rows, ["abc", 1e300, INT64_MIN]):
        con.execute("UPDATE ABPerson SET Birthday=? WHERE ROWID=?", (value, rowid))
    con.commit()
    con.close()


def messages(out, secret):
    run("make_sms_db.py", "ios6", out)
    with open(secret, "w") as f:
        f.write("outside the message folder\n")
    for root, _, files in sorted(os.walk(os.path.join(out, "file-relay/var/mobile/Library/SMS/Attachments"))):
        if files:
            target = os.path.join(root, sorted(files)[0])
            os.unlink(target)
            os.symlink(secret, target)
            return


# A binary property list that refers a thousand times to one 4 MB value (the writer stores equal
# values once).
SHARED = [b"\x00" * (4 << 20)] * 1000


def shared_plist(out):
    run("make_backup.py", *SMALL, out)
    path = os.path.join(out, "Manifest.plist")
    with open(path, "rb") as f:
        info = plistlib.load(f)
    info["Padding"] = SHARED
    with open(path, "wb") as f:
        plistlib.dump(info, f, fmt=plistlib.FMT_BINARY)


def shared_participants(out):
    run("make_sms_db.py", "ios5", out)
    con = sqlite3.connect(os.path.join(out, "file-relay/var/mobile/Library/SMS/sms.db"))
    con.execute("UPDATE madrid_chat SET participants=? WHERE chat_identifier='friend@example.com'",
                (plistlib.dumps(SHARED, fmt=plistlib.FMT_BINARY),))
    con.commit()
    con.close()


def main():
    if len(sys.argv) != 2 or sys.argv[1].startswith("-"):
        sys.exit(__doc__)
    out = sys.argv[1]
    # Only a folder this program made is made anew: any other is the user's, and stays.
    marker = os.path.join(out, ".hostile-inputs")
    if os.path.lexists(out):
        if os.path.islink(out) or not os.path.isfile(marker):
            sys.exit(f"{out} exists and was not made by this program: give a new folder")
        shutil.rmtree(out)
    tmp = os.path.join(out, "tmp")
    os.makedirs(tmp)
    open(marker, "w").close()
    deep_db(os.path.join(out, "deep-db"))
    deep_mbdb(os.path.join(out, "deep-mbdb"))
    padded_mbdb(os.path.join(out, "padded-mbdb"))
    rowids(os.path.join(out, "rowids-wide"), True)
    rowids(os.path.join(out, "rowids-max"), False)
    long_path(os.path.join(out, "long-path"), tmp)
    deep_bookmarks(os.path.join(out, "deep-bookmarks.db"))
    calls(out, tmp)
    address_book(os.path.join(out, "addressbook"))
    messages(os.path.join(out, "messages"), os.path.join(out, "outside-secret.txt"))
    shared_plist(os.path.join(out, "shared-plist"))
    shared_participants(os.path.join(out, "shared-participants"))
    shutil.rmtree(tmp)


if __name__ == "__main__":
    main()

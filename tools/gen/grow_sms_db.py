#!/usr/bin/python3
"""Grows a copy of a modern sms.db to a given number of messages by repeating its own message rows.

Each copy of a row gets a new rowid and guid and joins the same chat; every other column, text and
attributedBody included, is the original's. Used by the benchmarks to measure memory per message on
real message rows rather than on generated ones.

Usage: grow_sms_db.py SOURCE TARGET --messages N [--add-columns "NAME DECL,NAME DECL"]

--add-columns first adds the given columns to the message table by ALTER TABLE ADD COLUMN, as a system
update does: the rows already there keep their shorter records, the copies are written at the new width.
"""
import argparse
import shutil
import sqlite3


def add_columns(db, decls):
    """Adds columns ("NAME DECL" each) to the message table."""
    for decl in decls:
        db.execute("ALTER TABLE message ADD COLUMN %s" % decl)


def grow(db, messages):
    """Copies the table's own rows until it holds the given number of messages; returns the count."""
    # The device's triggers would run once per copied row; the copy does not need them.
    for (name,) in db.execute("select name from sqlite_master where type='trigger'").fetchall():
        db.execute('drop trigger "%s"' % name)
    cols = [r[1] for r in db.execute("pragma table_info(message)") if r[1].lower() != "rowid"]
    rest = [c for c in cols if c != "guid"]
    originals = db.execute("select count(*) from message").fetchone()[0]
    have = originals
    round_no = 0
    while have < messages:
        round_no += 1
        take = min(originals, messages - have)
        base = db.execute("select max(rowid) from message").fetchone()[0]
        db.execute(
            "insert into message (rowid, guid, %s) select rowid + ?, guid || '-' || ?, %s from message "
            "where rowid in (select rowid from message order by rowid limit ?)"
            % (",".join('"%s"' % c for c in rest), ",".join('"%s"' % c for c in rest)),
            (base, round_no, take))
        db.execute(
            "insert or ignore into chat_message_join (chat_id, message_id) select j.chat_id, j.message_id + ? "
            "from chat_message_join j where j.message_id in (select rowid from message order by rowid limit ?)",
            (base, take))
        have += take
    return have


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("source")
    ap.add_argument("target")
    ap.add_argument("--messages", type=int, default=1000000)
    ap.add_argument("--add-columns", default="", help='columns to add first: "NAME DECL,NAME DECL"')
    args = ap.parse_args()
    shutil.copyfile(args.source, args.target)
    db = sqlite3.connect(args.target)
    db.execute("PRAGMA journal_mode=OFF")
    db.execute("PRAGMA synchronous=OFF")
    add_columns(db, [d for d in args.add_columns.split(",") if d.strip()])
    have = grow(db, args.messages)
    db.commit()
    db.close()
    print("%s: %d messages" % (args.target, have))


if __name__ == "__main__":
    main()

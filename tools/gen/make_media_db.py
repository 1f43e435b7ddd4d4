#!/usr/bin/env python3
"""Makes the device's voicemail.db and Recordings.db with rows, and the audio files they point at.

Written from the public description of the two databases (the schemas are those of a real device),
independently of the program's reader.

voicemail.db: table voicemail; date is seconds since 1970 UTC, duration whole seconds, flags bit 2
(value 2) marks a message that was listened to, trashed_date (seconds since 1970) is set when the
message is in the trash. Audio: Library/Voicemail/<ROWID>.amr in HomeDomain.

Recordings.db: Core Data table ZRECORDING; ZDATE is seconds since 2001-01-01 UTC, ZDURATION seconds
(a float), ZCUSTOMLABEL the label the user gave (may be NULL), ZPATH the device path of the audio
file. Audio: Media/Recordings/<file name of ZPATH> in MediaDomain.

  make_media_db.py voicemail OUT.db [--count N] [--files DIR]
  make_media_db.py recordings OUT.db [--count N] [--files DIR]

With --files the audio files are written under DIR by their backup-relative paths.
"""
import argparse
import os
import random
import sqlite3

VOICEMAIL_SCHEMA = [
    "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key))",
    "CREATE TABLE voicemail (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, remote_uid INTEGER, date INTEGER, "
    "token TEXT, sender TEXT, callback_num TEXT, duration INTEGER, expiration INTEGER, trashed_date INTEGER, "
    "flags INTEGER)",
    "CREATE INDEX date_index on voicemail(date)",
    "CREATE INDEX remote_uid_index on voicemail(remote_uid)",
]

RECORDINGS_SCHEMA = [
    "CREATE TABLE ZRECORDING ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZITUNESPERSISTENTID "
    "INTEGER, ZLABELPRESET INTEGER, ZPENDINGRESTORE INTEGER, ZSYNCED INTEGER, ZDATE TIMESTAMP, ZDURATION "
    "FLOAT, ZCUSTOMLABEL VARCHAR, ZPATH VARCHAR )",
    "CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, Z_MAX INTEGER)",
    "CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB)",
]

# Senders cycle through these: a number, a short code, an unknown caller and a name with an emoji.
SENDERS = ["+15555550101", "555", None, "+15555550199", "Bob \U0001F600"]
LABELS = ["Lecture", None, "Idea: song?", "Meeting notes", "Memo \u00e9t\u00e9"]


def voicemail_rows(count):
    """(rowid, date, sender, callback, duration, trashed_date, flags, audio path) per message."""
    rows = []
    for i in range(count):
        rowid = i + 1
        date = 1500000000 + i * 86400 + 3723
        trashed = date + 600 if i % 4 == 3 else 0
        flags = 2 if i % 2 == 0 else 0
        sender = SENDERS[i % len(SENDERS)]
        rows.append((rowid, date, sender, sender, 5 + i * 7, trashed, flags,
                     "Library/Voicemail/%d.amr" % rowid))
    return rows


def recording_rows(count):
    """(pk, date since 2001, duration, label, device path, audio path) per recording."""
    rows = []
    for i in range(count):
        pk = i + 1
        date = 500000000.0 + i * 86400 + 45.5
        name = "2016%02d%02d %06d.m4a" % (i % 12 + 1, i % 28 + 1, 101010 + i)
        rows.append((pk, date, 3.25 + i * 11, LABELS[i % len(LABELS)], "/var/mobile/Media/Recordings/" + name,
                     "Media/Recordings/" + name))
    return rows


def audio_bytes(kind, seed):
    rnd = random.Random(seed)
    head = b"#!AMR\n" if kind == "voicemail" else b"\0\0\0\x18ftypM4A \0\0\0\0M4A mp42"
    return head + rnd.randbytes(300 + seed * 37 % 900)


def build(kind, path, count):
    """Writes the database to path; returns [(relative audio path, bytes)]."""
    if os.path.exists(path):
        os.unlink(path)
    con = sqlite3.connect(path)
    files = []
    if kind == "voicemail":
        for sql in VOICEMAIL_SCHEMA:
            con.execute(sql)
        for rowid, date, sender, callback, duration, trashed, flags, rel in voicemail_rows(count):
            con.execute("INSERT INTO voicemail (ROWID, remote_uid, date, token, sender, callback_num, duration, "
                        "expiration, trashed_date, flags) VALUES (?,?,?,?,?,?,?,?,?,?)",
                        (rowid, 100 + rowid, date, "Complete", sender, callback, duration, date + 2592000,
                         trashed, flags))
            files.append((rel, audio_bytes(kind, rowid)))
    else:
        for sql in RECORDINGS_SCHEMA:
            con.execute(sql)
        for pk, date, duration, label, device_path, rel in recording_rows(count):
            con.execute("INSERT INTO ZRECORDING (Z_PK, Z_ENT, Z_OPT, ZLABELPRESET, ZDATE, ZDURATION, ZCUSTOMLABEL, "
                        "ZPATH) VALUES (?,1,1,0,?,?,?,?)", (pk, date, duration, label, device_path))
            files.append((rel, audio_bytes(kind, pk)))
        con.execute("INSERT INTO Z_PRIMARYKEY VALUES (1, 'Recording', 0, ?)", (count,))
    con.commit()
    con.close()
    return files


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("kind", choices=["voicemail", "recordings"])
    p.add_argument("out")
    p.add_argument("--count", type=int, default=5)
    p.add_argument("--files", help="write the audio files under this folder by their relative paths")
    a = p.parse_args()
    files = build(a.kind, a.out, a.count)
    if a.files:
        for rel, data in files:
            dest = os.path.join(a.files, rel)
            os.makedirs(os.path.dirname(dest), exist_ok=True)
            with open(dest, "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()

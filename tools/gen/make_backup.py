#!/usr/bin/env python3
"""Makes synthetic device backups for tests, benchmarks and the demo.

Written from the public description of the backup folder (Manifest.plist with the keybag,
Manifest.db or Manifest.mbdb, hashed file names), independently of the program's reader.

Examples:
  make_backup.py --demo DIR                        a small plain backup a new user can open: a phone
                                                   with messages (one a group, with pictures),
                                                   contacts with photos, calls, calendars, notes,
                                                   bookmarks, voicemail, recordings, photos, videos
  make_backup.py --layout mbdb --password 1234 DIR an encrypted iOS 9 style backup
  make_backup.py --records 372000 --no-filler-files DIR   a big manifest for benchmarks
"""
import argparse
import datetime
import hashlib
import io
import json
import os
import plistlib
import random
import sqlite3
import struct
import sys
import zlib

WELL_KNOWN = [
    ("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb"),
    ("HomeDomain", "Library/AddressBook/AddressBookImages.sqlitedb"),
    ("HomeDomain", "Library/Notes/notes.sqlite"),
    ("HomeDomain", "Library/Calendar/Calendar.sqlitedb"),
    ("HomeDomain", "Library/Calendar/Extras.db"),
    ("MediaDomain", "Media/Recordings/Recordings.db"),
    ("HomeDomain", "Library/Voicemail/voicemail.db"),
    ("HomeDomain", "Library/Safari/Bookmarks.db"),
    ("WirelessDomain", "Library/CallHistory/call_history.db"),
    ("HomeDomain", "Library/CallHistoryDB/CallHistory.storedata"),
    ("HomeDomain", "Library/SMS/sms.db"),
]

MODE_FILE, MODE_DIR, MODE_LINK = 0o100644, 0o040755, 0o120755


def sha1_name(domain, path):
    return hashlib.sha1((domain + "-" + path).encode("utf-8")).hexdigest()


def tiny_png(seed):
    """A valid 8x8 RGB PNG whose colour depends on seed."""
    rnd = random.Random(seed)
    color = bytes([rnd.randrange(256) for _ in range(3)])
    raw = b"".join(b"\x00" + color * 8 for _ in range(8))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 8, 8, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def picture_png(seed, width, height):
    """A PNG of a sky-and-ground scene with a square in the middle, its colours taken from seed."""
    rnd = random.Random(seed)
    top, bottom, block = ([rnd.randrange(256) for _ in range(3)] for _ in range(3))
    rows = []
    for y in range(height):
        mix = [top[c] + (bottom[c] - top[c]) * y // max(1, height - 1) for c in range(3)]
        row = bytearray(bytes(mix) * width)
        if height // 3 <= y < 2 * height // 3:
            row[3 * (width // 3):3 * (2 * width // 3)] = bytes(block) * (2 * width // 3 - width // 3)
        rows.append(b"\x00" + bytes(row))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"".join(rows))) + chunk(b"IEND", b""))


class CameraPictures:
    """Camera pictures as PNG, JPEG and HEIC. HEIC comes from heif-enc (with an embedded thumbnail,
    as a phone writes it) and JPEG from heif-convert, both of Debian's libheif-examples. At most
    twelve different scenes per kind are made; larger sets reuse them."""
    SCENES = 12

    def __init__(self, width, height):
        self.width, self.height = width, height
        self.made = {}

    def get(self, kind, index):
        key = (kind, index % self.SCENES)
        if key not in self.made:
            self.made[key] = self.make(kind, index % self.SCENES)
        return self.made[key]

    def make(self, kind, scene):
        import subprocess
        import tempfile
        png = picture_png(scene, self.width, self.height)
        if kind == "png":
            return png
        if kind not in ("heic", "jpg", "jpeg"):
            sys.exit("unknown photo kind %s (png, jpg, heic)" % kind)
        with tempfile.TemporaryDirectory() as tmp:
            src, heic, jpg = (os.path.join(tmp, n) for n in ("in.png", "out.heic", "out.jpg"))
            with open(src, "wb") as f:
                f.write(png)
            try:
                # A phone's HEIC carries a small preview; heif-enc makes one only below the picture's size.
                thumb = ["-t", "320"] if max(self.width, self.height) > 320 else []
                subprocess.run(["heif-enc", "-q", "60"] + thumb + [src, "-o", heic], check=True,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                if kind != "heic":
                    subprocess.run(["heif-convert", "-q", "90", heic, jpg], check=True,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            except (OSError, subprocess.CalledProcessError) as e:
                sys.exit("making a %s picture needs heif-enc and heif-convert (libheif-examples): %s" % (kind, e))
            with open(heic if kind == "heic" else jpg, "rb") as f:
                return f.read()


def make_sqlite(schema_rows):
    """Builds a small SQLite database in memory and returns its bytes."""
    import tempfile
    fd, path = tempfile.mkstemp(suffix=".db")
    os.close(fd)
    try:
        os.unlink(path)
        con = sqlite3.connect(path)
        for sql in schema_rows:
            con.execute(sql)
        con.commit()
        con.close()
        with open(path, "rb") as f:
            return f.read()
    finally:
        if os.path.exists(path):
            os.unlink(path)


def generated_db(name, demo=False):
    """A database from the project's own generators beside this one: the call store and the
    calendar, and for the demo also the notes and the bookmarks."""
    import tempfile
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import make_bookmarks_db
    import make_calendar_db
    import make_call_history
    import make_notes_db
    fd, path = tempfile.mkstemp(suffix=".db")
    os.close(fd)
    os.unlink(path)
    try:
        if name == "CallHistory.storedata":
            rows = demo_calls() if demo else make_call_history.calls(6, 3)
            make_call_history.write_store(path, rows, 0, "CallRecord")
        elif name == "Calendar.sqlitedb":
            make_calendar_db.build(path, 0, False, demo=demo)
        elif name == "notes.sqlite":
            make_notes_db.build(path, make_notes_db.DEMO_NOTES, 785000000.0)
        else:
            subprocess_gen("make_bookmarks_db.py", ["--demo", path])
        with open(path, "rb") as f:
            return f.read()
    finally:
        if os.path.exists(path):
            os.unlink(path)


def subprocess_gen(script, args):
    import subprocess
    subprocess.run([sys.executable, os.path.join(os.path.dirname(os.path.abspath(__file__)), script)] + args,
                   check=True, stdout=subprocess.DEVNULL)


# The demo phone's people as its messages and calls know them (the address book has them too).
DEMO_NUMBERS = {"emma": "+15555550101", "liam": "+15555550102", "sofia": "+15555550103", "noah": "+15555550104",
                "dentist": "+15555550150"}
DEMO_BASE = 785500000  # 2025-11-22, seconds since 2001


def demo_calls():
    """Calls of the last days with the demo's people, in the rows of make_call_history.py."""
    plan = [("emma", "in", 312), ("liam", "out", 95), ("sofia", "missed", 0), ("dentist", "in", 48),
            ("emma", "out", 1260), ("", "missed", 0), ("noah", "out", 27), ("liam", "in", 604)]
    rows = []
    for i, (who, kind, duration) in enumerate(plan):
        rows.append({"address": DEMO_NUMBERS.get(who, ""), "unix": 978307200 + DEMO_BASE + 86400 * 3 - i * 20000,
                     "duration": duration, "kind": kind, "name": None,
                     "uid": "%08X-0000-4000-8000-DE0000000001" % i})
    return rows


# Conversations: (guid, style, identifier, service, display name, members), then the messages as
# (chat, sender or None for me, text, pictures attached).
DEMO_CHATS = [
    ("SMS;-;+15555550101", 45, "+15555550101", "SMS", None, ["emma"]),
    ("iMessage;-;+15555550102", 45, "+15555550102", "iMessage", None, ["liam"]),
    ("iMessage;+;chat734281903546128790", 43, "chat734281903546128790", "iMessage", "Saturday hike",
     ["emma", "liam", "sofia"]),
    ("SMS;-;+15555550150", 45, "+15555550150", "SMS", None, ["dentist"]),
]
DEMO_MESSAGES = [
    (1, "emma", "Are we still on for dinner tonight?", 0),
    (1, None, "Yes! 7:30 at the usual place?", 0),
    (1, "emma", "Perfect. I'll book a table.", 0),
    (1, "emma", "Look what I found at the market \U0001F33B", 1),
    (1, None, "Those are gorgeous", 0),
    (2, "liam", "Did you get the files I sent over?", 0),
    (2, None, "Got them, thanks. I'll go through them tomorrow.", 0),
    (2, "liam", "No rush. Enjoy the weekend!", 0),
    (3, "sofia", "Who's in for the hike on Saturday?", 0),
    (3, "emma", "Me! What time?", 0),
    (3, "liam", "Count me in \U0001F44D", 0),
    (3, "sofia", "8:30 at the trailhead. This was the view last time:", 1),
    (3, None, "Wow. I'll bring snacks.", 0),
    (3, "liam", "Summit selfie from last year", 1),
    (4, "dentist", "Reminder: your check-up at Riverside Dental is on Wed at 2:30 PM. Reply C to confirm.", 0),
    (4, None, "C", 0),
]


def demo_sms(pictures, names=None):
    """The demo's message database and the pictures attached to its messages (domain, path, bytes);
    names gives some of them other file names, by number (1 is the first)."""
    handles = sorted({m for c in DEMO_CHATS for m in c[5]}, key=lambda w: DEMO_NUMBERS[w])
    rows = ["INSERT INTO _SqliteDatabaseProperties VALUES ('_ClientVersion','14006')"]
    files = []

    def q(text):
        return "'" + text.replace("'", "''") + "'"

    for i, who in enumerate(handles, 1):
        service = "iMessage" if who == "liam" or who == "sofia" else "SMS"
        rows.append("INSERT INTO handle (ROWID,id,country,service) VALUES (%d,%s,'us','%s')"
                    % (i, q(DEMO_NUMBERS[who]), service))
    for c, (guid, style, ident, service, name, members) in enumerate(DEMO_CHATS, 1):
        rows.append("INSERT INTO chat (ROWID,guid,style,state,chat_identifier,service_name,display_name) "
                    "VALUES (%d,%s,%d,3,%s,'%s',%s)" % (c, q(guid), style, q(ident), service, q(name or "")))
        for who in members:
            rows.append("INSERT INTO chat_handle_join VALUES (%d,%d)" % (c, handles.index(who) + 1))
    attachment = 0
    for m, (chat, who, text, pictured) in enumerate(DEMO_MESSAGES, 1):
        date = (DEMO_BASE + chat * 86400 + m * 1500) * 1000000000
        service = DEMO_CHATS[chat - 1][3]
        handle = handles.index(who) + 1 if who else 0
        body = ("\ufffc" if pictured else "") + text
        rows.append("INSERT INTO message (ROWID,guid,text,handle_id,service,date,date_read,is_from_me,is_read,"
                    "is_sent,is_delivered,is_finished,cache_has_attachments) VALUES (%d,'DEMO-%04d',%s,%d,'%s',%d,"
                    "%d,%d,1,%d,1,1,%d)" % (m, m, q(body), handle, service, date, date + 60 * 10 ** 9,
                                           0 if who else 1, 0 if who else 1, pictured))
        rows.append("INSERT INTO chat_message_join VALUES (%d,%d,%d)" % (chat, m, date))
        for _ in range(pictured):
            attachment += 1
            guid = "DEMO-ATTACHMENT-%04d" % attachment
            name = (names or {}).get(attachment, "IMG_%04d.JPG" % (4100 + attachment))
            rel = "Library/SMS/Attachments/%02x/%02d/%s/%s" % (attachment * 37 % 256, attachment, guid, name)
            if "/" in name:  # a folder of its own choosing, which other attachments may share
                rel, name = "Library/SMS/Attachments/" + name, name.rsplit("/", 1)[1]
            data = pictures.get("jpg", 6 + attachment)
            files.append(("MediaDomain", rel, data))
            rows.append("INSERT INTO attachment (ROWID,guid,created_date,filename,uti,mime_type,transfer_state,"
                        "is_outgoing,transfer_name,total_bytes,original_guid) VALUES (%d,'%s',%d,'~/%s',"
                        "'public.jpeg','image/jpeg',5,0,'%s',%d,'%s')"
                        % (attachment, guid, date // 10 ** 9, rel, name, len(data), guid))
            rows.append("INSERT INTO message_attachment_join VALUES (%d,%d)" % (m, attachment))
    return make_sqlite(SMS_DEVICE_TABLES + rows), files


# The tables of a device's message database (iOS 13), as every device since iOS 6 has them with more or
# fewer columns; the demo's messages fill a few of them.
SMS_DEVICE_TABLES = [
    'CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key))',
    'CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, country TEXT,'
    ' service TEXT NOT NULL, uncanonicalized_id TEXT, person_centric_id TEXT, UNIQUE (id, service) )',
    'CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, style '
    'INTEGER, state INTEGER, account_id TEXT, properties BLOB, chat_identifier TEXT, service_name TEXT, '
    'room_name TEXT, account_login TEXT, is_archived INTEGER DEFAULT 0, last_addressed_handle TEXT, '
    'display_name TEXT, group_id TEXT, is_filtered INTEGER, successful_query INTEGER, engram_id TEXT, '
    'server_change_token TEXT, ck_sync_state INTEGER DEFAULT 0, original_group_id TEXT, '
    'last_read_message_timestamp INTEGER DEFAULT 0, sr_server_change_token TEXT, sr_ck_sync_state INTEGER'
    ' DEFAULT 0, cloudkit_record_id TEXT, sr_cloudkit_record_id TEXT, last_addressed_sim_id TEXT)',
    'CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, text TEXT,'
    ' replace INTEGER DEFAULT 0, service_center TEXT, handle_id INTEGER DEFAULT 0, subject TEXT, country '
    'TEXT, attributedBody BLOB, version INTEGER DEFAULT 0, type INTEGER DEFAULT 0, service TEXT, account '
    'TEXT, account_guid TEXT, error INTEGER DEFAULT 0, date INTEGER, date_read INTEGER, date_delivered '
    'INTEGER, is_delivered INTEGER DEFAULT 0, is_finished INTEGER DEFAULT 0, is_emote INTEGER DEFAULT 0, '
    'is_from_me INTEGER DEFAULT 0, is_empty INTEGER DEFAULT 0, is_delayed INTEGER DEFAULT 0, '
    'is_auto_reply INTEGER DEFAULT 0, is_prepared INTEGER DEFAULT 0, is_read INTEGER DEFAULT 0, '
    'is_system_message INTEGER DEFAULT 0, is_sent INTEGER DEFAULT 0, has_dd_results INTEGER DEFAULT 0, '
    'is_service_message INTEGER DEFAULT 0, is_forward INTEGER DEFAULT 0, was_downgraded INTEGER DEFAULT '
    '0, is_archive INTEGER DEFAULT 0, cache_has_attachments INTEGER DEFAULT 0, cache_roomnames TEXT, '
    'was_data_detected INTEGER DEFAULT 0, was_deduplicated INTEGER DEFAULT 0, is_audio_message INTEGER '
    'DEFAULT 0, is_played INTEGER DEFAULT 0, date_played INTEGER, item_type INTEGER DEFAULT 0, '
    'other_handle INTEGER DEFAULT 0, group_title TEXT, group_action_type INTEGER DEFAULT 0, share_status '
    'INTEGER DEFAULT 0, share_direction INTEGER DEFAULT 0, is_expirable INTEGER DEFAULT 0, expire_state '
    'INTEGER DEFAULT 0, message_action_type INTEGER DEFAULT 0, message_source INTEGER DEFAULT 0, '
    'associated_message_guid TEXT, associated_message_type INTEGER DEFAULT 0, balloon_bundle_id TEXT, '
    'payload_data BLOB, expressive_send_style_id TEXT, associated_message_range_location INTEGER DEFAULT '
    '0, associated_message_range_length INTEGER DEFAULT 0, time_expressive_send_played INTEGER, '
    'message_summary_info BLOB, ck_sync_state INTEGER DEFAULT 0, ck_record_id TEXT, ck_record_change_tag '
    'TEXT, destination_caller_id TEXT, sr_ck_sync_state INTEGER DEFAULT 0, sr_ck_record_id TEXT, '
    'sr_ck_record_change_tag TEXT, is_corrupt INTEGER DEFAULT 0)',
    'CREATE TABLE chat_handle_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE, handle_id '
    'INTEGER REFERENCES handle (ROWID) ON DELETE CASCADE, UNIQUE(chat_id, handle_id))',
    'CREATE TABLE chat_message_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE, '
    'message_id INTEGER REFERENCES message (ROWID) ON DELETE CASCADE, message_date INTEGER DEFAULT 0, '
    'PRIMARY KEY (chat_id, message_id))',
    'CREATE TABLE attachment (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, '
    'created_date INTEGER DEFAULT 0, start_date INTEGER DEFAULT 0, filename TEXT, uti TEXT, mime_type '
    'TEXT, transfer_state INTEGER DEFAULT 0, is_outgoing INTEGER DEFAULT 0, user_info BLOB, transfer_name'
    ' TEXT, total_bytes INTEGER DEFAULT 0, is_sticker INTEGER DEFAULT 0, sticker_user_info BLOB, '
    'attribution_info BLOB, hide_attachment INTEGER DEFAULT 0, ck_sync_state INTEGER DEFAULT 0, '
    'ck_server_change_token_blob BLOB, ck_record_id TEXT, original_guid TEXT UNIQUE NOT NULL, '
    'sr_ck_sync_state INTEGER DEFAULT 0, sr_ck_server_change_token_blob BLOB, sr_ck_record_id TEXT)',
    'CREATE TABLE message_attachment_join (message_id INTEGER REFERENCES message (ROWID) ON DELETE '
    'CASCADE, attachment_id INTEGER REFERENCES attachment (ROWID) ON DELETE CASCADE, UNIQUE(message_id, '
    'attachment_id))',
    'CREATE TABLE deleted_messages (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, guid TEXT NOT NULL)',
    'CREATE TABLE sync_deleted_messages (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, guid TEXT NOT '
    'NULL, recordID TEXT )',
    'CREATE TABLE sync_deleted_chats (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, guid TEXT NOT NULL,'
    ' recordID TEXT,timestamp INTEGER)',
    'CREATE TABLE sync_deleted_attachments (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, guid TEXT NOT'
    ' NULL, recordID TEXT )',
    'CREATE TABLE message_processing_task (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, guid TEXT NOT '
    'NULL, task_flags INTEGER NOT NULL )',
    'CREATE TABLE kvtable (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, key TEXT UNIQUE NOT NULL, '
    'value BLOB NOT NULL)',
]


def well_known_content(path):
    name = path.rsplit("/", 1)[-1]
    if name == "sms.db":
        return make_sqlite(SMS_DEVICE_TABLES + [
            "INSERT INTO _SqliteDatabaseProperties VALUES ('_ClientVersion','14006')",
            "INSERT INTO handle (ROWID,id,country,service) VALUES (1,'+15555550101','us','SMS')",
            "INSERT INTO chat (ROWID,guid,style,state,chat_identifier,service_name) "
            "VALUES (1,'SMS;-;+15555550101',45,3,'+15555550101','SMS')",
            "INSERT INTO message (ROWID,guid,text,handle_id,service,date,is_from_me,is_read,is_sent,is_delivered,"
            "is_finished) VALUES (1,'demo-1','Hello from the demo backup',1,'SMS',400000000,0,1,0,1,1)",
            "INSERT INTO message (ROWID,guid,text,handle_id,service,date,is_from_me,is_read,is_sent,is_delivered,"
            "is_finished) VALUES (2,'demo-2','Hi! Nice to hear from you.',1,'SMS',400000060,1,1,1,1,1)",
            "INSERT INTO chat_handle_join (chat_id,handle_id) VALUES (1,1)",
            "INSERT INTO chat_message_join (chat_id,message_id,message_date) VALUES (1,1,400000000)",
            "INSERT INTO chat_message_join (chat_id,message_id,message_date) VALUES (1,2,400000060)",
        ])
    if name == "call_history.db":
        return make_sqlite([
            "CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, "
            "duration INTEGER, flags INTEGER, id INTEGER, name TEXT, country_code TEXT, network_code TEXT, "
            "read INTEGER, assisted INTEGER, face_time_data BLOB, originalAddress TEXT)",
            "INSERT INTO call (address,date,duration,flags,id,read) VALUES ('+15555550101',1400000000,65,5,-1,1)",
        ])
    if name in ("CallHistory.storedata", "Calendar.sqlitedb"):
        return generated_db(name)
    return make_sqlite([
        "CREATE TABLE demo_info (key TEXT PRIMARY KEY, value TEXT)",
        "INSERT INTO demo_info VALUES ('file', '%s')" % path.replace("'", "''"),
    ])


def addressbook_content(spec, path):
    """The address book (or its images) of make_addressbook.py: "edge", "demo", "empty" or a number of people."""
    import tempfile
    with tempfile.TemporaryDirectory() as tmp:
        opts = ["--" + spec] if spec in ("edge", "demo") else [] if spec == "empty" else ["--people", spec]
        subprocess_gen("make_addressbook.py", opts + [tmp])
        with open(os.path.join(tmp, path.rsplit("/", 1)[-1]), "rb") as f:
            return f.read()


class Keybag:
    """A backup keybag with random class keys wrapped by the password."""

    def __init__(self, password, iter_sha1, dpic, double_protection, rnd):
        from cryptography.hazmat.primitives.keywrap import aes_key_wrap
        self.salt = rnd.randbytes(20)
        self.dpsl = rnd.randbytes(20)
        self.iter = iter_sha1
        self.dpic = dpic
        self.double = double_protection
        pw = password.encode("utf-8")
        stage = hashlib.pbkdf2_hmac("sha256", pw, self.dpsl, dpic, 32) if double_protection else pw
        kek = hashlib.pbkdf2_hmac("sha1", stage, self.salt, iter_sha1, 32)
        self.class_keys = {}
        self.items = []

        def tlv(tag, value):
            if isinstance(value, int):
                value = struct.pack(">I", value)
            return tag.encode("ascii") + struct.pack(">I", len(value)) + value

        out = [tlv("VERS", 5 if double_protection else 3), tlv("TYPE", 1), tlv("UUID", rnd.randbytes(16)),
               tlv("HMCK", rnd.randbytes(40)), tlv("WRAP", 0), tlv("SALT", self.salt), tlv("ITER", iter_sha1)]
        if double_protection:
            out += [tlv("DPWT", 1), tlv("DPIC", dpic), tlv("DPSL", self.dpsl)]
        for cls in list(range(1, 12)):
            key = rnd.randbytes(32)
            self.class_keys[cls] = key
            out += [tlv("UUID", rnd.randbytes(16)), tlv("CLAS", cls), tlv("WRAP", 3 if cls in (1, 2, 3) else 2),
                    tlv("KTYP", 0), tlv("WPKY", aes_key_wrap(kek, key))]
        self.data = b"".join(out)

    def wrap_for(self, cls, key):
        from cryptography.hazmat.primitives.keywrap import aes_key_wrap
        return struct.pack("<I", cls) + aes_key_wrap(self.class_keys[cls], key)


def aes_cbc_encrypt(key, data, pad=True):
    from cryptography.hazmat.primitives import padding
    from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
    if pad:
        p = padding.PKCS7(128).padder()
        data = p.update(data) + p.finalize()
    else:
        data = data + b"\0" * (-len(data) % 16)
    enc = Cipher(algorithms.AES(key), modes.CBC(b"\0" * 16)).encryptor()
    return enc.update(data) + enc.finalize()


def aes_cbc_last_block(key, data):
    """The plaintext of the last block of data under key (CBC with a zero IV)."""
    from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
    dec = Cipher(algorithms.AES(key), modes.CBC(b"\0" * 16)).decryptor()
    tail = data[-32:]
    return (dec.update(tail) + dec.finalize())[-16:]


def pkcs7_valid(block):
    n = block[-1]
    return 1 <= n <= 16 and block[-n:] == bytes([n]) * n


def damage_stored(kind, key, content, data):
    """--stored-damage: the stored copy of an encrypted file as it is left by an interrupted copy
    ("cut-half": its first half, in whole blocks), by a write under a key the record does not hold
    ("other-key"), or by a tool that decrypted it in place ("in-place": the plain content). With
    --decrypted-copy, "still-encrypted" is a file that tool left as the device encrypted it."""
    if kind in ("still-encrypted", "unreadable", "not-stored") or kind in KEY_DAMAGE:
        return data
    if kind == "cut-half":
        return data[:len(data) // 2 // 16 * 16]
    if kind in ("in-place", "in-place-padded"):
        return content
    if kind == "other-key":
        # A key whose encryption does not happen to decrypt to valid padding under the record's key.
        for n in range(1000):
            other = hashlib.sha256(b"another key %d" % n).digest()
            enc = aes_cbc_encrypt(other, content)
            if not pkcs7_valid(aes_cbc_last_block(key, enc)):
                return enc
    raise SystemExit("unknown --stored-damage kind %s" % kind)


def damage_plain(kind, data):
    """--stored-damage without --password: the stored copy of a plain file as an interrupted copy or a
    cloud folder's placeholder leaves it: "empty", its first half ("short-half"), N bytes short
    ("short-N"), or its first N bytes only ("first-N"). The kinds of encrypted copies leave a plain one as it is, so that one list of damage
    makes an encrypted backup and its plain twin."""
    if kind == "empty":
        return b""
    if kind == "short-half":
        return data[:len(data) // 2]
    if kind.startswith("short-") and kind[6:].isdigit():
        return data[:max(0, len(data) - int(kind[6:]))]
    if kind.startswith("first-") and kind[6:].isdigit():
        return data[:int(kind[6:])]
    if kind in ("cut-half", "other-key", "in-place", "in-place-padded", "still-encrypted", "unreadable",
                "not-stored") or kind in KEY_DAMAGE:
        return data
    raise SystemExit("unknown --stored-damage kind %s" % kind)


KEY_DAMAGE = ("key-bit", "key-class", "key-length", "key-none", "key-archive", "manifest-byte")


def damage_key(kind, blob):
    """--stored-damage with --password: the record's key as damage leaves it, its stored copy as
    written: one bit of the wrapped key flipped ("key-bit"), naming a protection class the keybag
    lacks ("key-class"), 8 bytes short ("key-length") or missing ("key-none", None). "key-archive"
    and "manifest-byte" damage the record in Manifest.db instead (see write)."""
    if kind == "key-bit":
        return blob[:20] + bytes([blob[20] ^ 0x10]) + blob[21:]
    if kind == "key-class":
        return struct.pack("<I", 20) + blob[4:]
    if kind == "key-length":
        return blob[:-8]
    if kind == "key-none":
        return None
    return blob


def damage_key_block(plain, enc, key_blob):
    """--stored-damage manifest-byte: one byte of the encrypted Manifest.db changed, as a failing disk
    leaves it. Its cipher garbles the block that byte is in, here the first one wholly inside the
    record's wrapped key, and flips one byte of the next, also inside it: that key alone is lost."""
    at = plain.find(key_blob[4:])
    if at < 0:
        raise SystemExit("the record's key is not in Manifest.db")
    block = (at + 15) // 16 * 16
    return enc[:block] + bytes([enc[block] ^ 0x01]) + enc[block + 1:]


def padding_key(content):
    """A file key under which the plain content, whole blocks, ends in what decrypts to valid padding:
    the stored copy of a file decrypted in place that reads as whole encrypted blocks to the end.
    None for content that is not whole blocks."""
    if not content or len(content) % 16:
        return None
    for n in range(100000):
        key = hashlib.sha256(b"padding key %d" % n).digest()
        if pkcs7_valid(aes_cbc_last_block(key, content)):
            return key
    raise SystemExit("no key found")


def leave_in_wal(path, rows):
    """Turns the database at path to WAL mode and commits rows into its log only, as a program that
    had it open for writing leaves it: Manifest.db keeps the old pages, Manifest.db-wal the new."""
    import shutil
    con = sqlite3.connect(path)
    con.execute("PRAGMA journal_mode=WAL")
    con.execute("PRAGMA wal_checkpoint(TRUNCATE)")
    con.execute("PRAGMA wal_autocheckpoint=0")
    shutil.copyfile(path, path + ".before")
    con.executemany("INSERT INTO Files VALUES (?,?,?,?,?)", rows)
    con.commit()
    shutil.copyfile(path + "-wal", path + ".wal")
    con.close()  # the last connection copies the log into the database: put both back as they were
    os.replace(path + ".before", path)
    os.replace(path + ".wal", path + "-wal")
    if os.path.exists(path + "-shm"):
        os.unlink(path + "-shm")


JOURNAL_MAGIC = bytes.fromhex("d9d505f920a163d7")


def leave_hot_journal(path, change="UPDATE Files SET relativePath = relativePath || '.unfinished', file = x'00'",
                      rows="SELECT zeroblob(4000) FROM Files"):
    """Leaves the database at path as a program stopped in the middle of a change leaves it: the file
    holds part of the change (by default every record renamed, its archive blanked, and a table of
    rows added), its -journal what that part replaced, which SQLite plays back when it next opens the
    file."""
    import shutil
    con = sqlite3.connect(path, isolation_level=None)
    con.execute("PRAGMA cache_size=1")  # the change spills into the file before it ends
    con.execute("BEGIN IMMEDIATE")
    con.execute(change)
    con.execute("CREATE TABLE filler(x)")
    con.execute("INSERT INTO filler " + rows)
    shutil.copyfile(path, path + ".mid")
    shutil.copyfile(path + "-journal", path + ".journal")
    con.execute("ROLLBACK")
    con.close()
    os.replace(path + ".mid", path)
    os.replace(path + ".journal", path + "-journal")


def name_super_journal(path, name):
    """Ends the journal of the database at path as a change to several databases ends it: with the
    name of that change's own journal (the page number that marks it, the name, its length, the sum
    of its bytes as signed chars, the magic)."""
    raw = os.fsencode(name)
    with open(path + "-journal", "r+b") as f:
        page_size = struct.unpack(">I", f.read(28)[24:28])[0] or 4096
        f.seek(0, os.SEEK_END)
        f.write(struct.pack(">I", 0x40000000 // page_size + 1) + raw
                + struct.pack(">II", len(raw), sum(b - 256 if b > 127 else b for b in raw) & 0xffffffff)
                + JOURNAL_MAGIC)


def mbfile_archive(rec, key_blob):
    """The keyed archive stored in the file column of Manifest.db."""
    objects = ["$null"]
    root = {}
    objects.append(root)
    objects.append(rec["path"])
    root["RelativePath"] = plistlib.UID(2)
    for k in ("LastModified", "LastStatusChange", "Birth", "Size", "Mode", "InodeNumber", "UserID",
              "GroupID", "ProtectionClass", "Flags"):
        root[k] = rec[k]
    if rec.get("target") is not None:
        objects.append(rec["target"])
        root["Target"] = plistlib.UID(len(objects) - 1)
    if key_blob is not None:
        objects.append({"NS.data": key_blob, "$class": plistlib.UID(len(objects) + 1)})
        root["EncryptionKey"] = plistlib.UID(len(objects) - 1)
        objects.append({"$classname": "NSMutableData", "$classes": ["NSMutableData", "NSData", "NSObject"]})
    objects.append({"$classname": "MBFile", "$classes": ["MBFile", "NSObject"]})
    root["$class"] = plistlib.UID(len(objects) - 1)
    archive = {"$version": 100000, "$archiver": "NSKeyedArchiver", "$top": {"root": plistlib.UID(1)},
               "$objects": objects}
    return plistlib.dumps(archive, fmt=plistlib.FMT_BINARY)


class Builder:
    def __init__(self, args):
        self.args = args
        self.rnd = random.Random(args.seed)
        self.records = []  # dicts in manifest order
        self.inode = 1000
        self.base_time = 1764000000 if args.demo else 1600000000  # the demo's files are of late 2025
        self.keybag = None
        if args.password is not None:
            self.keybag = Keybag(args.password, args.iter, args.dpic, args.layout == "db" and not args.no_dpsl,
                                 self.rnd)
        self.dirs = set()
        self.pictures = CameraPictures(args.photo_width, args.photo_height)

    def record(self, domain, path, mode, content=None, target=None, cls=3):
        self.inode += 1
        size = len(content) if content is not None else 0
        t = self.base_time + self.inode
        rec = {"domain": domain, "path": path, "mode": mode, "content": content, "target": target,
               "LastModified": t, "LastStatusChange": t, "Birth": t - 100, "Size": size, "Mode": mode,
               "InodeNumber": self.inode, "UserID": 501, "GroupID": 501, "ProtectionClass": cls, "Flags": 0}
        self.records.append(rec)
        return rec

    def ensure_dirs(self, domain, path):
        parts = path.split("/")[:-1]
        for i in range(1, len(parts) + 1):
            d = "/".join(parts[:i])
            if (domain, d) not in self.dirs:
                self.dirs.add((domain, d))
                self.record(domain, d, MODE_DIR)

    def add_file(self, domain, path, content, cls=3):
        self.ensure_dirs(domain, path)
        return self.record(domain, path, MODE_FILE, content, cls=cls)

    def populate(self):
        a = self.args
        for domain in ("HomeDomain", "MediaDomain", "WirelessDomain", "CameraRollDomain"):
            self.record(domain, "", MODE_DIR)
        # --content REL=FILE (a well-known file) and --sms-db FILE are shorthands of --put.
        specs = list(a.put)
        for item in a.content or []:
            rel, _, src = item.partition("=")
            specs += ["%s:%s=%s" % (d, p, src) for d, p in WELL_KNOWN if p == rel]
        if a.sms_db:
            specs.append("HomeDomain:Library/SMS/sms.db=" + a.sms_db)
        puts = {}
        for spec in specs:
            where, local = spec.split("=", 1)
            domain, path = where.split(":", 1)
            with open(local, "rb") as f:
                puts[(domain, path)] = f.read()
        if not a.no_well_known:
            for domain, path in WELL_KNOWN:
                if a.skip_storedata and path.endswith("CallHistory.storedata"):
                    continue
                content = puts.pop((domain, path), None)
                if content is None and a.demo:
                    content = self.demo_content(path)
                if content is None:
                    content = well_known_content(path)
                if a.addressbook and path.startswith("Library/AddressBook/"):
                    content = addressbook_content(a.addressbook, path)
                media = self.media_db(path)
                if media is not None:
                    content = media
                self.add_file(domain, path, content, cls=4 if path.endswith("sms.db") else 3)
        self.add_media_audio()
        self.add_demo_attachments()
        for (domain, path), content in sorted(puts.items()):
            self.add_file(domain, path, content)
        self.add_camera_files()
        self.ensure_dirs("HomeDomain", "Library/Preferences/x")
        self.record("HomeDomain", "Library/Preferences/link.plist", MODE_LINK, target="/var/mobile/elsewhere.plist")
        self.add_file("HomeDomain", "Library/Preferences/com.example.demo.plist",
                      plistlib.dumps({"Greeting": "hello"}, fmt=plistlib.FMT_BINARY))
        if a.big_file:
            chunks = [self.rnd.randbytes(min(1 << 20, a.big_file - i)) for i in range(0, a.big_file, 1 << 20)]
            self.add_file("HomeDomain", "Library/Caches/big.bin", b"".join(chunks))
        # Bulk: many files of one size in folders of 200, for extraction benchmarks.
        for i in range(a.bulk_files):
            self.add_file("AppDomain-com.example.bulk", "Documents/d%03d/f%06d.bin" % (i // 200, i),
                          self.rnd.randbytes(a.bulk_bytes))
        # Filler: application data spread over many folders, like a phone with years of use.
        n = 0
        app = 0
        while len(self.records) < a.records:
            app += 1
            domain = "AppDomain-com.example.app%04d" % app
            self.record(domain, "", MODE_DIR)
            if len(self.records) >= a.records:
                break
            for folder in range(self.rnd.randrange(3, 30)):
                base = "Library/Application Support/Storage/%s/%02d" % (
                    ["Caches", "Documents", "Data", "Media"][folder % 4], folder)
                if len(self.records) + base.count("/") + 1 >= a.records:
                    break
                self.ensure_dirs(domain, base + "/x")
                for f in range(self.rnd.randrange(5, 60)):
                    if len(self.records) >= a.records:
                        break
                    n += 1
                    content = None if a.no_filler_files else self.rnd.randbytes(self.rnd.randrange(0, 300))
                    rec = self.record(domain, "%s/file_%06d.dat" % (base, n), MODE_FILE, content)
                    if content is None:
                        rec["Size"] = self.rnd.randrange(0, 1 << 20)
                if len(self.records) >= a.records:
                    break
        self.resize_records()

    def resize_records(self):
        """--size-delta: records whose Size differs from their file, as a phone records a file that
        changed while it was backed up. Summarised with each file's true length and SHA-1."""
        self.resized = {}
        for spec in self.args.size_delta:
            rel, _, delta = spec.rpartition("=")
            for rec in self.records:
                if rec["path"] == rel and rec["content"] is not None:
                    content = rec["content"]
                    rec["Size"] = max(0, len(content) + int(delta))
                    self.resized[rec["domain"] + "/" + rel] = {
                        "size": rec["Size"], "length": len(content), "sha1": hashlib.sha1(content).hexdigest()}

    def demo_content(self, path):
        """The demo phone's own data for a well-known file, or None where the usual content serves."""
        name = path.rsplit("/", 1)[-1]
        if name == "sms.db":
            names = dict((int(n), name) for n, _, name in (v.partition("=") for v in self.args.attachment_name))
            db, self.demo_attachments = demo_sms(self.pictures, names)
            return db
        if name in ("CallHistory.storedata", "Calendar.sqlitedb", "notes.sqlite", "Bookmarks.db"):
            return generated_db(name, demo=True)
        return None

    def add_demo_attachments(self):
        for domain, rel, data in getattr(self, "demo_attachments", []):
            self.add_file(domain, rel, data)

    def media_db(self, path):
        """voicemail.db or Recordings.db of make_media_db.py when rows were asked for; else None."""
        kind = {"voicemail.db": "voicemail", "Recordings.db": "recordings"}.get(path.rsplit("/", 1)[-1])
        count = {"voicemail": self.args.voicemails, "recordings": self.args.recordings}.get(kind, 0)
        if not count:
            return None
        import tempfile
        sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
        import make_media_db
        fd, db = tempfile.mkstemp(suffix=".db")
        os.close(fd)
        try:
            files = make_media_db.build(kind, db, count)
            # The last --missing-audio rows of each database have no audio file in the backup.
            keep = len(files) - min(self.args.missing_audio, len(files))
            domain = "HomeDomain" if kind == "voicemail" else "MediaDomain"
            self.media_audio = getattr(self, "media_audio", []) + [(domain, r, d) for r, d in files[:keep]]
            with open(db, "rb") as f:
                return f.read()
        finally:
            os.unlink(db)

    def add_media_audio(self):
        for domain, rel, data in getattr(self, "media_audio", []):
            self.add_file(domain, rel, data)

    def add_camera_files(self):
        """Photos cycle through the kinds of --photo-kinds and videos between MOV and MP4, in camera
        folders of 1000 files each (100APPLE, 101APPLE, ...), as a phone numbers them."""
        a = self.args
        kinds = [k.strip().lower() for k in a.photo_kinds.split(",") if k.strip()]
        pictures = self.pictures
        for i in range(a.photos):
            kind = kinds[i % len(kinds)]
            name = "Media/DCIM/%dAPPLE/IMG_%04d.%s" % (100 + i // 1000, i % 10000 + 1, kind.upper())
            self.add_file("CameraRollDomain", name, pictures.get(kind, i))
        for i in range(a.videos):
            head = b"\0\0\0\x14ftypqt  " if i % 2 == 0 else b"\0\0\0\x18ftypmp42\0\0\0\0mp42isom"
            ext = "MOV" if i % 2 == 0 else "MP4"
            self.add_file("CameraRollDomain", "Media/DCIM/100APPLE/IMG_%04d.%s" % (i + 5001, ext),
                          head + self.rnd.randbytes(200 + i))

    def write(self, out):
        a = self.args
        self.stored_damage = dict(spec.rsplit("=", 1) for spec in a.stored_damage)
        damages = set(self.stored_damage.values())
        if "key-archive" in damages and a.layout != "db" or "manifest-byte" in damages and (
                a.layout != "db" or a.decrypted_copy or a.half_decrypted or a.no_manifest_key):
            raise SystemExit("--stored-damage key-archive needs Manifest.db, manifest-byte an encrypted one")
        os.makedirs(out, exist_ok=True)
        encrypted = self.keybag is not None
        stored = []
        for rec in self.records:
            key_blob = None
            if rec["mode"] == MODE_FILE and encrypted:
                fkey = self.rnd.randbytes(32)
                if self.stored_damage.get(rec["path"]) == "in-place-padded":
                    fkey = padding_key(rec["content"]) or fkey
                key_blob = self.keybag.wrap_for(rec["ProtectionClass"], fkey)
                rec["key_blob"] = key_blob
                data = rec["content"]
                damage = self.stored_damage.get(rec["path"])
                if data is not None and (not a.decrypted_copy or damage == "still-encrypted"):
                    data = aes_cbc_encrypt(fkey, data)
                    if damage:
                        data = damage_stored(damage, fkey, rec["content"], data)
                if damage in KEY_DAMAGE:
                    key_blob = damage_key(damage, key_blob)
            else:
                data = rec["content"]
                damage = self.stored_damage.get(rec["path"])
                if data is not None and damage and not encrypted:
                    data = damage_plain(damage, data)
            rec["key_blob"] = key_blob
            if data is not None and self.stored_damage.get(rec["path"]) != "not-stored":
                name = sha1_name(rec["domain"], rec["path"])
                sub = os.path.join(out, name[:2]) if a.layout == "db" else out
                os.makedirs(sub, exist_ok=True)
                if os.path.islink(os.path.join(sub, name)):
                    os.unlink(os.path.join(sub, name))  # never written through
                if self.stored_damage.get(rec["path"]) == "unreadable":
                    # A link to the reader's own memory, whose reads fail at its start as a failing disk's do.
                    os.symlink("/proc/self/mem", os.path.join(sub, name))
                else:
                    with open(os.path.join(sub, name), "wb") as f:
                        f.write(data)
                stored.append(name)
        manifest_key_blob = None
        if a.layout == "db":
            path = os.path.join(out, "Manifest.db")
            if os.path.exists(path):
                os.unlink(path)
            con = sqlite3.connect(path)
            con.execute("CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, "
                        "flags INTEGER, file BLOB)")
            con.execute("CREATE TABLE Properties (key TEXT PRIMARY KEY, value BLOB)")
            con.execute("CREATE INDEX FilesDomainIdx ON Files(domain)")
            con.execute("CREATE INDEX FilesRelativePathIdx ON Files(relativePath)")
            con.execute("CREATE INDEX FilesFlagsIdx ON Files(flags)")
            rows = []
            for rec in self.records:
                flags = {MODE_FILE: 1, MODE_DIR: 2, MODE_LINK: 4}[rec["mode"]]
                archive = mbfile_archive(rec, rec["key_blob"])
                if self.stored_damage.get(rec["path"]) == "key-archive":
                    archive = archive[:len(archive) // 2]  # its trailer gone: no reader decodes it
                rows.append((sha1_name(rec["domain"], rec["path"]), rec["domain"], rec["path"], flags, archive))
            con.executemany("INSERT INTO Files VALUES (?,?,?,?,?)", rows[:len(rows) - a.wal_rows])
            con.execute("INSERT INTO Properties VALUES ('salt', ?)", (self.rnd.randbytes(16),))
            con.commit()
            con.close()
            if a.wal_rows:
                leave_in_wal(path, rows[-a.wal_rows:])
            if encrypted:
                mkey = self.rnd.randbytes(32)
                manifest_key_blob = self.keybag.wrap_for(4, mkey)
                if not a.decrypted_copy and not a.half_decrypted and not a.no_manifest_key:
                    with open(path, "rb") as f:
                        plain = f.read()
                    enc = aes_cbc_encrypt(mkey, plain, pad=not a.manifest_nopad)
                    for rec in self.records:
                        if self.stored_damage.get(rec["path"]) == "manifest-byte":
                            enc = damage_key_block(plain, enc, rec["key_blob"])
                    with open(path, "wb") as f:
                        f.write(enc)
            if a.hot_journal:
                leave_hot_journal(path)
            if a.journal_names:
                name_super_journal(path, os.path.join(os.path.dirname(path), a.journal_names))
            if a.journal_kind == "fifo":
                os.mkfifo(path + "-journal")
            elif a.journal_kind == "device":
                os.symlink("/dev/zero", path + "-journal")
        else:
            def s(v):
                if v is None:
                    return b"\xff\xff"
                v = v.encode("utf-8") if isinstance(v, str) else v
                return struct.pack(">H", len(v)) + v

            buf = io.BytesIO()
            buf.write(b"mbdb\x05\x00")
            for rec in self.records:
                content = rec["content"]
                digest = hashlib.sha1(content).digest() if content is not None else None
                buf.write(s(rec["domain"]) + s(rec["path"]) + s(rec["target"]) + s(digest) + s(rec["key_blob"]))
                buf.write(struct.pack(">HQIIIIIQBB", rec["mode"], rec["InodeNumber"], 501, 501,
                                      rec["LastModified"], rec["LastModified"], rec["LastStatusChange"],
                                      rec["Size"], rec["ProtectionClass"], 0))
            with open(os.path.join(out, "Manifest.mbdb"), "wb") as f:
                f.write(buf.getvalue())
        udid = a.udid
        lockdown = {"DeviceName": a.device_name, "ProductType": "iPhone10,4",
                    "ProductVersion": "14.3" if a.layout == "db" else "9.3.5", "SerialNumber": "F00DEMO0SERIAL",
                    "UniqueDeviceID": udid, "BuildVersion": "18C66" if a.layout == "db" else "13G36"}
        manifest = {"Lockdown": lockdown, "IsEncrypted": encrypted,
                    "Date": datetime.datetime(2026, 1, 2, 3, 4, 5),
                    "Version": "10.0" if a.layout == "db" else "9.1", "WasPasscodeSet": encrypted,
                    "Applications": {}}
        if encrypted and a.manifest_plist != "no-keybag":
            manifest["BackupKeyBag"] = self.keybag.data
            if manifest_key_blob is not None and not a.no_manifest_key:
                manifest["ManifestKey"] = manifest_key_blob
        if a.manifest_plist != "as-written":
            manifest["IsEncrypted"] = False
        if a.manifest_plist != "missing":
            with open(os.path.join(out, "Manifest.plist"), "wb") as f:
                plistlib.dump(manifest, f, fmt=plistlib.FMT_BINARY)
        with open(os.path.join(out, "Info.plist"), "wb") as f:
            plistlib.dump({"Device Name": a.device_name, "Product Type": "iPhone10,4", "Unique Identifier": udid,
                           "Last Backup Date": datetime.datetime(2026, 1, 2, 3, 4, 5)}, f)
        with open(os.path.join(out, "Status.plist"), "wb") as f:
            plistlib.dump({"IsFullBackup": True, "Version": "3.3", "UUID": "00000000-DEMO",
                           "Date": datetime.datetime(2026, 1, 2, 3, 4, 5), "BackupState": "new",
                           "SnapshotState": "finished"}, f, fmt=plistlib.FMT_BINARY)
        summary = {"records": len(self.records), "stored": len(stored), "encrypted": encrypted,
                   "layout": a.layout, "udid": udid,
                   "files": sum(1 for r in self.records if r["mode"] == MODE_FILE),
                   "folders": sum(1 for r in self.records if r["mode"] == MODE_DIR),
                   "links": sum(1 for r in self.records if r["mode"] == MODE_LINK),
                   "photos": a.photos, "videos": a.videos, "voicemails": a.voicemails,
                   "recordings": a.recordings,
                   "media_audio": len(getattr(self, "media_audio", [])), "resized": self.resized}
        with open(os.path.join(out, "generator-summary.json"), "w") as f:
            json.dump(summary, f, indent=1)
        return summary


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("out", help="backup folder to create")
    p.add_argument("--demo", action="store_true",
                   help="a small backup with sample data to open (plain unless --password is given)")
    p.add_argument("--layout", choices=["db", "mbdb"], default="db")
    p.add_argument("--password", help="encrypt the backup with this password")
    p.add_argument("--iter", type=int, default=10000, help="ITER of the keybag (SHA-1 step)")
    p.add_argument("--dpic", type=int, default=10000000, help="DPIC of the keybag (SHA-256 step)")
    p.add_argument("--no-dpsl", action="store_true", help="old keybag without DPSL/DPIC even for Manifest.db")
    p.add_argument("--size-delta", action="append", default=[], metavar="REL=DELTA",
                   help="record the file at relative path REL with a Size DELTA bytes off its length")
    p.add_argument("--stored-damage", action="append", default=[], metavar="REL=KIND",
                   help="with --password: the stored copy of the file at relative path REL is cut to its "
                        "first half (cut-half), encrypted under another key than its record's (other-key), "
                        "or its plain content (in-place; in-place-padded: content of whole blocks under a file key "
                        "with which its last block reads as padding); with --decrypted-copy, still-encrypted "
                        "leaves that one file encrypted. Without --password: the stored copy is empty (empty), "
                        "its first half (short-half) or N bytes short (short-N), its record unchanged; the "
                        "kinds above leave it as it is. Either way, unreadable makes the stored copy one "
                        "whose every read fails (EIO), as on a failing disk, and not-stored leaves it out of "
                        "the folder, its record kept, as an interrupted copy does. With --password, the record's "
                        "key is damaged while its stored copy stays as written: one bit of its wrapped key "
                        "flipped (key-bit), naming a class the keybag lacks (key-class), 8 bytes short "
                        "(key-length), missing (key-none), its archive in Manifest.db undecodable "
                        "(key-archive), or one byte of the encrypted Manifest.db damaged in the block "
                        "holding it (manifest-byte)")
    p.add_argument("--decrypted-copy", action="store_true",
                   help="with --password: every stored file and Manifest.db written as plaintext, as a "
                        "tool that decrypts a backup leaves it, Manifest.plist unchanged")
    p.add_argument("--half-decrypted", action="store_true",
                   help="with --password: Manifest.db written as plaintext with the file keys in its records, "
                        "the stored files encrypted and Manifest.plist unchanged, as when a tool's decrypted "
                        "manifest is copied over the encrypted one")
    p.add_argument("--no-manifest-key", action="store_true",
                   help="with --password: Manifest.db written as plaintext with the file keys in its records "
                        "and no ManifestKey in Manifest.plist, as iOS 10.0 and 10.1 write it")
    p.add_argument("--manifest-plist", choices=["as-written", "not-encrypted", "no-keybag", "missing"],
                   default="as-written",
                   help="Manifest.plist as other tools leave it: IsEncrypted false whatever the stored files "
                        "are (not-encrypted), that and no keybag or manifest key (no-keybag), or none at all "
                        "(missing)")
    p.add_argument("--wal-rows", type=int, default=0,
                   help="Manifest.db in WAL mode with its last N records only in Manifest.db-wal")
    p.add_argument("--hot-journal", action="store_true",
                   help="a plain Manifest.db that a program stopped in the middle of a change left with "
                        "part of it, and Manifest.db-journal that takes it back")
    p.add_argument("--journal-names", metavar="PATH",
                   help="with --hot-journal: the journal ends naming PATH (relative to the backup "
                        "folder, where SQLite makes it, or absolute) as the journal of a change to "
                        "several databases")
    p.add_argument("--journal-kind", choices=["fifo", "device"],
                   help="a FIFO, or a link to /dev/zero, at the name of Manifest.db's journal")
    p.add_argument("--manifest-nopad", action="store_true", help="encrypted Manifest.db in whole blocks, no PKCS#7")
    p.add_argument("--records", type=int, default=0, help="pad the manifest with filler records up to this count")
    p.add_argument("--no-filler-files", action="store_true", help="filler records have no stored files")
    p.add_argument("--no-well-known", action="store_true")
    p.add_argument("--skip-storedata", action="store_true", help="only the older call_history.db")
    p.add_argument("--content", action="append", metavar="REL=FILE",
                   help="take a well-known file's content (by relative path) from FILE")
    p.add_argument("--photos", type=int, default=3)
    p.add_argument("--voicemails", type=int, default=0, help="voicemail.db with this many messages and their audio")
    p.add_argument("--recordings", type=int, default=0, help="Recordings.db with this many rows and their audio")
    p.add_argument("--missing-audio", type=int, default=0, help="the last N voicemails and recordings lack audio")
    p.add_argument("--videos", type=int, default=2, help="camera movies, MOV and MP4 in turn")
    p.add_argument("--photo-kinds", default="png,jpg,heic", help="kinds the camera pictures cycle through")
    p.add_argument("--photo-width", type=int, default=160)
    p.add_argument("--photo-height", type=int, default=120)
    p.add_argument("--big-file", type=int, default=0, help="add a random file of this many bytes")
    p.add_argument("--bulk-files", type=int, default=0, help="add this many files of --bulk-bytes each")
    p.add_argument("--bulk-bytes", type=int, default=1024)
    p.add_argument("--sms-db", help="put this message database into the backup as Library/SMS/sms.db")
    p.add_argument("--device-name", default="Demo iPhone")
    p.add_argument("--udid", default="0123456789abcdef0123456789abcdef01234567")
    p.add_argument("--seed", type=int, default=7)
    p.add_argument("--put", action="append", default=[], metavar="DOMAIN:PATH=FILE",
                   help="store FILE's bytes as that record (replacing a well-known file of the same path)")
    p.add_argument("--attachment-name", action="append", default=[], metavar="N=NAME",
                   help="--demo: the N-th picture attached to a message is stored under NAME (one with a"
                        " '/' below Library/SMS/Attachments, in the folder it names)")
    p.add_argument("--addressbook", help="address book of make_addressbook.py: edge, demo, empty or a number of people")
    a = p.parse_args()
    if a.demo:
        # Plain unless a password is given: the demo phone's backup as an encrypting user keeps it.
        a.layout, a.records = "db", 0
        a.voicemails, a.recordings = a.voicemails or 3, a.recordings or 2
        a.addressbook = a.addressbook or "demo"
        if a.photo_width == 160 and a.photo_height == 120:
            a.photo_width, a.photo_height = 640, 480
    b = Builder(a)
    b.populate()
    summary = b.write(a.out)
    print(json.dumps(summary))


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Synthetic device message databases for tests and benchmarks.

  make_sms_db.py ios6 FOLDER [--ns] [--messages N]   modern schema (iOS 6 and later)
  make_sms_db.py ios5 FOLDER                         iOS 5 schema (SMS/MMS and iMessage tables)
  make_sms_db.py bulk PATH --messages N [--ns] [--gone-every K]
                                                     one big modern sms.db file, for benchmarks

FOLDER is laid out like a backup's cache folder: the database goes to
FOLDER/file-relay/var/mobile/Library/SMS/sms.db, attachment files below it, and an address book to
FOLDER/file-relay/var/mobile/Library/AddressBook/. FOLDER/expected.json records what was written and
what a reader following the program's rules has to find.

--gone-every K leaves every K-th message of a bulk file out of the message table while its chat join
stays, as long-lived devices keep joins whose message is gone; N counts the joins.
"""
import argparse
import json
import os
import plistlib
import random
import sqlite3
import uuid

EPOCH_2001 = 978307200
SMS_REL = "file-relay/var/mobile/Library/SMS/sms.db"

# Modern message table as a device writes it (no columns of the program's own).
IOS6_MESSAGE_COLS = [
    ("ROWID", "INTEGER PRIMARY KEY AUTOINCREMENT"), ("guid", "TEXT UNIQUE NOT NULL"), ("text", "TEXT"),
    ("replace", "INTEGER DEFAULT 0"), ("service_center", "TEXT"), ("handle_id", "INTEGER DEFAULT 0"),
    ("subject", "TEXT"), ("country", "TEXT"), ("attributedBody", "BLOB"), ("version", "INTEGER DEFAULT 0"),
    ("type", "INTEGER DEFAULT 0"), ("service", "TEXT"), ("account", "TEXT"), ("account_guid", "TEXT"),
    ("error", "INTEGER DEFAULT 0"), ("date", "INTEGER"), ("date_read", "INTEGER"), ("date_delivered", "INTEGER"),
    ("is_delivered", "INTEGER DEFAULT 0"), ("is_finished", "INTEGER DEFAULT 0"), ("is_emote", "INTEGER DEFAULT 0"),
    ("is_from_me", "INTEGER DEFAULT 0"), ("is_empty", "INTEGER DEFAULT 0"), ("is_delayed", "INTEGER DEFAULT 0"),
    ("is_auto_reply", "INTEGER DEFAULT 0"), ("is_prepared", "INTEGER DEFAULT 0"), ("is_read", "INTEGER DEFAULT 0"),
    ("is_system_message", "INTEGER DEFAULT 0"), ("is_sent", "INTEGER DEFAULT 0"),
    ("has_dd_results", "INTEGER DEFAULT 0"), ("is_service_message", "INTEGER DEFAULT 0"),
    ("is_forward", "INTEGER DEFAULT 0"), ("was_downgraded", "INTEGER DEFAULT 0"), ("is_archive", "INTEGER DEFAULT 0"),
    ("cache_has_attachments", "INTEGER DEFAULT 0"), ("cache_roomnames", "TEXT"),
    ("was_data_detected", "INTEGER DEFAULT 0"), ("was_deduplicated", "INTEGER DEFAULT 0"),
    ("is_audio_message", "INTEGER DEFAULT 0"), ("is_played", "INTEGER DEFAULT 0"), ("date_played", "INTEGER"),
    ("item_type", "INTEGER DEFAULT 0"), ("other_handle", "INTEGER DEFAULT 0"), ("group_title", "TEXT"),
    ("group_action_type", "INTEGER DEFAULT 0"), ("share_status", "INTEGER"), ("share_direction", "INTEGER"),
    ("is_expirable", "INTEGER DEFAULT 0"), ("expire_state", "INTEGER DEFAULT 0"),
    ("message_action_type", "INTEGER DEFAULT 0"),
]


def handle_chat_attachment_tables(db):
    """The handle, chat and attachment tables of an iOS 6+ message database."""
    db.execute("CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, country TEXT,"
               " service TEXT NOT NULL, uncanonicalized_id TEXT, UNIQUE (id, service))")
    db.execute("CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, style INTEGER,"
               " state INTEGER, account_id TEXT, properties BLOB, chat_identifier TEXT, service_name TEXT,"
               " room_name TEXT, account_login TEXT, is_archived INTEGER DEFAULT 0, last_addressed_handle TEXT,"
               " display_name TEXT, group_id TEXT)")
    db.execute("CREATE TABLE attachment (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL,"
               " created_date INTEGER DEFAULT 0, start_date INTEGER DEFAULT 0, filename TEXT, uti TEXT, mime_type TEXT,"
               " transfer_state INTEGER DEFAULT 0, is_outgoing INTEGER DEFAULT 0, user_info BLOB, transfer_name TEXT,"
               " total_bytes INTEGER DEFAULT 0)")


def ios6_schema(db, ns):
    cols = list(IOS6_MESSAGE_COLS)
    if ns:
        cols.append(("ck_record_id", "TEXT"))
    db.execute("CREATE TABLE message (%s)" % ", ".join("%s %s" % c for c in cols))
    handle_chat_attachment_tables(db)
    db.execute("CREATE TABLE chat_handle_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE,"
               " handle_id INTEGER REFERENCES handle (ROWID) ON DELETE CASCADE, UNIQUE(chat_id, handle_id))")
    db.execute("CREATE TABLE chat_message_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE,"
               " message_id INTEGER REFERENCES message (ROWID) ON DELETE CASCADE,%s PRIMARY KEY (chat_id, message_id))"
               % (" message_date INTEGER DEFAULT 0," if ns else ""))
    db.execute("CREATE TABLE message_attachment_join (message_id INTEGER REFERENCES message (ROWID) ON DELETE CASCADE,"
               " attachment_id INTEGER REFERENCES attachment (ROWID) ON DELETE CASCADE, UNIQUE(message_id, attachment_id))")
    # Tables a device keeps for sync; a reader empties them in its copy.
    db.execute("CREATE TABLE deleted_messages (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, guid TEXT NOT NULL)")
    db.execute("CREATE TABLE sync_deleted_messages (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, guid TEXT NOT NULL)")
    db.execute("CREATE INDEX message_idx_handle ON message(handle_id, date)")
    db.execute("CREATE INDEX chat_message_join_idx_message_id ON chat_message_join(message_id, chat_id)")


def typedstream(text):
    """A minimal attributed-string archive holding text, as devices write into attributedBody."""
    raw = text.encode("utf-8")
    if len(raw) < 0x80:
        length = bytes([len(raw)])
    else:
        length = b"\x81" + len(raw).to_bytes(2, "little")
    return (bytes.fromhex("040B73747265616D747970656481E803840140848484124E5341747472696275746564537472696E6700"
                          "8484084E534F626A656374008592848484084E53537472696E67019484012B")
            + length + raw + bytes.fromhex("8684026949010692848484") + b"NSDictionary" + b"\x00\x94\x84\x01i\x00\x86\x86")


ATTACHMENT_KINDS = [
    ("image/jpeg", "public.jpeg", "IMG_0001.JPG"),
    ("image/png", "public.png", "screen.png"),
    ("video/quicktime", "com.apple.quicktime-movie", "clip.MOV"),
    ("audio/amr", "org.3gpp.adaptive-multi-rate-audio", "Audio.amr"),
    ("text/vcard", "public.vcard", "Card.vcf"),
    ("application/pdf", "com.adobe.pdf", "paper.pdf"),
]

# Smallest valid JPEG/PNG so thumbnails can be made from the files.
PNG_1x1 = bytes.fromhex("89504E470D0A1A0A0000000D4948445200000001000000010806000000"
                        "1F15C4890000000D49444154789C6360000002000100FFFF03000006000557BFABD40000000049454E44AE426082")


def gen_ios6(folder, ns, extra_messages=0):
    db_path = os.path.join(folder, SMS_REL)
    os.makedirs(os.path.dirname(db_path), exist_ok=True)
    if os.path.exists(db_path):
        os.remove(db_path)
    db = sqlite3.connect(db_path)
    ios6_schema(db, ns)
    scale = 1000000000 if ns else 1
    base = 400000000  # seconds since 2001, 2013-09
    exp = {"schema": 6, "ns": ns}

    handles = [("+15551230001", "us", "SMS"), ("+15551230002", "us", "iMessage"), ("friend@example.com", "us", "iMessage"),
               ("+447700900123", "gb", "SMS"), ("+15551230009", "us", "SMS")]
    for hid, country, service in handles:
        db.execute("INSERT INTO handle (id, country, service, uncanonicalized_id) VALUES (?,?,?,?)",
                   (hid, country, service, None))
    # Chats: 1 one-to-one SMS, 2 one-to-one iMessage, 3 group iMessage, 4 chat with no messages.
    chats = [
        ("SMS;-;+15551230001", 45, "+15551230001", "SMS", None, [1]),
        ("iMessage;-;friend@example.com", 45, "friend@example.com", "iMessage", None, [3]),
        ("iMessage;+;chat123456789012345678", 43, "chat123456789012345678", "iMessage", "Weekend plans", [2, 3, 4]),
        ("SMS;-;+447700900123", 45, "+447700900123", "SMS", None, [4]),
    ]
    for guid, style, ident, service, name, members in chats:
        cur = db.execute("INSERT INTO chat (guid, style, state, chat_identifier, service_name, room_name, account_login,"
                         " display_name) VALUES (?,?,3,?,?,?,'E:',?)",
                         (guid, style, ident, service, ident if style == 43 else None, name))
        for h in members:
            db.execute("INSERT INTO chat_handle_join VALUES (?,?)", (cur.lastrowid, h))

    attach_dir_rel = "Library/SMS/Attachments"
    msgs = []  # (chat, handle, from_me, text, item_type, attachments, attributed_only)
    msgs.append((1, 1, 0, "Hello from SMS", 0, [], False))
    msgs.append((1, 0, 1, "Reply from me", 0, [], False))
    msgs.append((1, 1, 0, "\ufffc", 0, [0], False))                  # image
    msgs.append((2, 3, 0, "\ufffc\ufffcTwo files", 0, [2, 3], False))  # video + audio
    msgs.append((2, 0, 1, None, 0, [], True))                         # text only in attributedBody
    msgs.append((3, 2, 0, "Group hello \U0001F600", 0, [], False))
    msgs.append((3, 3, 0, "\ufffc", 0, [4], False))                  # vcard
    msgs.append((3, 0, 1, "\ufffc", 0, [5], False))                  # pdf
    msgs.append((3, 2, 0, None, 1, [], False))                       # member added (skipped by readers)
    msgs.append((3, 2, 0, None, 2, [], False))                       # renamed (skipped)
    msgs.append((3, 0, 1, None, 4, [], False))                       # location sharing (skipped)
    msgs.append((1, 5, 0, "From a deleted handle", 0, [], False))   # handle row removed below
    msgs.append((1, 1, 0, "\ufffc", 0, [1], False))                  # png whose file is gone
    msgs.append((1, 1, 0, "\ufffc", 0, ["evil"], False))             # path leading out of the folder
    msgs.append((2, 3, 0, None, 0, [], False))                       # attributedBody that does not parse

    att_rows = 0
    att_files = 0
    first_date = last_date = None
    for i, (chat, handle, from_me, text, item_type, atts, attr_only) in enumerate(msgs):
        date = base + i * 60
        first_date = date if first_date is None else min(first_date, date)
        last_date = date if last_date is None else max(last_date, date)
        guid = str(uuid.UUID(int=i + 1)).upper()
        body = None
        if attr_only:
            body = typedstream("Only in the attributed body")
        elif text is None and item_type == 0:
            body = b"\x04\x0bstreamtyped\x81\xe8\x03garbage"
        elif text:
            body = typedstream(text)
        service = "SMS" if chat in (1, 4) else "iMessage"
        cur = db.execute(
            "INSERT INTO message (guid, text, handle_id, service, account, date, date_read, date_delivered,"
            " is_from_me, is_sent, is_read, item_type, attributedBody, cache_has_attachments, country%s)"
            " VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?%s)" % ((", ck_record_id", ",?") if ns else ("", "")),
            (guid, text, handle, service, "e:", date * scale, (date + 5) * scale if not from_me else 0,
             date * scale if from_me else 0, from_me, from_me, 1 - from_me, item_type, body, 1 if atts else 0,
             None) + ((guid.lower(),) if ns else ()))
        mid = cur.lastrowid
        if ns:
            db.execute("INSERT INTO chat_message_join VALUES (?,?,?)", (chat, mid, date * scale))
        else:
            db.execute("INSERT INTO chat_message_join VALUES (?,?)", (chat, mid))
        for k in atts:
            aguid = "AT%02d-%s" % (att_rows, str(uuid.UUID(int=1000 + att_rows)).upper())
            if k == "evil":
                filename = "~/../../../../../../tmp/qm-escape-%d.txt" % os.getpid()
                mime, uti = "text/plain", "public.plain-text"
            else:
                mime, uti, name = ATTACHMENT_KINDS[k]
                filename = "~/%s/%s/%s/%s/%s" % (attach_dir_rel, aguid[-2:].lower(), "%02d" % att_rows, aguid, name)
            cur = db.execute("INSERT INTO attachment (guid, created_date, filename, uti, mime_type, transfer_state,"
                             " is_outgoing, transfer_name, total_bytes) VALUES (?,?,?,?,?,5,?,?,?)",
                             (aguid, date, filename, uti, mime, from_me, os.path.basename(filename), 68))
            db.execute("INSERT INTO message_attachment_join VALUES (?,?)", (mid, cur.lastrowid))
            att_rows += 1
            if k != "evil" and k != 1:
                local = os.path.join(folder, "file-relay/var/mobile", filename[2:])
                os.makedirs(os.path.dirname(local), exist_ok=True)
                with open(local, "wb") as f:
                    f.write(PNG_1x1 if mime.startswith("image/") else b"data")
                att_files += 1
    # A deleted handle: its messages stay but the handle row and its chat link are gone.
    db.execute("DELETE FROM handle WHERE ROWID=5")

    loaded = [m for m in msgs if m[4] == 0]
    exp.update({
        "chats": len(chats),
        "handles_joined": sum(len(c[5]) for c in chats),
        "handles_distinct_joined": len({h for c in chats for h in c[5]}),
        "message_rows": len(msgs),
        "messages": len(loaded),
        "attachments": att_rows,
        "attachment_files": att_files,
        "first_date": first_date,
        "last_date": last_date,
        "attributed_only_text": "Only in the attributed body",
        "group_chat_guid": "iMessage;+;chat123456789012345678",
        "group_display_name": "Weekend plans",
        "deleted_handle_message_text": "From a deleted handle",
    })
    n = extra_messages
    if n:
        bulk_fill(db, n, ns, start_rowid=len(msgs) + 1, chats=len(chats))
        exp["messages"] += n
        exp["message_rows"] += n
        exp["last_date"] = base + (len(msgs) + n) * 7
    db.commit()
    db.close()
    make_address_book(folder)
    with open(os.path.join(folder, "expected.json"), "w") as f:
        json.dump(exp, f, indent=1)
    return exp


def bulk_fill(db, n, ns, start_rowid, chats, gone_every=0):
    scale = 1000000000 if ns else 1
    base = 400000000
    rnd = random.Random(7)
    words = ["lorem", "ipsum", "dolor", "sit", "amet", "meet", "at", "noon", "ok", "see", "you", "soon", "thanks"]
    batch = []
    joins = []
    for i in range(n):
        rowid = start_rowid + i
        date = base + rowid * 7
        text = " ".join(rnd.choice(words) for _ in range(rnd.randint(2, 12)))
        from_me = rnd.randint(0, 1)
        handle = 0 if from_me else rnd.randint(1, 4)
        if not gone_every or rowid % gone_every:
            batch.append((rowid, "B%08d-0000-0000-0000-%012d" % (rowid, rowid), text, handle, "iMessage", "e:",
                          date * scale, date * scale, date * scale, from_me, 1, 1, 0))
        joins.append((1 + (rowid % chats), rowid))
        if len(batch) >= 50000:
            flush(db, batch, joins, ns)
    flush(db, batch, joins, ns)


def flush(db, batch, joins, ns):
    db.executemany("INSERT INTO message (ROWID, guid, text, handle_id, service, account, date, date_read,"
                   " date_delivered, is_from_me, is_sent, is_read, item_type) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)", batch)
    if ns:
        db.executemany("INSERT INTO chat_message_join (chat_id, message_id) VALUES (?,?)", joins)
    else:
        db.executemany("INSERT INTO chat_message_join VALUES (?,?)", joins)
    batch.clear()
    joins.clear()


def gen_bulk(path, n, ns, gone_every=0):
    if os.path.exists(path):
        os.remove(path)
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    db = sqlite3.connect(path)
    db.execute("PRAGMA journal_mode=OFF")
    db.execute("PRAGMA synchronous=OFF")
    ios6_schema(db, ns)
    for i, hid in enumerate(["+15551230001", "+15551230002", "a@example.com", "+447700900123"]):
        db.execute("INSERT INTO handle (id, country, service) VALUES (?,?,?)", (hid, "us", "iMessage"))
        db.execute("INSERT INTO chat (guid, style, state, chat_identifier, service_name, account_login)"
                   " VALUES (?,45,3,?,'iMessage','E:')", ("iMessage;-;" + hid, hid))
        db.execute("INSERT INTO chat_handle_join VALUES (?,?)", (i + 1, i + 1))
    bulk_fill(db, n, ns, start_rowid=1, chats=4, gone_every=gone_every)
    db.commit()
    db.close()
    gone = n // gone_every if gone_every else 0
    print(json.dumps({"path": path, "messages": n - gone, "joins_without_message": gone, "chats": 4,
                      "handles": 4}))


def make_address_book(folder):
    ab_dir = os.path.join(folder, "file-relay/var/mobile/Library/AddressBook")
    os.makedirs(ab_dir, exist_ok=True)
    path = os.path.join(ab_dir, "AddressBook.sqlitedb")
    if os.path.exists(path):
        os.remove(path)
    db = sqlite3.connect(path)
    db.execute("CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT, Middle TEXT)")
    db.execute("CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER,"
               " identifier INTEGER, label INTEGER, value TEXT)")
    db.execute("INSERT INTO ABPerson VALUES (1, 'Ada', 'Lovelace', NULL)")
    db.execute("INSERT INTO ABPerson VALUES (2, 'Grace', 'Hopper', 'B')")
    db.execute("INSERT INTO ABMultiValue VALUES (1, 1, 3, 0, 1, '+1 (555) 123-0001')")
    db.execute("INSERT INTO ABMultiValue VALUES (2, 2, 4, 0, 1, 'friend@example.com')")
    db.execute("INSERT INTO ABMultiValue VALUES (3, 2, 3, 0, 1, '+15551230002')")
    db.commit()
    db.close()
    img = sqlite3.connect(os.path.join(ab_dir, "AddressBookImages.sqlitedb"))
    img.execute("CREATE TABLE IF NOT EXISTS ABThumbnailImage (ROWID INTEGER PRIMARY KEY, record_id INTEGER,"
                " format INTEGER, data BLOB)")
    img.execute("DELETE FROM ABThumbnailImage")
    img.execute("INSERT INTO ABThumbnailImage VALUES (1, 1, 0, ?)", (PNG_1x1,))
    img.commit()
    img.close()


# ---------------------------------------------------------------- iOS 5
IOS5_MESSAGE = ("CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, text TEXT,"
                " flags INTEGER, replace INTEGER, svc_center TEXT, group_id INTEGER, association_id INTEGER,"
                " height INTEGER, UIFlags INTEGER, version INTEGER, subject TEXT, country TEXT, headers BLOB,"
                " recipients BLOB, read INTEGER, madrid_attributedBody BLOB, madrid_handle TEXT,"
                " madrid_version INTEGER, madrid_guid TEXT, madrid_type INTEGER, madrid_roomname TEXT,"
                " madrid_service TEXT, madrid_account TEXT, madrid_account_guid TEXT, madrid_flags INTEGER,"
                " madrid_attachmentInfo BLOB, madrid_url TEXT, madrid_error INTEGER, is_madrid INTEGER,"
                " madrid_date_read INTEGER, madrid_date_delivered INTEGER)")


def gen_ios5(folder):
    db_path = os.path.join(folder, SMS_REL)
    os.makedirs(os.path.dirname(db_path), exist_ok=True)
    if os.path.exists(db_path):
        os.remove(db_path)
    db = sqlite3.connect(db_path)
    db.execute(IOS5_MESSAGE)
    db.execute("CREATE TABLE msg_group (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, type INTEGER, newest_message INTEGER,"
               " unread_count INTEGER, hash INTEGER)")
    db.execute("CREATE TABLE group_member (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, group_id INTEGER, address TEXT,"
               " country TEXT)")
    db.execute("CREATE TABLE msg_pieces (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, message_id INTEGER, data BLOB,"
               " part_id INTEGER, preview_part INTEGER, content_type TEXT, height INTEGER, version INTEGER,"
               " flags INTEGER, content_id TEXT, content_loc TEXT, headers BLOB)")
    db.execute("CREATE TABLE madrid_chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, style INTEGER, state INTEGER,"
               " account_id TEXT, properties BLOB, chat_identifier TEXT, service_name TEXT, guid TEXT, room_name TEXT,"
               " account_login TEXT, participants BLOB, last_addressed_handle TEXT, display_name TEXT)")
    db.execute("CREATE TABLE madrid_attachment (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, attachment_guid TEXT,"
               " created_date INTEGER, start_date INTEGER, filename TEXT, uti_type TEXT, mime_type TEXT,"
               " transfer_state INTEGER, is_incoming INTEGER, message_id INTEGER)")
    # A trigger that calls the device's SQL function "read", as iOS 5 files do.
    db.execute("CREATE TABLE msg_read_log (n INTEGER)")
    db.execute("CREATE TRIGGER log_read AFTER UPDATE OF flags ON message BEGIN INSERT INTO msg_read_log"
               " VALUES (read(new.flags)); END")

    unix = EPOCH_2001 + 300000000  # SMS dates are Unix seconds
    # SMS group 1: one member; group 2: two members (a group); group 3: member rows with the same address.
    groups = [(1, 1001), (2, -77), (3, 3003)]
    members = [(1, "(555) 123-0001", "us"), (2, "555 123 0002", "us"), (2, "+44 7700 900123", "gb"),
               (3, "5551230003", "us"), (3, "555-123-0003", "us")]
    for gid, h in groups:
        db.execute("INSERT INTO msg_group (ROWID, type, newest_message, unread_count, hash) VALUES (?,0,0,0,?)", (gid, h))
    for gid, addr, c in members:
        db.execute("INSERT INTO group_member (group_id, address, country) VALUES (?,?,?)", (gid, addr, c))
    rows = []
    # (address, date, text, flags, group_id, country)
    rows.append(("(555) 123-0001", unix + 60, "SMS in", 2, 1, "us"))
    rows.append(("(555) 123-0001", unix + 120, "SMS out", 3, 1, "us"))
    rows.append(("555 123 0002", unix + 180, "Group SMS in", 2, 2, "us"))
    rows.append(("+44 7700 900123", unix + 240, "", 2, 2, "gb"))          # MMS with parts
    rows.append(("555-123-0003", unix + 300, "Dup member group", 2, 3, "us"))
    rows.append(("5559999999", unix + 360, "Orphan SMS", 2, 99, "us"))   # group 99 does not exist
    for addr, date, text, flags, gid, country in rows:
        db.execute("INSERT INTO message (address, date, text, flags, group_id, country, is_madrid)"
                   " VALUES (?,?,?,?,?,?,0)", (addr, date, text, flags, gid, country))
    for gid in (1, 2, 3):
        db.execute("UPDATE msg_group SET newest_message=(SELECT max(ROWID) FROM message WHERE group_id=?) WHERE ROWID=?",
                   (gid, gid))
    mms_id = 4
    parts = [
        (mms_id, b"Hello in a part\x00junk", 0, "text/plain", "text_0.txt"),
        (mms_id, PNG_1x1, 1, "image/png", "image_1.png"),
        (mms_id, b"fake video", 2, "video/3gpp", "video_2.3gp"),
        (mms_id, b"<smil/>", 3, "application/smil", "smil.smil"),
        (mms_id, b"", 4, "image/jpeg", "empty_4.jpg"),
        (mms_id, b"x", 5, "image/jpeg", "../../../../../../../tmp/escape.jpg"),
    ]
    for mid, data, part, ctype, loc in parts:
        db.execute("INSERT INTO msg_pieces (message_id, data, part_id, content_type, content_loc) VALUES (?,?,?,?,?)",
                   (mid, data, part, ctype, loc))
    # iMessage: a one-to-one chat and a group chat.
    plist1 = plistlib.dumps(["friend@example.com"], fmt=plistlib.FMT_BINARY)
    plist2 = plistlib.dumps(["+15551230001", "Friend@Example.com"], fmt=plistlib.FMT_XML)
    db.execute("INSERT INTO madrid_chat (style, state, account_id, chat_identifier, service_name, guid,"
               " account_login, participants) VALUES (45, 3, 'ACC1', 'friend@example.com', 'Madrid',"
               " 'iMessage;-;friend@example.com', 'E:me@example.com', ?)", (plist1,))
    db.execute("INSERT INTO madrid_chat (style, state, account_id, chat_identifier, service_name, guid, room_name,"
               " account_login, participants) VALUES (43, 3, 'ACC1', 'chat555000111222333444', 'Madrid',"
               " 'iMessage;+;chat555000111222333444', 'chat555000111222333444', 'E:me@example.com', ?)", (plist2,))
    db.execute("INSERT INTO madrid_chat (style, state, chat_identifier, participants) VALUES (45, 3, 'broken', ?)",
               (b"not a plist",))
    im_date = 300000500  # iMessage dates are seconds since 2001
    a1, a2, a3 = (str(uuid.UUID(int=k)).upper() for k in (501, 502, 503))
    im = [
        ("friend@example.com", "", im_date, "iMessage hi", 0, b""),
        ("friend@example.com", "", im_date + 10, "\ufffc", 7, ("info " + a1 + " end").encode()),
        ("+15551230001", "chat555000111222333444", im_date + 20, "\ufffc\ufffc", 0,
         (a2 + "\x00\x01" + a3 + a2).encode()),
        ("friend@example.com", "chat555000111222333444", im_date + 30, "room msg from me", 9, b""),
    ]
    for handle, room, date, text, delivered, info in im:
        db.execute("INSERT INTO message (date, text, is_madrid, madrid_handle, madrid_roomname, madrid_guid,"
                   " madrid_account, madrid_account_guid, madrid_date_delivered, madrid_date_read,"
                   " madrid_attachmentInfo, madrid_attributedBody, madrid_error) VALUES (?,?,1,?,?,?,?,?,?,?,?,?,0)",
                   (date, text, handle, room, str(uuid.uuid4()).upper(), "e:me@example.com", "ACC1", delivered,
                    date + 1, info, typedstream(text)))
    for g, name, mime in ((a1, "IMG_0002.JPG", "image/jpeg"), (a2, "Card.vcf", "text/vcard"),
                          (a3, "clip.mov", "video/quicktime")):
        fn = "/var/mobile/Library/SMS/Attachments/%s/%s/%s/%s" % (g[:2].lower(), g[2:4].lower(), g, name)
        db.execute("INSERT INTO madrid_attachment (attachment_guid, created_date, start_date, filename, uti_type,"
                   " mime_type, transfer_state, is_incoming) VALUES (?,?,0,?,?,?,5,?)",
                   (g, im_date, fn, "public.data", mime, 1))
        local = os.path.join(folder, "file-relay", fn[1:])
        os.makedirs(os.path.dirname(local), exist_ok=True)
        with open(local, "wb") as f:
            f.write(b"x")
    db.commit()
    db.close()
    make_address_book(folder)
    exp = {
        "schema": 5,
        "message_rows": len(rows) + len(im),
        "sms_chats": 3,
        "imessage_chats": 3,
        "mms_media_parts": 4,       # png, video, empty jpeg, escaping jpeg: each an attachment
        "mms_message_rowid": mms_id,
        "imessage_attachments": 3,
        "messages": len(rows) + len(im) + 3,  # rows plus copies for the 2nd..4th media part
        "first_date": 300000060,
        "last_date": im_date + 30,
    }
    with open(os.path.join(folder, "expected.json"), "w") as f:
        json.dump(exp, f, indent=1)
    return exp


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("kind", choices=["ios6", "ios5", "bulk"])
    ap.add_argument("target")
    ap.add_argument("--ns", action="store_true", help="dates in nanoseconds (later device generations)")
    ap.add_argument("--messages", type=int, default=0)
    ap.add_argument("--gone-every", type=int, default=0, help="bulk: every K-th join's message is gone")
    a = ap.parse_args()
    if a.kind == "ios6":
        print(json.dumps(gen_ios6(a.target, a.ns, a.messages)))
    elif a.kind == "ios5":
        print(json.dumps(gen_ios5(a.target)))
    else:
        gen_bulk(a.target, a.messages or 1000000, a.ns, a.gone_every)


if __name__ == "__main__":
    main()

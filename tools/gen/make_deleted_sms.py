#!/usr/bin/python3
"""Modern device message databases with deleted messages left in free space, for the recovery.

  make_deleted_sms.py FOLDER --ios5 [--messages N] [--delete-every K]
  make_deleted_sms.py FOLDER [--columns 74|78|N|NAME,NAME,...] [--messages N] [--delete-every K]
                             [--delete-run R] [--page-size P] [--text-bytes B [--long-every L]]
                             [--empty-defaults] [--twins] [--wal] [--cyclic-freelist]
                             [--grown-from W[,W...]] [--zero-root] [--empty-root NAME]
                             [--empty-leaves NAME[,NAME...]] [--swap-leaves NAME,NAME]
  make_deleted_sms.py FOLDER --from SMSDB [--delete-every K] [--page-size P]
                             [--add-columns "NAME DECL,..." --grow-to N] [--empty-root NAME]
                             [--empty-leaves NAME[,NAME...]] [--swap-leaves NAME,NAME]

FOLDER is laid out like a backup's cache folder (FOLDER/file-relay/var/mobile/Library/SMS/sms.db).
--columns takes the two stored tables (74, 78), any leading part of the 78 columns, or a list of their
names in any order. The text columns declared DEFAULT NULL are left NULL, as devices leave them
(--empty-defaults stores empty texts there instead). Every L-th message (every one by default) has a
text of about B bytes, spilling into overflow pages when it does not fit a page. Every K-th message
is deleted with secure_delete off, so its record stays in the file's free space; --delete-run R
deletes R adjacent messages from the middle instead. --twins gives every fifth message a twin of the
same date, direction and text in another conversation. With --wal the deletions stay in the
write-ahead log beside the database (copied while the writer is still open, as a device leaves
them). --cyclic-freelist points the last freelist trunk page back at the first.
--grown-from W1,W2 makes a table that grew as devices' do: created with its first W1 columns, then
widened by ALTER TABLE ADD COLUMN to W2 and then to all of them, with an equal share of the messages
written at each width (a record keeps the width it was written with). --zero-root fills the message
table's root page with zeros after the deletions, as damage does. --empty-root NAME makes the root page
of the named table or index an empty leaf: the b-tree reads as empty, with no error, its other pages
left unreferenced. --empty-leaves makes every leaf page of each named table or index an empty leaf,
its interior pages (and the keys an index keeps there) left as they are. --swap-leaves A,B swaps the
first leaf page of b-tree A with the first leaf page of b-tree B, each left where the other was.
--from copies a device's own sms.db (its log checkpointed into the copy, its triggers dropped) and
deletes every K-th of its messages; --add-columns and --grow-to first widen its message table and
grow it to N messages by copying its rows, as grow_sms_db.py does, each copy with a guid and date of its own
(its own rows keep the width they were written with).

FOLDER/expected.json lists the live and deleted messages; each deleted one also has "record", the
hex bytes of its stored record (worked out from its values, read back before the deletion).
"""
import argparse
import json
import os
import random
import shutil
import sqlite3
import struct
import sys
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import grow_sms_db  # noqa: E402  (a device's table widened and grown)
import make_sms_db  # noqa: E402  (the tables shared with the full generator)

SMS_REL = "file-relay/var/mobile/Library/SMS/sms.db"

INT_D = "INTEGER DEFAULT 0"
COLUMNS = [
    ("ROWID", "INTEGER PRIMARY KEY AUTOINCREMENT"), ("guid", "TEXT UNIQUE NOT NULL"), ("text", "TEXT"),
    ("replace", INT_D), ("service_center", "TEXT"), ("handle_id", INT_D), ("subject", "TEXT"),
    ("country", "TEXT"), ("attributedBody", "BLOB"), ("version", INT_D), ("type", INT_D), ("service", "TEXT"),
    ("account", "TEXT"), ("account_guid", "TEXT"), ("error", INT_D), ("date", "INTEGER"),
    ("date_read", "INTEGER"), ("date_delivered", "INTEGER")] + [(n, INT_D) for n in (
        "is_delivered", "is_finished", "is_emote", "is_from_me", "is_empty", "is_delayed", "is_auto_reply",
        "is_prepared", "is_read", "is_system_message", "is_sent", "has_dd_results", "is_service_message",
        "is_forward", "was_downgraded", "is_archive", "cache_has_attachments")] + [
    ("cache_roomnames", "TEXT"), ("was_data_detected", INT_D), ("was_deduplicated", INT_D),
    ("is_audio_message", INT_D), ("is_played", INT_D), ("date_played", "INTEGER"), ("item_type", INT_D),
    ("other_handle", INT_D), ("group_title", "TEXT"), ("group_action_type", INT_D), ("share_status", INT_D),
    ("share_direction", INT_D), ("is_expirable", INT_D), ("expire_state", INT_D),
    ("message_action_type", INT_D), ("message_source", INT_D), ("associated_message_guid", "TEXT"),
    ("associated_message_type", INT_D), ("balloon_bundle_id", "TEXT"), ("payload_data", "BLOB"),
    ("expressive_send_style_id", "TEXT"), ("associated_message_range_location", INT_D),
    ("associated_message_range_length", INT_D), ("time_expressive_send_played", "INTEGER"),
    ("message_summary_info", "BLOB"), ("ck_sync_state", INT_D), ("ck_record_id", "TEXT"),
    ("ck_record_change_tag", "TEXT"), ("destination_caller_id", "TEXT"), ("sr_ck_sync_state", INT_D),
    ("sr_ck_record_id", "TEXT"), ("sr_ck_record_change_tag", "TEXT"), ("is_corrupt", INT_D),
    ("reply_to_guid", "TEXT DEFAULT NULL"), ("sort_id", INT_D), ("is_spam", INT_D),
    ("has_unseen_mention", INT_D), ("thread_originator_guid", "TEXT DEFAULT NULL"),
    ("thread_originator_part", "TEXT DEFAULT NULL"), ("syndication_ranges", "TEXT DEFAULT NULL"),
    ("was_delivered_quietly", INT_D), ("did_notify_recipient", INT_D),
    ("synced_syndication_ranges", "TEXT DEFAULT NULL")]
assert len(COLUMNS) == 78

HANDLES = [("+15551230001", "SMS"), ("friend@example.com", "iMessage"), ("+447700900123", "SMS")]
# (chat guid, identifier, service, handle numbers)
CHATS = [("SMS;-;+15551230001", "+15551230001", "SMS", [1]),
         ("iMessage;-;friend@example.com", "friend@example.com", "iMessage", [2]),
         ("iMessage;+;chat900", "chat900", "iMessage", [2, 3])]


NULL_TEXTS = {c for c, t in COLUMNS if t == "TEXT DEFAULT NULL"}


def table_columns(arg):
    """The message table's columns for --columns: a count of leading columns or a list of names."""
    if arg.isdigit():
        n = int(arg)
        if not 2 <= n <= len(COLUMNS):
            raise SystemExit("--columns: 2 to %d" % len(COLUMNS))
        return COLUMNS[:n]
    known = dict(COLUMNS)
    names = [n.strip() for n in arg.split(",") if n.strip()]
    unknown = [n for n in names if n not in known]
    if unknown or "guid" not in names:
        raise SystemExit("--columns: unknown %s, or no guid" % ",".join(unknown))
    return [(n, known[n]) for n in names]


def schema(db, cols):
    db.execute("CREATE TABLE message (%s)" % ", ".join("%s %s" % c for c in cols))
    make_sms_db.handle_chat_attachment_tables(db)
    db.execute("CREATE TABLE chat_handle_join (chat_id INTEGER, handle_id INTEGER, UNIQUE(chat_id, handle_id))")
    db.execute("CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER, message_date INTEGER DEFAULT 0,"
               " PRIMARY KEY (chat_id, message_id))")
    db.execute("CREATE TABLE message_attachment_join (message_id INTEGER, attachment_id INTEGER,"
               " UNIQUE(message_id, attachment_id))")


def message_row(i, rng, cols, a):
    chat = rng.randrange(len(CHATS))
    handle = rng.choice(CHATS[chat][3])
    words = "%s message %d %s" % (CHATS[chat][1], i, "x" * rng.randrange(0, 40))
    size = a.text_bytes if i % a.long_every == 0 else 0
    text = (words + " " + "lorem ipsum " * (size // 12))[: max(len(words), size)]
    row = {c: 0 for c, t in cols if "INTEGER" in t}
    row.update({"guid": str(uuid.UUID(int=rng.getrandbits(128))).upper(), "text": text, "handle_id": handle,
                "service": CHATS[chat][2], "account": "e:me@example.com", "version": 10,
                "date": (500000000 + i * 60) * 1000000000, "date_read": 0, "date_delivered": 0,
                "is_from_me": i % 2, "is_finished": 1, "other_handle": 0, "date_played": 0,
                "time_expressive_send_played": 0})
    # Devices leave the text columns declared DEFAULT NULL at NULL.
    row.update({c: "" if a.empty_defaults else None for c in NULL_TEXTS})
    names = {c for c, _ in cols}
    return chat + 1, {k: v for k, v in row.items() if k in names and k != "ROWID"}


def twin_of(chat, row, rng):
    """The same date, direction and text in the other one-to-one conversation."""
    other = 2 if chat == 1 else 1
    twin = dict(row, guid=str(uuid.UUID(int=rng.getrandbits(128))).upper(), handle_id=CHATS[other - 1][3][0])
    if "service" in twin:
        twin["service"] = CHATS[other - 1][2]
    return other, twin


def varint(v):
    v &= (1 << 64) - 1
    if v > 0x00FFFFFFFFFFFFFF:
        out = [v & 0xFF]
        v >>= 8
        for _ in range(8):
            out.append((v & 0x7F) | 0x80)
            v >>= 7
        return bytes(reversed(out))
    out = [v & 0x7F]
    v >>= 7
    while v:
        out.append((v & 0x7F) | 0x80)
        v >>= 7
    return bytes(reversed(out))


def serial(kind, v):
    """Serial type and content bytes of one stored value (file format 4)."""
    if kind == "null":
        return 0, b""
    if kind == "integer":
        if v in (0, 1):
            return 8 + v, b""
        for t, n in ((1, 1), (2, 2), (3, 3), (4, 4), (5, 6), (6, 8)):
            if -(1 << (8 * n - 1)) <= v < (1 << (8 * n - 1)):
                return t, v.to_bytes(n, "big", signed=True)
    if kind == "real":
        return 7, struct.pack(">d", v)
    if kind == "text":
        return 2 * len(v) + 13, v
    return 2 * len(v) + 12, v


def stored_record(db, rowid, cols):
    """The record bytes SQLite keeps for one message row, worked out from its stored values."""
    sql = "SELECT %s FROM message WHERE ROWID=?" % ", ".join('typeof("%s"), "%s"' % (c, c) for c, _ in cols)
    db.text_factory = bytes
    got = db.execute(sql, (rowid,)).fetchone()
    db.text_factory = str
    types, body = [], b""
    for k, (c, decl) in enumerate(cols):
        kind, v = got[2 * k].decode(), got[2 * k + 1]
        if "PRIMARY KEY" in decl.upper() and decl.upper().startswith("INTEGER"):
            kind = "null"  # the rowid alias is stored as NULL
        t, content = serial(kind, v)
        types.append(varint(t))
        body += content
    head = b"".join(types)
    size = len(head) + 1
    while len(varint(size)) + len(head) != size:
        size = len(varint(size)) + len(head)
    return (varint(size) + head + body).hex()


def delete_list(a, count):
    """1-based positions of the messages to delete."""
    if a.delete_run:
        first = max(1, count // 2 - a.delete_run // 2)
        return set(range(first, min(count, first + a.delete_run - 1) + 1))
    return {i for i in range(1, count + 1) if a.delete_every and i % a.delete_every == 0}


def close_freelist_cycle(path):
    """Points the last trunk page of the freelist back at the first one."""
    with open(path, "r+b") as f:
        head = f.read(100)
        size = int.from_bytes(head[16:18], "big") or 65536
        first = trunk = int.from_bytes(head[32:36], "big")
        for _ in range(1 << 20):
            if not trunk:
                return
            f.seek((trunk - 1) * size)
            nxt = int.from_bytes(f.read(4), "big")
            if not nxt:
                f.seek((trunk - 1) * size)
                f.write(first.to_bytes(4, "big"))
                return
            trunk = nxt


# The older message table, with madrid_account_guid added last as later system versions have it.
IOS5_COLUMNS = ("ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, text TEXT, flags INTEGER,"
                " replace INTEGER, svc_center TEXT, group_id INTEGER, association_id INTEGER, height INTEGER,"
                " UIFlags INTEGER, version INTEGER, subject TEXT, country TEXT, headers BLOB, recipients BLOB,"
                " read INTEGER, madrid_attributedBody BLOB, madrid_handle TEXT, madrid_version INTEGER,"
                " madrid_guid TEXT, madrid_type INTEGER, madrid_roomname TEXT, madrid_service TEXT,"
                " madrid_account TEXT, madrid_flags INTEGER, madrid_attachmentInfo BLOB, madrid_url TEXT,"
                " madrid_error INTEGER, is_madrid INTEGER, madrid_date_read INTEGER, madrid_date_delivered INTEGER,"
                " madrid_account_guid TEXT")


def gen_ios5(a, path):
    db = sqlite3.connect(path, isolation_level=None)
    db.execute("PRAGMA secure_delete=OFF")
    # Later system versions added columns at the end; --ios5-extra adds that many (set to 1).
    extra = ["extra_%d" % k for k in range(a.ios5_extra)]
    db.execute("CREATE TABLE message (%s)" % ", ".join([IOS5_COLUMNS] + ["%s INTEGER" % e for e in extra]))
    db.execute("CREATE TABLE msg_group (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, type INTEGER, newest_message INTEGER,"
               " unread_count INTEGER, hash INTEGER)")
    db.execute("CREATE TABLE group_member (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, group_id INTEGER, address TEXT,"
               " country TEXT)")
    db.execute("CREATE TABLE msg_pieces (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, message_id INTEGER, data BLOB,"
               " part_id INTEGER, preview_part INTEGER, content_type TEXT, height INTEGER, version INTEGER,"
               " flags INTEGER, content_loc TEXT, headers BLOB)")
    db.execute("BEGIN")
    rng = random.Random(5)
    doomed = delete_list(a, a.messages)
    live, deleted = [], []
    for i in range(1, a.messages + 1):
        text = "old phone message %d %s" % (i, "y" * rng.randrange(0, 30))
        if i % 2:
            cur = db.execute("INSERT INTO message (address, date, text, flags, replace, UIFlags, version, country, read,"
                             " is_madrid) VALUES ('5551230001', ?, ?, ?, 0, 0, 0, 'us', 1, 0)",
                             (1300000000 + i * 60, text, 3 if i % 4 == 1 else 2))
            chat = "+15551230001"
        else:
            guid = str(uuid.UUID(int=rng.getrandbits(128))).upper()
            cur = db.execute("INSERT INTO message (date, text, flags, replace, UIFlags, version, read, madrid_handle,"
                             " madrid_guid, madrid_roomname, madrid_service, madrid_account, madrid_error, is_madrid,"
                             " madrid_date_read, madrid_date_delivered, madrid_account_guid) VALUES"
                             " (?, ?, 0, 0, 0, 0, 1, 'friend@example.com', ?, '', 'Madrid', 'e:me@example.com', 0, 1,"
                             " 0, 0, ?)", (330000000 + i * 60, text, guid, str(uuid.UUID(int=7)).upper()))
            chat = "friend@example.com"
        for e in extra:
            db.execute('UPDATE message SET "%s"=1 WHERE ROWID=?' % e, (cur.lastrowid,))
        entry = {"rowid": cur.lastrowid, "text": text, "chat": chat}
        (deleted if i in doomed else live).append(entry)
    db.execute("COMMIT")
    cols = [(r[1], (r[2] or "") + (" PRIMARY KEY" if r[5] else "")) for r in db.execute("PRAGMA table_info(message)")]
    for e in deleted:
        e["record"] = stored_record(db, e["rowid"], cols)
    db.execute("BEGIN")
    for e in deleted:
        db.execute("DELETE FROM message WHERE ROWID=?", (e["rowid"],))
    db.execute("COMMIT")
    db.close()
    return live, deleted


def widths_of(a, cols):
    """The widths the table has over the run, narrowest first, ending at its full width."""
    steps = [int(w) for w in a.grown_from.split(",") if w.strip()] if a.grown_from else []
    if any(not 2 <= w < len(cols) for w in steps) or steps != sorted(set(steps)):
        raise SystemExit("--grown-from: rising widths under %d" % len(cols))
    return steps + [len(cols)]


def widen(db, cols, old, new):
    for name, decl in cols[old:new]:
        db.execute('ALTER TABLE message ADD COLUMN "%s" %s' % (name, decl))


def zero_root(path):
    """Fills the message table's root page with zeros."""
    db = sqlite3.connect(path)
    root = db.execute("SELECT rootpage FROM sqlite_master WHERE name='message'").fetchone()[0]
    size = db.execute("PRAGMA page_size").fetchone()[0]
    db.close()
    with open(path, "r+b") as f:
        f.seek((root - 1) * size)
        f.write(bytes(size))


def empty_root(path, name):
    """Makes the root page of a table or index an empty leaf of its kind."""
    db = sqlite3.connect(path)
    kind, root = db.execute("SELECT type, rootpage FROM sqlite_master WHERE name=?", (name,)).fetchone()
    size = db.execute("PRAGMA page_size").fetchone()[0]
    db.close()
    header = struct.pack(">BHHHB", 0x0D if kind == "table" else 0x0A, 0, 0, size % 65536, 0)
    with open(path, "r+b") as f:
        f.seek((root - 1) * size + (100 if root == 1 else 0))
        f.write(header)


def btree_leaves(path, name):
    """The leaf pages of a table or index, in key order, and the page size."""
    db = sqlite3.connect(path)
    root = db.execute("SELECT rootpage FROM sqlite_master WHERE name=?", (name,)).fetchone()[0]
    size = db.execute("PRAGMA page_size").fetchone()[0]
    db.close()
    leaves = []
    with open(path, "rb") as f:
        def walk(page):
            f.seek((page - 1) * size)
            data = f.read(size)
            at = 100 if page == 1 else 0
            if data[at] in (0x0A, 0x0D):
                leaves.append(page)
                return
            cells, = struct.unpack(">H", data[at + 3:at + 5])
            pointers = struct.unpack(">%dH" % cells, data[at + 12:at + 12 + 2 * cells])
            for p in pointers:
                walk(struct.unpack(">I", data[p:p + 4])[0])
            walk(struct.unpack(">I", data[at + 8:at + 12])[0])
        walk(root)
    return leaves, size


def empty_leaves(path, names):
    """Makes every leaf page of the named tables or indexes an empty leaf of its kind."""
    for name in names.split(","):
        leaves, size = btree_leaves(path, name)
        with open(path, "r+b") as f:
            for page in leaves:
                at = (page - 1) * size + (100 if page == 1 else 0)
                f.seek(at)
                kind = f.read(1)[0]
                f.seek(at)
                f.write(struct.pack(">BHHHB", kind, 0, 0, size % 65536, 0))


def swap_leaves(path, names):
    """Swaps the first leaf page of one b-tree with the first leaf page of another."""
    (a, size), (b, _) = (btree_leaves(path, n) for n in names.split(","))
    with open(path, "r+b") as f:
        pages = []
        for page in (a[0], b[0]):
            f.seek((page - 1) * size)
            pages.append(f.read(size))
        for page, data in zip((a[0], b[0]), reversed(pages)):
            f.seek((page - 1) * size)
            f.write(data)


def drop_cell(path, name):
    """Makes the first leaf page of a table or index forget its last cell: a row SQLite no longer sees."""
    leaves, size = btree_leaves(path, name)
    with open(path, "r+b") as f:
        at = (leaves[0] - 1) * size + (100 if leaves[0] == 1 else 0)
        f.seek(at + 3)
        cells, = struct.unpack(">H", f.read(2))
        f.seek(at + 3)
        f.write(struct.pack(">H", cells - 1))


def gen_modern(a, path):
    cols = table_columns(a.columns)
    widths = widths_of(a, cols)
    work = path + ".work" if a.wal else path
    db = sqlite3.connect(work, isolation_level=None)
    db.execute("PRAGMA page_size=%d" % a.page_size)
    db.execute("PRAGMA secure_delete=OFF")
    db.execute("PRAGMA journal_mode=%s" % ("WAL" if a.wal else "DELETE"))
    schema(db, cols[:widths[0]])
    db.execute("BEGIN")
    for h, service in HANDLES:
        db.execute("INSERT INTO handle (id, country, service) VALUES (?, 'us', ?)", (h, service))
    for n, (guid, ident, service, members) in enumerate(CHATS, 1):
        db.execute("INSERT INTO chat (guid, style, state, chat_identifier, service_name, account_login) VALUES"
                   " (?, ?, 3, ?, ?, 'E:')", (guid, 43 if len(members) > 1 else 45, ident, service))
        for h in members:
            db.execute("INSERT INTO chat_handle_join VALUES (?, ?)", (n, h))
    rng = random.Random(7)
    doomed = delete_list(a, a.messages)
    live, deleted = [], []
    width = widths[0]
    for i in range(1, a.messages + 1):
        step = widths[(i - 1) * len(widths) // a.messages]
        if step != width:
            widen(db, cols, width, step)
            width = step
        chat, row = message_row(i, rng, cols[:width], a)
        rows = [(chat, row)] + ([twin_of(chat, row, rng)] if a.twins and i % 5 == 0 else [])
        for chat, row in rows:
            cur = db.execute("INSERT INTO message (%s) VALUES (%s)" % (", ".join('"%s"' % k for k in row),
                             ", ".join("?" * len(row))), list(row.values()))
            db.execute("INSERT INTO chat_message_join VALUES (?, ?, ?)", (chat, cur.lastrowid, row["date"]))
            entry = {"rowid": cur.lastrowid, "guid": row["guid"], "text": row.get("text", ""),
                     "chat": CHATS[chat - 1][1], "width": width}
            (deleted if i in doomed else live).append(entry)
    db.execute("COMMIT")
    for e in deleted:
        e["record"] = stored_record(db, e["rowid"], cols[:e["width"]])
    if a.wal:
        db.execute("PRAGMA wal_checkpoint(TRUNCATE)")
    db.execute("BEGIN")
    chat_numbers = {c[1]: n for n, c in enumerate(CHATS, 1)}
    for e in deleted:
        # By the join's whole key, so the deletion does not scan the table once per message.
        db.execute("DELETE FROM chat_message_join WHERE chat_id=? AND message_id=?",
                   (chat_numbers[e["chat"]], e["rowid"]))
        db.execute("DELETE FROM message WHERE ROWID=?", (e["rowid"],))
    if a.delete_handle:
        db.execute("DELETE FROM chat_handle_join WHERE handle_id=3")
        db.execute("DELETE FROM handle WHERE ROWID=3")
    db.execute("COMMIT")
    if a.wal:
        # Copied while the writer is open, so the deletions are still in the log only.
        shutil.copyfile(work, path)
        shutil.copyfile(work + "-wal", path + "-wal")
    db.close()
    if a.wal:
        for suffix in ("", "-wal", "-shm"):
            if os.path.exists(work + suffix):
                os.remove(work + suffix)
    return len(cols), live, deleted


def gen_from_device(a, path):
    """A device's own sms.db with every K-th message deleted (or a run of adjacent ones)."""
    for suffix in ("", "-wal"):
        if os.path.exists(a.source + suffix):
            shutil.copyfile(a.source + suffix, path + suffix)
            os.chmod(path + suffix, 0o644)
    db = sqlite3.connect(path, isolation_level=None)
    db.execute("PRAGMA wal_checkpoint(TRUNCATE)")
    db.execute("PRAGMA journal_mode=DELETE")
    # The device's triggers call functions of its own messaging library.
    for (name,) in db.execute("SELECT name FROM sqlite_master WHERE type='trigger'").fetchall():
        db.execute('DROP TRIGGER "%s"' % name)
    if a.page_size and a.page_size != db.execute("PRAGMA page_size").fetchone()[0]:
        db.execute("PRAGMA page_size=%d" % a.page_size)
        db.execute("VACUUM")
    db.execute("PRAGMA secure_delete=OFF")
    table_info = "PRAGMA table_info(message)"
    first_width = len(db.execute(table_info).fetchall())
    first_rows = db.execute("SELECT ifnull(max(ROWID), 0) FROM message").fetchone()[0]
    if a.add_columns or a.grow_to:
        db.execute("BEGIN")
        grow_sms_db.add_columns(db, [d for d in a.add_columns.split(",") if d.strip()])
        grow_sms_db.grow(db, a.grow_to)
        # Each copy a guid of a device's shape and a date of its own (rewritten at the new width), so
        # no two are the same message.
        rng = random.Random(11)
        copies = [r[0] for r in db.execute("SELECT ROWID FROM message WHERE ROWID > ?", (first_rows,))]
        for rowid in copies:
            db.execute("UPDATE message SET guid = ?, date = date + ROWID * (CASE WHEN date > 100000000000000000"
                       " THEN 1000000000 ELSE 1 END) WHERE ROWID = ?",
                       (str(uuid.UUID(int=rng.getrandbits(128))).upper(), rowid))
        db.execute("COMMIT")
    cols = [(r[1], (r[2] or "") + (" PRIMARY KEY" if r[5] else "")) for r in db.execute(table_info)]
    rows = db.execute("SELECT m.ROWID, m.guid, ifnull(m.text, ''), ifnull(c.chat_identifier, '') FROM message m"
                      " LEFT JOIN chat_message_join j ON j.message_id=m.ROWID LEFT JOIN chat c ON c.ROWID=j.chat_id"
                      " GROUP BY m.ROWID ORDER BY m.ROWID").fetchall()
    doomed = delete_list(a, len(rows))
    live, deleted = [], []
    for n, (rowid, guid, text, chat) in enumerate(rows, 1):
        entry = {"rowid": rowid, "guid": guid, "text": text, "chat": chat}
        (deleted if n in doomed else live).append(entry)
    for e in deleted:
        e["width"] = first_width if e["rowid"] <= first_rows else len(cols)
        e["record"] = stored_record(db, e["rowid"], cols[:e["width"]])
    db.execute("BEGIN")
    for e in deleted:
        db.execute("DELETE FROM chat_message_join WHERE message_id=?", (e["rowid"],))
        db.execute("DELETE FROM message WHERE ROWID=?", (e["rowid"],))
    db.execute("COMMIT")
    db.close()
    return len(cols), live, deleted


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("folder")
    ap.add_argument("--columns", default="78", help="74, 78, a count of leading columns, or names")
    ap.add_argument("--messages", type=int, default=300)
    ap.add_argument("--delete-every", type=int, default=3)
    ap.add_argument("--delete-run", type=int, default=0, help="delete this many adjacent messages instead")
    ap.add_argument("--page-size", type=int, default=0)
    ap.add_argument("--text-bytes", type=int, default=0)
    ap.add_argument("--long-every", type=int, default=1)
    ap.add_argument("--empty-defaults", action="store_true", help="empty texts where devices leave NULL")
    ap.add_argument("--twins", action="store_true")
    ap.add_argument("--wal", action="store_true")
    ap.add_argument("--cyclic-freelist", action="store_true")
    ap.add_argument("--grown-from", default="", help="the widths the table had before its full one")
    ap.add_argument("--zero-root", action="store_true", help="zero the message table's root page")
    ap.add_argument("--empty-root", default="", help="make the root page of this table or index an empty leaf")
    ap.add_argument("--empty-leaves", default="", help="make every leaf page of these b-trees an empty leaf")
    ap.add_argument("--swap-leaves", default="", help="swap the first leaf pages of these two b-trees")
    ap.add_argument("--drop-cell", default="", help="make the first leaf page of this b-tree forget its last cell")
    ap.add_argument("--add-columns", default="", help='with --from: columns to add, "NAME DECL,..."')
    ap.add_argument("--grow-to", type=int, default=0, help="with --from: messages to grow the table to")
    ap.add_argument("--from", dest="source", help="a device's sms.db to copy and delete from")
    ap.add_argument("--ios5", action="store_true", help="the older message table")
    ap.add_argument("--ios5-extra", type=int, default=0, help="columns added after the older table's 33")
    ap.add_argument("--delete-handle", action="store_true", help="also delete the last handle (+447700900123)")
    a = ap.parse_args()
    path = os.path.join(a.folder, SMS_REL)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    for suffix in ("", "-wal", "-shm"):
        if os.path.exists(path + suffix):
            os.remove(path + suffix)
    if a.ios5:
        live, deleted = gen_ios5(a, path)
        ncols = 33 + a.ios5_extra
    elif a.source:
        ncols, live, deleted = gen_from_device(a, path)
    else:
        a.page_size = a.page_size or 4096
        ncols, live, deleted = gen_modern(a, path)
    if a.cyclic_freelist:
        close_freelist_cycle(path)
    if a.zero_root:
        zero_root(path)
    if a.empty_root:
        empty_root(path, a.empty_root)
    if a.empty_leaves:
        empty_leaves(path, a.empty_leaves)
    if a.swap_leaves:
        swap_leaves(path, a.swap_leaves)
    if a.drop_cell:
        drop_cell(path, a.drop_cell)
    exp = {"columns": ncols, "live": live, "deleted": deleted}
    with open(os.path.join(a.folder, "expected.json"), "w") as f:
        json.dump(exp, f, indent=1)
    print(json.dumps({"live": len(live), "deleted": len(deleted)}))


if __name__ == "__main__":
    main()

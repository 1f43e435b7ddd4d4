#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (tools/fuzz/fuzz_<name>.cpp) into
tests/fuzz/corpus/<name>/: small, valid examples of each input, plus hand-made hostile ones.

Written from the public descriptions of the formats (binary property lists, keyed archives,
Manifest.mbdb, the backup keybag, typedstream archives), independently of the program's readers.

Usage: make_fuzz_seeds.py [OUT_DIR]   (default: tests/fuzz/corpus beside this tools folder)
"""
import datetime
import os
import plistlib
import random
import sqlite3
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_backup  # noqa: E402  (mbfile_archive, Keybag)


def raw_bplist(objects, top=0):
    """A binary property list from already encoded objects (1-byte offsets and references)."""
    body = bytearray(b"bplist00")
    offsets = []
    for obj in objects:
        offsets.append(len(body))
        body += obj
    table = len(body)
    size = 1 if table < 256 else 2
    for off in offsets:
        body += off.to_bytes(size, "big")
    body += bytes(6) + bytes([size, 1]) + struct.pack(">QQQ", len(objects), top, table)
    return bytes(body)


def ascii_obj(text):
    data = text.encode("ascii")
    assert len(data) < 15
    return bytes([0x50 | len(data)]) + data


def record_with(field, value_object, extra=()):
    """A keyed archive whose root holds `field` as a UID to object 1 of $objects (value_object)."""
    return raw_bplist([
        bytes([0xD2, 3, 4, 1, 2]),          # 0: {"$objects": 1, "$top": 2}
        bytes([0xA2, 5, 6]),                # 1: [root, value]
        bytes([0xD1, 7, 8]),                # 2: {"root": UID 0}
        ascii_obj("$objects"),              # 3
        ascii_obj("$top"),                  # 4
        bytes([0xD1, 9, 10]),               # 5: root {field: UID 1}
        value_object,                       # 6
        ascii_obj("root"),                  # 7
        bytes([0x80, 0]),                   # 8: UID 0
        ascii_obj(field),                   # 9
        bytes([0x80, 1]),                   # 10: UID 1
    ] + list(extra))


def manifest_records():
    base = {"path": "Library/SMS/sms.db", "LastModified": 1600000000, "LastStatusChange": 1600000001,
            "Birth": 1500000000, "Size": 4096, "Mode": 0o100644, "InodeNumber": 12345, "UserID": 501,
            "GroupID": 501, "ProtectionClass": 3, "Flags": 0}
    seeds = {
        "file": make_backup.mbfile_archive(base, None),
        "file-with-key": make_backup.mbfile_archive(base, struct.pack("<I", 3) + bytes(range(40))),
        "folder": make_backup.mbfile_archive(dict(base, path="Library/SMS", Mode=0o040755, Size=0), None),
        "link": make_backup.mbfile_archive(dict(base, path="Library/link", Mode=0o120755, target="Ünïcode/target"),
                                           None),
        "real-size-nan": make_backup.mbfile_archive(dict(base, Size=float("nan")), None),
        "real-size-huge": make_backup.mbfile_archive(dict(base, Size=1e300), None),
        # A UTF-16 string whose unit count, doubled, wraps to 2 in 64 bits.
        "crash-utf16-target-length": record_with("Target", bytes([0x6F, 0x13]) + (0x8000000000000001).to_bytes(8, "big")
                                                 + b"\x00a\x00b"),
        "utf16-path-length": record_with("RelativePath", bytes([0x6F, 0x13]) + (0x7FFFFFFFFFFFFFFF).to_bytes(8, "big")
                                         + b"\x00a"),
        "dict-count-wraps": record_with("Size", bytes([0x10, 1]), [bytes([0xDF, 0x13]) + (1 << 63).to_bytes(8, "big")]),
    }
    return seeds


def plists():
    value = {"int": 42, "neg": -7, "big": 2 ** 63 - 1, "real": 3.25, "bool": True, "date": datetime.datetime(2020, 5, 6),
             "data": bytes(range(20)), "text": "plain", "uni": "Grüße ✓", "list": [1, "two", [3.0, {"four": 4}]],
             "empty": {}}
    archive = plistlib.dumps({"$archiver": "NSKeyedArchiver", "$version": 100000, "$top": {"root": plistlib.UID(1)},
                              "$objects": ["$null", {"NS.keys": [plistlib.UID(2)], "NS.objects": [plistlib.UID(3)],
                                                     "$class": plistlib.UID(4)}, "key", "value",
                                           {"$classname": "NSDictionary", "$classes": ["NSDictionary", "NSObject"]}]},
                             fmt=plistlib.FMT_BINARY)
    return {
        "mixed.bplist": plistlib.dumps(value, fmt=plistlib.FMT_BINARY),
        "mixed.xml": plistlib.dumps(value, fmt=plistlib.FMT_XML),
        "keyed-archive.bplist": archive,
        "shared-objects.bplist": raw_bplist([bytes([0xA3, 1, 1, 1]), bytes([0xA2, 2, 2]), bytes([0x10, 5])]),
        "circle.bplist": raw_bplist([bytes([0xA1, 1]), bytes([0xA1, 0])]),
        "utf16-length.bplist": raw_bplist([bytes([0xD1, 1, 2]), bytes([0x6F, 0x13]) + (1 << 63).to_bytes(8, "big"),
                                           bytes([0x10, 1])]),
    }


def mbdb():
    def s(v):
        if v is None:
            return b"\xff\xff"
        v = v.encode("utf-8") if isinstance(v, str) else v
        return struct.pack(">H", len(v)) + v

    out = bytearray(b"mbdb\x05\x00")
    records = [("HomeDomain", "", None, None, None, 0o040755, 0, []),
               ("HomeDomain", "Library/SMS/sms.db", None, bytes(20), struct.pack("<I", 3) + bytes(40), 0o100644, 4096,
                [("com.apple.test", "value")]),
               ("MediaDomain", "Media/link", "../target", None, None, 0o120755, 0, [])]
    for domain, path, target, digest, key, mode, size, props in records:
        out += s(domain) + s(path) + s(target) + s(digest) + s(key)
        out += struct.pack(">HQIIIIIQBB", mode, 77, 501, 501, 1600000000, 1600000000, 1600000000, size, 3, len(props))
        for k, v in props:
            out += s(k) + s(v)
    return {"three-records.mbdb": bytes(out), "header-only.mbdb": b"mbdb\x05\x00",
            "cut-record.mbdb": bytes(out[:40])}


def keybags():
    rnd = random.Random(7)
    plain = make_backup.Keybag("1234", 1, 1, False, rnd).data
    double = make_backup.Keybag("1234", 1, 1, True, rnd).data
    return {"keybag-v3": plain, "keybag-v5": double, "keybag-cut": plain[:100],
            "keybag-huge-length": b"VERS" + struct.pack(">I", 0xFFFFFFFF) + b"\0\0\0\3"}


def typedstream(text_bytes, declared=None):
    """An archived NSMutableAttributedString holding text_bytes as its NSString."""
    n = len(text_bytes) if declared is None else declared
    if n < 0x80:
        length = bytes([n])
    elif n < 0x10000:
        length = b"\x81" + struct.pack("<H", n)
    else:
        length = b"\x82" + struct.pack("<I", n)
    head = (b"\x04\x0bstreamtyped\x81\xe8\x03\x84\x01@\x84\x84\x84\x19NSMutableAttributedString\x00"
            b"\x84\x84\x12NSAttributedString\x00\x84\x84\x08NSObject\x00\x85\x92\x84\x84\x84\x0fNSMutableString"
            b"\x01\x84\x84\x08NSString\x01\x95\x84\x01+")
    tail = b"\x86\x84\x02iI\x01" + length + b"\x92\x84\x84\x84\x0cNSDictionary\x00\x95\x84\x01i\x00\x86\x86"
    return head + length + text_bytes + tail


def attributed_bodies():
    return {"short": typedstream(b"Hello"), "long": typedstream(("long text " * 20).encode()),
            "unicode": typedstream("Grüße \U0001F600".encode("utf-8")),
            "placeholder": typedstream("\ufffc".encode("utf-8")),
            "declared-too-long": typedstream(b"cut short", declared=400),
            "declared-huge": typedstream(b"x", declared=0xFFFFFFFF)}


GEN = os.path.dirname(os.path.abspath(__file__))


def generated(tmp, script, *args):
    """The bytes of the database that one of this folder's generators writes with these arguments."""
    path = os.path.join(tmp, "out.db")
    if os.path.exists(path):
        os.unlink(path)
    subprocess.run([sys.executable, os.path.join(GEN, script)] + list(args) + [path], check=True,
                   stdout=subprocess.DEVNULL)
    return path


def altered(path, *statements):
    """The database at path after the statements, compacted, as bytes."""
    con = sqlite3.connect(path)
    for sql in statements:
        con.execute(sql)
    con.commit()
    con.execute("VACUUM")
    con.close()
    with open(path, "rb") as f:
        return f.read()


def address_book_seeds(tmp):
    def book(*flags):
        folder = tempfile.mkdtemp(dir=tmp)
        subprocess.run([sys.executable, os.path.join(GEN, "make_addressbook.py"), "--no-images"] + list(flags)
                       + [folder], check=True, stdout=subprocess.DEVNULL)
        return os.path.join(folder, "AddressBook.sqlitedb")
    return {"edge": altered(book("--edge")),
            "empty": altered(book("--empty")),
            # Birthdays that are no date: text, beyond any year, not a number.
            "birthdays-out-of-range": altered(book("--edge"), "UPDATE ABPerson SET Birthday='abc' WHERE ROWID=1",
                                              "UPDATE ABPerson SET Birthday=1e300 WHERE ROWID=2",
                                              "UPDATE ABPerson SET Birthday=-9223372036854775808 WHERE ROWID=3")}


def call_history_seeds(tmp, kind):
    gen = ("make_call_history.py", "--kind", kind, "--calls", "6")
    if kind == "old":
        out = {"v7": altered(generated(tmp, *gen, "--client-version", "7")),
               "v12": altered(generated(tmp, *gen, "--client-version", "12"))}
        out["out-of-range"] = altered(generated(tmp, *gen),
                                      "UPDATE call SET date=9223372036854775807, duration=1e12 WHERE ROWID=1",
                                      "UPDATE call SET date=-9223372036854775808, duration=-5 WHERE ROWID=2",
                                      "UPDATE call SET date='abc', duration='1e300' WHERE ROWID=3")
        return out
    return {"store": altered(generated(tmp, *gen)),
            "out-of-range": altered(generated(tmp, *gen),
                                    "UPDATE ZCALLRECORD SET ZDATE=1e300, ZDURATION=1e12 WHERE Z_PK=1",
                                    "UPDATE ZCALLRECORD SET ZDATE=-1e300, ZDURATION=-1 WHERE Z_PK=2",
                                    "UPDATE ZCALLRECORD SET ZDATE=9223372036854775807 WHERE Z_PK=3",
                                    "UPDATE ZCALLRECORD SET ZDATE='abc', ZDURATION=NULL WHERE Z_PK=4")}


def database_seeds():
    with tempfile.TemporaryDirectory() as tmp:
        return {"addressbook": address_book_seeds(tmp),
                "call_history_old": call_history_seeds(tmp, "old"),
                "call_history_store": call_history_seeds(tmp, "storedata"),
                "calendar": {"default": altered(generated(tmp, "make_calendar_db.py")),
                             "other-generation": altered(generated(tmp, "make_calendar_db.py",
                                                                   "--no-calendar-table"))},
                "notes": {"default": altered(generated(tmp, "make_notes_db.py")),
                          "two": altered(generated(tmp, "make_notes_db.py", "--count", "2"))},
                "bookmarks": {"default": altered(generated(tmp, "make_bookmarks_db.py")),
                              "empty": altered(generated(tmp, "make_bookmarks_db.py", "--empty"))}}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "tests", "fuzz",
                                                             "corpus")
    targets = {"manifest_record": manifest_records(), "bplist": plists(), "mbdb": mbdb(), "keybag": keybags(),
               "attributed_body": attributed_bodies()}
    targets.update(database_seeds())
    for target, seeds in targets.items():
        folder = os.path.join(out, target)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()

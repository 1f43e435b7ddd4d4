#!/usr/bin/env python3
"""Makes synthetic call-history databases for tests and benchmarks.

Written from the public description of the device's two call database generations, independently
of the program's reader:
  storedata  CallHistory.storedata (Core Data store: Z_PRIMARYKEY, Z_METADATA, ZCALLRECORD with
             ZDATE/ZDURATION as reals, seconds since 2001-01-01 UTC)
  old        call_history.db (table call, dates as Unix seconds, _SqliteDatabaseProperties)

Examples:
  make_call_history.py --kind storedata --calls 200000 OUT.storedata
  make_call_history.py --kind old --client-version 7 OUT.db
  make_call_history.py --kind storedata --json   prints the rows it wrote (for tests)
  make_call_history.py --kind storedata --calls 65 --wal 5 OUT.storedata
             the last 5 calls only in OUT.storedata-wal, as a device leaves a store in use
"""
import argparse
import json
import os
import random
import shutil
import sqlite3

EPOCH_2001 = 978307200

STORE_SCHEMA = [
    "CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, Z_MAX INTEGER)",
    "CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB)",
    "CREATE TABLE ZCALLRECORD ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZANSWERED INTEGER, "
    "ZCALLTYPE INTEGER, ZCALL_CATEGORY INTEGER, ZDISCONNECTED_CAUSE INTEGER, ZFACE_TIME_DATA BLOB, "
    "ZHANDLE_TYPE INTEGER, ZNUMBER_AVAILABILITY INTEGER, ZORIGINATED INTEGER, ZREAD INTEGER, "
    "ZDATE TIMESTAMP, ZDURATION FLOAT, ZADDRESS VARCHAR, ZDEVICE_ID VARCHAR, ZISO_COUNTRY_CODE VARCHAR, "
    "ZLOCATION VARCHAR, ZNAME VARCHAR, ZSERVICE_PROVIDER VARCHAR, ZUNIQUE_ID VARCHAR )",
    "CREATE INDEX ZCALLRECORD_ZDATE_INDEX ON ZCALLRECORD (ZDATE)",
]

OLD_SCHEMA = [
    "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key))",
    "CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, duration INTEGER, "
    "flags INTEGER, id INTEGER, name TEXT, country_code TEXT, network_code TEXT, read INTEGER, assisted INTEGER, "
    "face_time_data BLOB, originalAddress TEXT)",
    "CREATE INDEX date_index on call(date)",
]


def calls(n, seed):
    rnd = random.Random(seed)
    out = []
    base = 1400000000
    for i in range(n):
        kind = ["in", "out", "missed"][i % 3]
        out.append({
            "address": "+1555%07d" % rnd.randrange(10 ** 7) if i % 17 else "",
            "unix": base - i * 3600 + rnd.randrange(60),
            "duration": 0 if kind == "missed" else rnd.randrange(1, 4000),
            "kind": kind,
            "name": "Name %d" % i if i % 5 == 0 else None,
            "uid": "%08X-0000-4000-8000-%012X" % (i, seed),
        })
    return out


def store_rows(rows, first_pk):
    return [(first_pk + i, 1 if r["kind"] == "in" else 0, 1 if r["kind"] == "out" else 0,
             float(r["unix"] - EPOCH_2001) + 0.25, float(r["duration"]), r["address"], r["name"], r["uid"])
            for i, r in enumerate(rows)]


STORE_INSERT = (
    "INSERT INTO ZCALLRECORD (Z_PK, Z_ENT, Z_OPT, ZANSWERED, ZCALLTYPE, ZCALL_CATEGORY, ZHANDLE_TYPE, "
    "ZNUMBER_AVAILABILITY, ZORIGINATED, ZREAD, ZDATE, ZDURATION, ZADDRESS, ZISO_COUNTRY_CODE, ZNAME, "
    "ZSERVICE_PROVIDER, ZUNIQUE_ID) VALUES (?,2,1,?,1,1,2,0,?,1,?,?,?,'us',?,'com.apple.Telephony',?)")


def write_store(path, rows, z_max_extra, entity_name, wal=0):
    """With wal > 0 the last wal calls stay in path-wal only: the files are copied while the
    writer still holds them, before any checkpoint."""
    work = path + ".work" if wal else path
    con = sqlite3.connect(work)
    if wal:
        con.execute("PRAGMA journal_mode=WAL")
        con.execute("PRAGMA wal_autocheckpoint=0")
    for sql in STORE_SCHEMA:
        con.execute(sql)
    con.execute("INSERT INTO Z_PRIMARYKEY VALUES (1, 'CallDBProperties', 0, 1)")
    con.execute("INSERT INTO Z_PRIMARYKEY VALUES (2, ?, 0, ?)", (entity_name, len(rows) + z_max_extra))
    con.execute("INSERT INTO Z_METADATA VALUES (1, 'A4C3F8B2-0000-0000-0000-000000000000', x'00')")
    main_rows = rows[:len(rows) - wal]
    con.executemany(STORE_INSERT, store_rows(main_rows, 1))
    con.commit()
    if wal:
        con.execute("PRAGMA wal_checkpoint(TRUNCATE)")
        con.executemany(STORE_INSERT, store_rows(rows[len(main_rows):], len(main_rows) + 1))
        con.commit()
        shutil.copyfile(work, path)
        shutil.copyfile(work + "-wal", path + "-wal")
    con.close()
    if wal:
        for suffix in ("", "-wal", "-shm"):
            if os.path.exists(work + suffix):
                os.remove(work + suffix)


def write_old(path, rows, client_version):
    con = sqlite3.connect(path)
    for sql in OLD_SCHEMA:
        con.execute(sql)
    con.execute("INSERT INTO _SqliteDatabaseProperties VALUES ('_ClientVersion', ?)", (str(client_version),))
    raw = {"in": 4, "out": 5, "missed": 8}
    con.executemany(
        "INSERT INTO call (address, date, duration, flags, id, name, read) VALUES (?,?,?,?,-1,?,1)",
        [(r["address"], r["unix"], r["duration"], raw[r["kind"]], r["name"]) for r in rows])
    con.commit()
    con.close()


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("out")
    p.add_argument("--kind", choices=["storedata", "old"], default="storedata")
    p.add_argument("--calls", type=int, default=6)
    p.add_argument("--seed", type=int, default=3)
    p.add_argument("--client-version", type=int, default=7, help="old kind: _ClientVersion (below 12: raw 4/5/8)")
    p.add_argument("--z-max-extra", type=int, default=0, help="storedata: Z_MAX above the highest Z_PK")
    p.add_argument("--entity-name", default="CallRecord", help="storedata: Z_NAME of the call entity")
    p.add_argument("--json", action="store_true", help="print the rows written")
    p.add_argument("--wal", type=int, default=0, help="storedata: leave the last N calls in OUT-wal only")
    a = p.parse_args()
    for suffix in ("", "-wal", "-shm"):
        if os.path.exists(a.out + suffix):
            os.unlink(a.out + suffix)
    rows = calls(a.calls, a.seed)
    if a.kind == "storedata":
        write_store(a.out, rows, a.z_max_extra, a.entity_name, a.wal)
    else:
        write_old(a.out, rows, a.client_version)
    if a.json:
        print(json.dumps(rows))


if __name__ == "__main__":
    main()

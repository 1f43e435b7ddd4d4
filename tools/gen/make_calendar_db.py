#!/usr/bin/env python3
"""Makes a synthetic Calendar.sqlitedb for tests and benchmarks.

Written from the public description of the device's calendar database (tables Calendar,
CalendarItem, Recurrence, Location; dates as seconds since 2001-01-01 UTC), independently of the
program's reader. The default set holds busy events, a free one, a birthday, a recurrence (and an
item with two recurrence rows), locations, a floating all-day item, dates before 1970 and after
2038, a NULL start and texts that need escaping in iCalendar.

Examples:
  make_calendar_db.py OUT.sqlitedb
  make_calendar_db.py --events 100000 OUT.sqlitedb
  make_calendar_db.py --no-calendar-table OUT.sqlitedb    another generation's layout
  make_calendar_db.py --all-day OUT.sqlitedb    floating all-day items around summer-time changes
  make_calendar_db.py --availability OUT.sqlitedb    one event per availability, birthdays, reminders
  make_calendar_db.py --demo OUT.sqlitedb    the demo backup's events (with a 1969 one, a free one and
                                             one without a start)

The --all-day set holds, for each March and October summer-time change of both hemispheres, a
floating all-day item on the day before, the day of and the day after the change, each titled
"All day YYYY-MM-DD" after its own date; a three-day item ("Three days", 1 to 3 August 2013, ending
at 23:59:59), a two-day item ending at midnight ("Two days", 5 and 6 August 2013) and a floating
item at 09:00 ("Floating nine", 1 September 2013).
"""
import argparse
import calendar
import datetime
import os
import sqlite3

EPOCH_2001 = 978307200

SCHEMA = [
    "CREATE TABLE Calendar (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, title TEXT, store_id INTEGER)",
    "CREATE TABLE CalendarItem (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, summary TEXT, location_id INTEGER, "
    "description TEXT, start_date REAL, start_tz TEXT, end_date REAL, all_day INTEGER, calendar_id INTEGER, "
    "orig_item_id INTEGER, orig_date REAL, organizer_id INTEGER, self_attendee_id INTEGER, status INTEGER, "
    "availability INTEGER, privacy_level INTEGER, url TEXT, last_modified REAL, sequence_num INTEGER, "
    "birthday_id INTEGER, modified_properties INTEGER, external_tracking_status INTEGER, external_id TEXT, "
    "external_mod_tag TEXT, unique_identifier TEXT, external_schedule_id TEXT, external_rep BLOB, "
    "response_comment TEXT, hidden INTEGER, has_recurrences INTEGER, has_attendees INTEGER, "
    "UUID TEXT, entity_type INTEGER, priority INTEGER, due_date REAL, due_tz TEXT, due_all_day INTEGER, "
    "completion_date REAL, creation_date REAL, conference TEXT)",
    "CREATE TABLE Recurrence (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, frequency INTEGER, interval INTEGER, "
    "week_start INTEGER, count INTEGER, cached_end_date REAL, cached_end_date_tz TEXT, end_date REAL, "
    "specifier TEXT, by_month_day INTEGER, tz TEXT, owner_id INTEGER, external_id TEXT, UUID TEXT)",
    "CREATE TABLE Location (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, title TEXT, address TEXT, "
    "latitude REAL, longitude REAL, item_owner_id INTEGER)",
]


def secs(y, mo, d, h=0, mi=0):
    return calendar.timegm(datetime.datetime(y, mo, d, h, mi).timetuple()) - EPOCH_2001


DEFAULT_ITEMS = [
    # calendar, summary, description, start, end, all_day, tz, availability, birthday, entity, rules, locations
    (1, "Dentist", "Bring the card", secs(2012, 6, 12, 14, 30), secs(2012, 6, 12, 15, 0), 0, "Europe/Berlin", 0, None, 2, [], ["Main St. 4"]),
    (1, "Weekly sync; team, all", "Agenda:\nline two\\end", secs(2013, 3, 4, 9), secs(2013, 3, 4, 10), 0, "UTC", 0, 0, 2, [(2, 2)], []),
    (1, "Holiday", "", secs(2013, 8, 1), secs(2013, 8, 1, 23, 59), 1, "_float", 0, None, 2, [], []),
    (2, "Moon landing", "Long ago " + "x" * 120, secs(1969, 7, 20, 20, 17), secs(1969, 7, 20, 21), 0, "UTC", 0, None, 2, [], []),
    (2, "Far future", "", secs(2040, 1, 2, 8), secs(2040, 1, 2, 9), 0, "UTC", 0, None, 2, [(4, 1)], ["", "Hall B"]),
    (2, "Two rules", "", secs(2014, 5, 5, 7), secs(2014, 5, 5, 8), 0, "UTC", 0, None, 2, [(1, 1), (3, 0)], []),
    (1, "Free time", "", secs(2012, 7, 1, 10), secs(2012, 7, 1, 11), 0, "UTC", 1, None, 2, [], []),
    (1, "Birthday", "", secs(2012, 9, 9), secs(2012, 9, 9, 23), 1, "_float", 0, 5, 2, [], []),
    (1, "A reminder", "", secs(2012, 9, 9), secs(2012, 9, 9, 23), 0, "UTC", 0, None, 3, [], []),
    (2, "No start", "", None, None, 0, "UTC", 0, None, 2, [], []),
]

DEMO_ITEMS = [
    (1, "Team stand-up", "Daily notes in the shared folder", secs(2025, 11, 3, 9, 30), secs(2025, 11, 3, 9, 45), 0,
     "UTC", 0, None, 2, [(2, 1)], []),
    (1, "Quarterly review", "Slides: Q4 numbers", secs(2025, 12, 4, 16), secs(2025, 12, 4, 17, 30), 0, "UTC", 0,
     None, 2, [], ["Room 4B"]),
    (1, "Lunch break", "", secs(2025, 12, 1, 12), secs(2025, 12, 1, 13), 0, "UTC", 1, None, 2, [], []),
    (2, "Dentist", "Riverside Dental, check-up", secs(2025, 12, 3, 14, 30), secs(2025, 12, 3, 15, 15), 0, "UTC", 0,
     None, 2, [], ["Riverside Dental"]),
    (2, "Hike with Liam and Sofia", "Bring water and a jacket", secs(2025, 11, 29, 8, 30), secs(2025, 11, 29, 14),
     0, "UTC", 0, None, 2, [], ["Forest Park trailhead"]),
    (2, "Thanksgiving", "", secs(2025, 11, 27), secs(2025, 11, 27, 23, 59), 1, "_float", 0, None, 2, [], []),
    (2, "Emma's birthday", "", secs(2025, 12, 12), secs(2025, 12, 12, 23, 59), 1, "_float", 0, None, 2, [(4, 1)], []),
    (2, "Moon landing", "Watched it on TV with the family", secs(1969, 7, 20, 20, 17), secs(1969, 7, 20, 21), 0,
     "UTC", 0, None, 2, [], []),
    (2, "Plan the cabin weekend", "", None, None, 0, "UTC", 0, None, 2, [], []),
]


def fill(con, items):
    con.execute("INSERT INTO Calendar (ROWID, title) VALUES (1, 'Work')")
    con.execute("INSERT INTO Calendar (ROWID, title) VALUES (2, 'home')")
    for (cal, summary, desc, start, end, all_day, tz, avail, bday, entity, rules, locs) in items:
        cur = con.execute(
            "INSERT INTO CalendarItem (summary, description, start_date, end_date, all_day, start_tz, calendar_id, "
            "availability, birthday_id, entity_type, url, creation_date) VALUES (?,?,?,?,?,?,?,?,?,?,?,0)",
            (summary, desc, start, end, all_day, tz, cal, avail, bday, entity, ""))
        rowid = cur.lastrowid
        for freq, interval in rules:
            con.execute("INSERT INTO Recurrence (frequency, interval, owner_id) VALUES (?,?,?)", (freq, interval, rowid))
        for title in locs:
            con.execute("INSERT INTO Location (title, item_owner_id) VALUES (?,?)", (title, rowid))


# March and October summer-time changes: Europe, the United States (2006 still in October),
# Australia (2007 still in March) and Brazil (at midnight).
CHANGE_DAYS = [(2013, 3, 31), (2013, 3, 10), (2013, 10, 27), (2006, 10, 29), (2007, 3, 25), (2013, 10, 6),
               (2013, 10, 20)]


def all_day_items():
    items = []
    for y, m, d in CHANGE_DAYS:
        for delta in (-1, 0, 1):
            day = datetime.date(y, m, d) + datetime.timedelta(days=delta)
            start = secs(day.year, day.month, day.day)
            items.append((1, "All day %s" % day.isoformat(), "", start, start + 86399, 1, "_float", 0, None, 2,
                          [], []))
    items.append((1, "Three days", "", secs(2013, 8, 1), secs(2013, 8, 3, 23, 59) + 59, 1, "_float", 0, None, 2,
                  [], []))
    items.append((1, "Two days", "", secs(2013, 8, 5), secs(2013, 8, 7), 1, "_float", 0, None, 2, [], []))
    items.append((2, "Floating nine", "", secs(2013, 9, 1, 9), secs(2013, 9, 1, 10), 0, "_float", 0, None, 2,
                  [(3, 1)], []))
    return items


# Availability codes of the device: 0 busy, 1 free, 2 tentative, 3 unavailable.
AVAILABILITIES = ["Busy", "Free", "Tentative", "Unavailable"]


def availability_items():
    """One event per availability, then a birthday and a reminder of each, titled after both."""
    items = []
    for code, name in enumerate(AVAILABILITIES):
        start = secs(2014, 2, 3 + code, 9)
        items.append((1 + code % 2, name, "", start, start + 3600, 0, "Europe/Berlin", code, None, 2, [], []))
        items.append((1, "Birthday " + name, "", start, start + 86399, 1, "_float", code, 10 + code, 2, [], []))
        items.append((2, "Reminder " + name, "", start, start + 600, 0, "UTC", code, None, 3, [], []))
    return items


def many(n):
    base = secs(2010, 1, 1, 9)
    return [(1 + i % 2, "Event %d" % i, "Notes, %d" % i, base + i * 86400, base + i * 86400 + 3600, i % 7 == 0,
             "UTC", 0, None, 2, [(2, 1)] if i % 10 == 0 else [], []) for i in range(n)]


def build(out, events, no_calendar_table, all_day=False, availability=False, demo=False):
    if os.path.exists(out):
        os.unlink(out)
    con = sqlite3.connect(out)
    for sql in SCHEMA:
        if no_calendar_table and sql.startswith("CREATE TABLE Calendar "):
            continue
        con.execute(sql)
    if not no_calendar_table:
        if events:
            items = many(events)
        elif all_day:
            items = all_day_items()
        elif availability:
            items = availability_items()
        else:
            items = DEMO_ITEMS if demo else DEFAULT_ITEMS
        fill(con, items)
    con.commit()
    con.close()


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("out")
    p.add_argument("--events", type=int, default=0, help="this many plain busy events instead of the default set")
    p.add_argument("--no-calendar-table", action="store_true")
    p.add_argument("--all-day", action="store_true", help="the floating all-day set instead of the default set")
    p.add_argument("--availability", action="store_true",
                   help="one event of each availability, with a birthday and a reminder of each")
    p.add_argument("--demo", action="store_true", help="the demo backup's events instead of the default set")
    a = p.parse_args()
    build(a.out, a.events, a.no_calendar_table, a.all_day, a.availability, a.demo)


if __name__ == "__main__":
    main()

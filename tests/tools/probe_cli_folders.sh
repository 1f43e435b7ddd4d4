# Sourced by probe_cli.sh: backup folders without permission, reading that writes nothing beside what
# it reads, folders that are no backup, and crossed call merges.

# A backup folder the user may not read, or one inside a folder the user may not search, is named
# with the system's reason by every command that opens it, never called "not a device backup". As
# root the probe runs without the powers that pass over permissions, and as nobody.
perm=$(mktemp -d)
/usr/bin/python3 "$generator" "$perm/up/bk" > /dev/null && mkdir -m 1777 "$perm/home" && chmod -R a+rX "$perm"
runs=("")
if [ "$(id -u)" -eq 0 ]; then
    runs=("setpriv --bounding-set=-dac_override,-dac_read_search" "setpriv --reuid=65534 --regid=65534 --clear-groups")
fi
for run in "${runs[@]}"; do
    for locked in "$perm/up/bk" "$perm/up"; do
        chmod 000 "$locked"
        if $run test -r "$perm/up/bk/Manifest.plist"; then
            echo "SKIP: a folder without permission stays readable to this user; its check cannot run"
            chmod 755 "$locked"
            continue
        fi
        for cmd in info tree extract-tree photos notes contacts calls calendars messages; do
            dest=()
            [ "$cmd" = extract-tree ] && dest=("$perm/home/tree")
            HOME="$perm/home" $run "$probe" $cmd "$perm/up/bk" "${dest[@]}" < /dev/null > /dev/null 2> "$work/err.txt"
            rc=$?
            [ $rc -ne 0 ] && grep -qF "Cannot read the folder $locked: Permission denied." "$work/err.txt" \
                && ! grep -q "not a device backup" "$work/err.txt"
            check "$cmd names a backup in ${locked#$perm/} without permission, with the reason (${run:-as this user})" $?
        done
        chmod 755 "$locked"
    done
done
rm -rf "$perm"

# Reading never writes beside what it reads: each reading command on a database in WAL mode (a
# device's usual mode) leaves its folder as it was.
gen=$(dirname "$generator")
mkdir -p "$work/plain/ab" "$work/plain/calls" "$work/plain/cal" "$work/plain/notes" "$work/plain/bm" \
    "$work/plain/vm" "$work/plain/sms"
/usr/bin/python3 "$gen/make_addressbook.py" --demo "$work/plain/ab" > /dev/null
/usr/bin/python3 "$gen/make_call_history.py" "$work/plain/calls/CallHistory.storedata"
/usr/bin/python3 "$gen/make_calendar_db.py" "$work/plain/cal/Calendar.sqlitedb"
/usr/bin/python3 "$gen/make_notes_db.py" "$work/plain/notes/notes.sqlite"
/usr/bin/python3 "$gen/make_bookmarks_db.py" "$work/plain/bm/Bookmarks.db"
/usr/bin/python3 "$gen/make_media_db.py" voicemail "$work/plain/vm/voicemail.db"
cp -r "$work/plain" "$work/wal"
for db in "$work"/wal/*/*; do
    /usr/bin/python3 -c 'import sqlite3, sys; sqlite3.connect(sys.argv[1]).execute("PRAGMA journal_mode=WAL").fetchall()' "$db"
done
for run in "contacts ab/AddressBook.sqlitedb" "calls calls/CallHistory.storedata" \
           "calendars cal/Calendar.sqlitedb" "notes notes/notes.sqlite" "bookmarks bm/Bookmarks.db" \
           "voicemail vm/voicemail.db"; do
    set -- $run
    folder=$(dirname "$work/wal/$2")
    before=$(ls -A "$folder")
    "$probe" "$1" "$work/wal/$2" > /dev/null 2>&1; rc=$?
    [ $rc -eq 0 ] && [ "$(ls -A "$folder")" = "$before" ]
    check "$1 reads a WAL-mode database and leaves nothing beside it" $?
done

# A change to several databases stopped in the middle leaves a journal that names the change's own,
# beside the database: the copy each reading command plays back follows no name, so what stands there
# (a file the user keeps, a FIFO that would hold the read for ever) stays as it was, and so does the
# journal.
/usr/bin/python3 "$generator" --demo "$work/sms-bk" > /dev/null
cp "$work/sms-bk/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28" "$work/plain/sms/sms.db"
for kind in file fifo; do
    for run in "contacts ab/AddressBook.sqlitedb" "calls calls/CallHistory.storedata" \
               "calendars cal/Calendar.sqlitedb" "notes notes/notes.sqlite" "bookmarks bm/Bookmarks.db" \
               "voicemail vm/voicemail.db" "messages sms/sms.db"; do
        set -- $run
        rm -rf "$work/joint" && cp -r "$work/plain" "$work/joint"
        named=$work/joint/$2-mj0123abcd
        if [ $kind = fifo ]; then mkfifo "$named"; else echo child-journal > "$named"; fi
        /usr/bin/python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); import make_backup as g
g.leave_hot_journal(sys.argv[2], "CREATE TABLE unfinished(x)",
                    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40) SELECT zeroblob(4000) FROM n")
g.name_super_journal(sys.argv[2], sys.argv[3])' "$gen" "$work/joint/$2" "$named"
        timeout 30 "$probe" "$1" "$work/joint/$2" > /dev/null 2>&1; rc=$?
        [ $rc -eq 0 ] && { [ -p "$named" ] || [ "$(cat "$named")" = child-journal ]; } \
            && [ -s "$work/joint/$2-journal" ]
        check "$1 plays back a journal that names a $kind, which stays as it was" $?
    done
done

# A folder that is not a backup is called so by the commands that read one, also where a folder
# of the program's cached copies would do; a cached address book alone is a plain backup's cache,
# whose calls are kept only when it is encrypted.
mkdir "$work/empty"
/usr/bin/python3 "$(dirname "$generator")/make_addressbook.py" --hashed --demo "$work/abook-only" > /dev/null
/usr/bin/python3 "$generator" "$work/calls-target" > /dev/null
for row in "info empty not a device backup" "calls empty not a device backup" \
           "merge-calls empty not a device backup" "calls abook-only only available when backup encryption"; do
    set -- $row
    cmd=$1 folder=$2 && shift 2
    target=() && [ "$cmd" = merge-calls ] && target=("$work/calls-target")
    "$probe" $cmd "$work/$folder" "${target[@]}" < /dev/null > /dev/null 2> "$work/err.txt"; rc=$?
    [ $rc -ne 0 ] && grep -q "$*" "$work/err.txt"; check "$cmd of the folder $folder says it is $*" $?
done
"$probe" no-such-command > /dev/null 2>&1; [ $? -ne 0 ]; check "an unknown command fails" $?

# Each backup's calls merged into the other, both at once: neither waits for the other for ever
# (each holds its source only while it reads it).
/usr/bin/python3 "$generator" --demo "$work/cross-x" > /dev/null
/usr/bin/python3 "$generator" --demo "$work/cross-y" > /dev/null
# Another program writes into both for a while, so that both commands start reading together.
hold_folders 3 "$work/cross-x" "$work/cross-y"
timeout 60 "$probe" merge-calls "$work/cross-x" "$work/cross-y" > /dev/null 2>&1 &
xy=$!
timeout 60 "$probe" merge-calls "$work/cross-y" "$work/cross-x" > /dev/null 2>&1
yx=$?
wait $xy
[ $? -eq 0 ] && [ $yx -eq 0 ]; check "two crossed call merges both finish" $?

#!/usr/bin/env bash
# Drives the probe's message commands as a user would: messages of a generated backup (holding the
# real iOS 13 sms.db when the shared fixtures are there) saved twice into a local store, and the
# attachments of a generated cache folder extracted.
set -u
probe=$1
tools=$2
shared=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
. "$(dirname "$0")/hold_folders.sh"
. "$(dirname "$0")/no_flock.sh"
check() { # description, then the command's success as $?
    if [ "$2" -ne 0 ]; then echo "FAIL: $1"; failures=$((failures + 1)); else echo "PASS: $1"; fi
}
count() { grep -o "\"$1\": [0-9]*" "$2" | grep -o '[0-9]*$'; }

sms=""
expected=
if [ -n "$shared" ] && [ -f "$shared/fixtures/real/magnet-ctf-2020-sms/sms.db" ]; then
    sms="--sms-db $shared/fixtures/real/magnet-ctf-2020-sms/sms.db"
    expected=105
fi
/usr/bin/python3 "$tools/gen/make_backup.py" --demo $sms "$work/bk" > /dev/null
check "generator makes a backup" $?
if [ -z "$sms" ]; then # the demo's own messages, as its sms.db holds them
    expected=$(sqlite3 "$work/bk/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28" "select count(*) from message")
fi

"$probe" save-messages "$work/bk" "$work/store" > "$work/first.json" 2> /dev/null
check "save-messages succeeds" $?
[ "$(count messages "$work/first.json")" = "$expected" ]; check "every message is in the store" $?
[ "$(count total "$work/first.json")" = "$expected" ]; check "the store counts them" $?
"$probe" save-messages "$work/bk" "$work/store" > "$work/second.json" 2> /dev/null
check "saving again succeeds" $?
[ "$(count messages "$work/second.json")" = "$expected" ]; check "saving again adds no message" $?

/usr/bin/python3 "$tools/gen/make_sms_db.py" ios6 "$work/cache" > /dev/null
files=$(grep -o '"attachment_files": [0-9]*' "$work/cache/expected.json" | grep -o '[0-9]*$')
"$probe" extract-attachments "$work/cache" "$work/out" > /dev/null 2>&1
check "extract-attachments succeeds" $?
[ "$(ls "$work/out" | wc -l)" = "$files" ]; check "every attachment file is extracted" $?
"$probe" save-messages "$work/nothing-here" "$work/store2" > /dev/null 2>&1
[ $? -ne 0 ]; check "a missing source fails" $?

# Deleted messages of a generated database are recovered; the database is left as it was.
/usr/bin/python3 "$tools/gen/make_deleted_sms.py" "$work/deleted" --messages 60 > /dev/null
before=$(sha1sum "$work/deleted/file-relay/var/mobile/Library/SMS/sms.db")
"$probe" recover-messages "$work/deleted" > "$work/recovered.json" 2> /dev/null
check "recover-messages succeeds" $?
[ "$(count recovered_messages "$work/recovered.json")" = "20" ]; check "every deleted message is recovered" $?
[ "$(sha1sum "$work/deleted/file-relay/var/mobile/Library/SMS/sms.db")" = "$before" ]
check "the source database is untouched" $?
[ "$(ls "$work/deleted/file-relay/var/mobile/Library/SMS")" = "sms.db" ]
check "nothing is written beside the source database" $?
# A database in WAL mode is read from a private copy: no -wal or -shm appears beside it.
mkdir -p "$work/walmode"
cp "$work/deleted/file-relay/var/mobile/Library/SMS/sms.db" "$work/walmode/sms.db"
sqlite3 "$work/walmode/sms.db" "PRAGMA journal_mode=WAL" > /dev/null
"$probe" recover-messages "$work/walmode/sms.db" > "$work/recovered-wal.json" 2> /dev/null
check "recover-messages reads a WAL-mode database" $?
[ "$(count recovered_messages "$work/recovered-wal.json")" = "20" ]; check "the same messages from WAL mode" $?
[ "$(ls "$work/walmode")" = "sms.db" ]; check "nothing is written beside a WAL-mode database" $?
"$probe" recover-messages "$work/nothing-here" > /dev/null 2>&1
[ $? -ne 0 ]; check "recovering from nothing fails" $?

# Every message of a generated database is merged into an encrypted backup holding a device database.
/usr/bin/python3 "$tools/gen/make_backup.py" --password pw --iter 5 --dpic 5 \
    --sms-db "$work/deleted/file-relay/var/mobile/Library/SMS/sms.db" "$work/enc" > /dev/null
HOME="$work/home" "$probe" restore-messages "$work/cache" "$work/enc" --password pw > "$work/merged.json" 2> /dev/null
check "restore-messages succeeds" $?
[ "$(count merged "$work/merged.json")" = "$(count messages "$work/merged.json")" ]
check "every message is merged" $?
HOME="$work/home" "$probe" restore-messages "$work/cache" "$work/enc" --password wrong > /dev/null 2>&1
[ $? -ne 0 ]; check "a wrong password fails" $?

# A restore into a backup with a large message database while two loads of it run, as from other
# windows: the restore lands whole, each load reads the messages from before it or after it, and
# nothing of the write is left in the backup.
/usr/bin/python3 "$tools/gen/grow_sms_db.py" "$work/deleted/file-relay/var/mobile/Library/SMS/sms.db" \
    "$work/big.db" --messages 20000 > /dev/null
/usr/bin/python3 "$tools/gen/make_backup.py" --demo --sms-db "$work/big.db" "$work/busy" > /dev/null
"$probe" messages "$work/busy" > "$work/busy-before.json" 2> /dev/null
HOME="$work/home" "$probe" restore-messages "$work/cache" "$work/busy" > "$work/busy.json" 2> "$work/busy.err" &
restore=$!
for reader in 1 2; do
    (while kill -0 $restore 2> /dev/null; do
        "$probe" messages "$work/busy" > "$work/load-$reader.json" 2> /dev/null \
            && count messages "$work/load-$reader.json"
        [ $? -eq 0 ] || echo failed
    done > "$work/loads-$reader") &
done
wait $restore
check "a restore while the backup is loaded succeeds" $?
wait
[ "$(count merged "$work/busy.json")" = "$(count messages "$work/busy.json")" ]
check "every message is merged while the backup is loaded" $?
"$probe" messages "$work/busy" > "$work/busy-after.json" 2> /dev/null
before=$(count messages "$work/busy-before.json")
after=$(count messages "$work/busy-after.json")
[ "$after" -gt "$before" ] && [ -s "$work/loads-1" ] && [ -s "$work/loads-2" ] && ! grep -qvx -e "$before" -e "$after" "$work/loads-1" "$work/loads-2"
check "each load reads the messages from before or after the restore" $?
[ -z "$(find "$work/busy" -name '*.qmtmp' -o -name '*.qmold' -o -name '*.qmwrite')" ]
check "nothing of the write is left beside the loads" $?

# The demo backup holds a message database with every column of a device's: messages go into it.
/usr/bin/python3 "$tools/gen/make_backup.py" --demo "$work/demo" > /dev/null
HOME="$work/home" "$probe" restore-messages "$work/cache" "$work/demo" > "$work/demo.json" 2> "$work/demo.err"
check "restore-messages into the demo backup succeeds" $?
[ "$(count merged "$work/demo.json")" = "$(count messages "$work/demo.json")" ]
check "every message is merged into the demo backup" $?

# Names planted where restores made their temporaries before each write had names of its own: a link
# out at that of the stored message database is left as it is, never written through; a FIFO there
# never stops the restore.
/usr/bin/python3 "$tools/gen/make_backup.py" --demo "$work/planted" > /dev/null
planted="$work/planted/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28"
printf 'mine' > "$work/outside.txt"
ln -s "$work/outside.txt" "$planted.qmtmp"
HOME="$work/home" timeout 60 "$probe" restore-messages "$work/cache" "$work/planted" > /dev/null 2>&1
[ $? -eq 0 ] && [ "$(cat "$work/outside.txt")" = "mine" ] && [ -f "$planted" ] && [ ! -L "$planted" ] \
    && [ -L "$planted.qmtmp" ]
check "a restore never writes through a link planted at its temporary" $?
rm "$planted.qmtmp" && mkfifo "$planted.qmtmp"
HOME="$work/home" timeout 60 "$probe" restore-messages "$work/cache" "$work/planted" > /dev/null 2>&1
[ $? -eq 0 ] && [ -p "$planted.qmtmp" ]
check "a FIFO planted at its temporary never stops a restore" $?

# A backup whose earlier write stopped and cannot be finished or undone (its record cannot be read,
# here as it is a folder): the restore stops with that, before it reads the message database the
# write swapped.
sms_file="$work/demo/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28"
printf 'not a database' > "$sms_file"
mkdir -p "$work/demo/Manifest.qmwrite/inside"
HOME="$work/home" "$probe" restore-messages "$work/cache" "$work/demo" > /dev/null 2> "$work/unsettled.err"
[ $? -ne 0 ] && [ "$(tail -n 1 "$work/unsettled.err")" = "Cannot finish or undo the earlier write into $work/demo." ]
check "a restore stops before it reads a backup whose earlier write cannot be settled" $?

# A restore refused for what the backup's message database holds (pages SQLite finds damaged, a view
# in place of a table) names the backup's stored file and its record, never the program's private
# copy or its work copy, and leaves the backup as it was.
stored_sms=3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28
for row in "damaged:--drop-cell message:SQLite finds the database damaged (" \
           "view::its \"message\" is a view (a query the file holds)"; do
    IFS=: read -r name damage told <<< "$row"
    /usr/bin/python3 "$tools/gen/make_deleted_sms.py" "$work/refused-$name" --delete-every 0 --messages 10 $damage > /dev/null
    db="$work/refused-$name/file-relay/var/mobile/Library/SMS/sms.db"
    [ $name != view ] || sqlite3 "$db" "alter table message rename to Stored; create view message as select * from Stored"
    bk="$work/refused-$name-bk"
    /usr/bin/python3 "$tools/gen/make_backup.py" --sms-db "$db" "$bk" > /dev/null
    before=$(find "$bk" -type f -exec md5sum {} + | sort)
    HOME="$work/home" "$probe" restore-messages "$work/cache" "$bk" > /dev/null 2> "$work/refused.err"
    [ $? -ne 0 ] && grep -qF "$bk/$stored_sms: $told" "$work/refused.err" \
        && grep -qx "Record: HomeDomain Library/SMS/sms.db" "$work/refused.err" \
        && ! grep -q -e "$work/home" -e "\.merge-" "$work/refused.err" \
        && [ "$(find "$bk" -type f -exec md5sum {} + | sort)" = "$before" ]
    check "a restore refused for a $name message database names the backup's file" $?
done

# A backup whose message database lost the rows of its join index (emptied leaves) or holds another
# index's rows in it (swapped leaves): the count info gives for the tree is what the list reads.
sms_count() { /usr/bin/python3 -c "import json,sys; print(json.load(open(sys.argv[1]))['counts']['sms'])" "$1"; }
for damage in "--empty-leaves sqlite_autoindex_chat_message_join_1" \
    "--swap-leaves sqlite_autoindex_chat_message_join_1,sqlite_autoindex_message_1"; do
    name=$(echo "$damage" | cut -c3-7)
    /usr/bin/python3 "$tools/gen/make_deleted_sms.py" "$work/$name" --messages 300 $damage > /dev/null
    /usr/bin/python3 "$tools/gen/make_backup.py" --demo \
        --sms-db "$work/$name/file-relay/var/mobile/Library/SMS/sms.db" "$work/$name-bk" > /dev/null
    "$probe" messages "$work/$name-bk" > "$work/$name-messages.json" 2> /dev/null
    [ "$(count messages "$work/$name-messages.json")" = 200 ]; check "the list reads every message ($damage)" $?
    "$probe" info "$work/$name-bk" > "$work/$name-info.json" 2> /dev/null
    check "info succeeds ($damage)" $?
    [ "$(sms_count "$work/$name-info.json")" = 200 ]; check "info counts the messages the list reads ($damage)" $?
done
# A pipe in place of the stored message database is not read for the counts: info ends and says
# so, its count unknown (null) as the tree's.
stored_sms="$work/empty-bk/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28"
rm "$stored_sms" && mkfifo "$stored_sms"
timeout 60 "$probe" info "$work/empty-bk" > "$work/fifo-info.json" 2> "$work/fifo-info.err"
[ $? -eq 0 ] && [ "$(sms_count "$work/fifo-info.json")" = None ] \
    && grep -q "^not counted: Library/SMS/sms.db: can not open .*\. Not a regular file$" "$work/fifo-info.err"
check "info of a backup whose stored message database is a pipe ends and names it" $?

# Each backup's messages restored into the other, both at once: neither waits for the other for
# ever (each holds its source only while it reads it).
/usr/bin/python3 "$tools/gen/make_backup.py" --demo "$work/cross-x" > /dev/null
/usr/bin/python3 "$tools/gen/make_backup.py" --demo "$work/cross-y" > /dev/null
# Another program writes into both for a while, so that both commands start reading together.
hold_folders 3 "$work/cross-x" "$work/cross-y"
HOME="$work/home" timeout 60 "$probe" restore-messages "$work/cross-x" "$work/cross-y" > /dev/null 2>&1 &
xy=$!
HOME="$work/home" timeout 60 "$probe" restore-messages "$work/cross-y" "$work/cross-x" > /dev/null 2>&1
yx=$?
wait $xy
[ $? -eq 0 ] && [ $yx -eq 0 ]; check "two crossed restores both finish" $?

# A load of a backup another program is writing into waits for the write, and says so once.
hold_folders 1.5 "$work/cross-x"
writer=$held_pid
timeout 60 "$probe" messages "$work/cross-x" > /dev/null 2> "$work/waited.err"
waited=$?
wait $writer
[ $waited -eq 0 ] && [ "$(cat "$work/waited.err")" = "Waiting for another window or program to finish writing into the backup $work/cross-x..." ]
check "a load waiting for a write elsewhere says so once" $?
# Ended by SIGTERM while it waits, in the middle of its work, the probe leaves no private copy.
mkdir -p "$work/tmp"
hold_folders 20 "$work/cross-x"
writer=$held_pid
TMPDIR="$work/tmp" "$probe" messages "$work/cross-x" > /dev/null 2> "$work/ended.err" &
ended=$!
for _ in $(seq 200); do grep -q Waiting "$work/ended.err" && break; sleep 0.05; done
made=$(ls -A "$work/tmp" | wc -l)
kill -TERM $ended
wait $ended
rc=$?
kill $writer && wait $writer 2> /dev/null
[ "$made" -gt 0 ] && [ $rc -eq 143 ] && [ -z "$(ls -A "$work/tmp")" ]
check "a load ended by SIGTERM while it waits leaves none of its private copies" $?

# An encrypted backup whose copy of a message picture was cut in half (whole blocks): the load names
# it, and the pages that read its cache count it apart and fail, also after a second load that reuses
# the copy, until the backup holds the picture whole again.
picture="Library/SMS/Attachments/25/01/DEMO-ATTACHMENT-0001/IMG_4101.JPG"
make_cut() { /usr/bin/python3 "$tools/gen/make_backup.py" --demo --password pw --iter 5 --dpic 5 "$@" "$work/cut" > /dev/null; }
make_cut --stored-damage "$picture=cut-half"
HOME="$work/home" "$probe" cache-messages "$work/cut" <<< pw > "$work/cut-load.out" 2> "$work/cut-load.err"
[ $? -ne 0 ] && grep -q "ends without its padding" "$work/cut-load.err" \
    && grep -qx "Record: MediaDomain $picture" "$work/cut-load.err"
check "the load names the picture cut short" $?
# A plain backup whose sms.db is cut short: the load names the stored copy, and says its bytes were
# not kept, as the load keeps no copy of the messages then; so does a count of the backup, whose
# copies go with it.
/usr/bin/python3 "$tools/gen/make_backup.py" --demo --stored-damage "Library/SMS/sms.db=short-1000" "$work/cutdb" > /dev/null
HOME="$work/home" "$probe" cache-messages "$work/cutdb" > "$work/cutdb.out" 2> "$work/cutdb.err"
[ $? -ne 0 ] && grep -q "^The stored copy $work/cutdb/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28 is not" "$work/cutdb.err" \
    && grep -q "bytes were not kept; its record gives" "$work/cutdb.err" && ! grep -q "written to" "$work/cutdb.err" \
    && [ ! -e "$(tail -n 1 "$work/cutdb.out")/file-relay/var/mobile/Library/SMS/sms.db" ]
check "the load names a cut sms.db and says its bytes were not kept" $?
HOME="$work/home" "$probe" info "$work/cutdb" > /dev/null 2> "$work/cutdb.err"
grep -q "^not counted: Library/SMS/sms.db: .* bytes were not kept;" "$work/cutdb.err" && ! grep -q "written to" "$work/cutdb.err"
check "a count of it says so too" $?
cache=$(tail -n 1 "$work/cut-load.out")
for round in first reused; do
    if [ $round = reused ]; then
        HOME="$work/home" "$probe" cache-messages "$work/cut" <<< pw > /dev/null 2> "$work/cut-load.err"
        [ $? -ne 0 ] && grep -qx "Record: MediaDomain $picture" "$work/cut-load.err"
        check "a second load names it again" $?
    fi
    out="$work/cut-out-$round"
    "$probe" extract-attachments "$cache" "$out" > /dev/null 2> "$work/cut-extract.err"
    [ $? -ne 0 ] && grep -qx "1 of the attachments is not what the phone wrote:" "$work/cut-extract.err" \
        && grep -q "^$out/IMG_4101.JPG: The stored copy .* ends without its padding" "$work/cut-extract.err" \
        && [ "$(tail -n 1 "$work/cut-extract.err")" = "2 other MMS attachments were extracted to $out." ] \
        && [ "$(ls "$out" | wc -l)" = 3 ]
    check "extract-attachments counts the cut picture apart and fails ($round)" $?
    html="$work/cut-html-$round"
    "$probe" export-messages --format html "$cache" "$html" > /dev/null 2> "$work/cut-export.err"
    [ $? -ne 0 ] && grep -qx "1 of the attachments is not what the phone wrote:" "$work/cut-export.err" \
        && grep -q "^IMG_4101.JPG: The stored copy .* ends without its padding" "$work/cut-export.err" \
        && [ "$(tail -n 1 "$work/cut-export.err")" = "16 Messages were exported." ] \
        && [ "$(cat "$html"/*.html | grep -o 'files/empty_photo.jpg' | wc -l)" = 1 ] \
        && [ -f "$html/files/IMG_4101.JPG" ]
    check "export-messages names the cut picture, fails, and draws no thumbnail of it ($round)" $?
    store="$work/cut-store-$round"
    "$probe" save-messages "$cache" "$store" > /dev/null 2> "$work/cut-save.err"
    [ $? -ne 0 ] && grep -qx "1 of the attachments is not what the phone wrote:" "$work/cut-save.err" \
        && grep -q "^IMG_4101.JPG: The stored copy .* ends without its padding" "$work/cut-save.err" \
        && [ "$(tail -n 1 "$work/cut-save.err")" = "16 Messages were saved, with those attachments as they are." ] \
        && [ "$(sqlite3 "$store/file-relay/var/mobile/Library/SMS/sms.db" "select count(*) from message")" = 16 ] \
        && cmp -s "$cache/file-relay/var/mobile/$picture" "$store/file-relay/var/mobile/$picture"
    check "save-messages keeps the cut picture as it is, names it and fails ($round)" $?
    into="$work/cut-into-$round"
    /usr/bin/python3 "$tools/gen/make_backup.py" --sms-db "$work/deleted/file-relay/var/mobile/Library/SMS/sms.db" \
        "$into" > /dev/null
    stored=$(printf '%s' "MediaDomain-$picture" | sha1sum | cut -c 1-40)
    HOME="$work/home" "$probe" restore-messages "$cache" "$into" > /dev/null 2> "$work/cut-restore.err"
    [ $? -ne 0 ] && grep -qx "1 of the attachments is not what the phone wrote:" "$work/cut-restore.err" \
        && grep -q "^IMG_4101.JPG: The stored copy .* ends without its padding" "$work/cut-restore.err" \
        && [ "$(tail -n 1 "$work/cut-restore.err")" \
            = "16 Messages were written into the backup, with those attachments as they are." ] \
        && cmp -s "$cache/file-relay/var/mobile/$picture" "$into/${stored:0:2}/$stored"
    check "restore-messages writes the cut picture as it is, names it and fails ($round)" $?
done
make_cut
HOME="$work/home" "$probe" cache-messages "$work/cut" <<< pw > /dev/null 2>&1
check "a load of the picture whole again succeeds" $?
"$probe" extract-attachments "$cache" "$work/cut-out-whole" > /dev/null 2>&1 && [ "$(ls "$work/cut-out-whole" | wc -l)" = 3 ]
check "extract-attachments of the picture whole again succeeds" $?
"$probe" export-messages --format txt "$cache" "$work/cut.txt" > /dev/null 2>&1
check "export-messages of the picture whole again succeeds" $?
"$probe" save-messages "$cache" "$work/cut-store-whole" > /dev/null 2>&1
check "save-messages of the picture whole again succeeds" $?
/usr/bin/python3 "$tools/gen/make_backup.py" --sms-db "$work/deleted/file-relay/var/mobile/Library/SMS/sms.db" \
    "$work/cut-into-whole" > /dev/null
HOME="$work/home" "$probe" restore-messages "$cache" "$work/cut-into-whole" > /dev/null 2>&1
check "restore-messages of the picture whole again succeeds" $?

# Two pictures of one folder whose names differ only in a character a disk refuses (a colon, and a
# question mark and a star): the load keeps each apart, and extract-attachments and the HTML export
# write each with its own bytes, no two names holding the same.
for pair in "a:b.JPG ab.JPG" "x?.JPG x*.JPG"; do
    set -- $pair
    rm -rf "$work/pair" "$work/pair-out" "$work/pair-html"
    /usr/bin/python3 "$tools/gen/make_backup.py" --demo --attachment-name "1=shared/$1" --attachment-name "2=shared/$2" \
        "$work/pair" > /dev/null
    HOME="$work/home" "$probe" cache-messages "$work/pair" > "$work/pair.out" 2> /dev/null
    cache=$(tail -n 1 "$work/pair.out")
    "$probe" extract-attachments "$cache" "$work/pair-out" > /dev/null 2>&1 \
        && [ "$(ls "$work/pair-out" | wc -l)" = 3 ] && [ "$(md5sum "$work/pair-out"/* | cut -c 1-32 | sort -u | wc -l)" = 3 ]
    check "extract-attachments writes $1 and $2 each with its own bytes" $?
    "$probe" export-messages --format html "$cache" "$work/pair-html" > /dev/null 2>&1 \
        && [ "$(find "$work/pair-html/files" -name '*.JPG' -exec md5sum {} + | cut -c 1-32 | sort -u | wc -l)" = 3 ]
    check "export-messages copies $1 and $2 each with its own bytes" $?
done

# A local store an earlier version saved keeps its attachments under the names of that version's
# rule, characters a disk refuses left out without a mark: one whose earlier name is its alone is read
# there, and a save into another store writes it under its name now; two whose earlier names are one
# read neither. A backup's cache never reads such a name.
rm -rf "$work/early"*
/usr/bin/python3 "$tools/gen/make_backup.py" --demo --attachment-name "1=shared/c:d.JPG" \
    --attachment-name "2=shared/a:b.JPG" --attachment-name "3=shared/a?b.JPG" "$work/early" > /dev/null
HOME="$work/home" "$probe" cache-messages "$work/early" > "$work/early.out" 2> /dev/null
early_cache=$(tail -n 1 "$work/early.out")
"$probe" save-messages "$early_cache" "$work/early-store" > /dev/null 2>&1
shared_rel=file-relay/var/mobile/Library/SMS/Attachments/shared
lay_out_earlier() { # the folder of attachments "shared": each file renamed as the earlier rule named it
    (cd "$1" && mv c:d.JPG cd.JPG && mv a:b.JPG ab.JPG && rm 'a?b.JPG')
}
alone=$(cat "$work/early-store/$shared_rel"/c:d.JPG | md5sum | cut -c 1-32)
lay_out_earlier "$work/early-store/$shared_rel"
lay_out_earlier "$early_cache/$shared_rel"
"$probe" extract-attachments "$work/early-store" "$work/early-out" > /dev/null 2>&1
"$probe" extract-attachments "$early_cache" "$work/early-cache-out" > /dev/null 2>&1
[ "$(cat "$work/early-out"/* 2> /dev/null | md5sum | cut -c 1-32)" = "$alone" ] \
    && [ "$(ls "$work/early-out" | wc -l)" = 1 ] && [ "$(ls "$work/early-cache-out" | wc -l)" = 0 ]
check "extract-attachments reads the earlier file alone in a local store, and nothing in a cache" $?
"$probe" save-messages "$work/early-store" "$work/early-again" > /dev/null 2>&1
[ "$(cat "$work/early-again/$shared_rel"/c:d.JPG 2> /dev/null | md5sum | cut -c 1-32)" = "$alone" ] \
    && [ "$(ls "$work/early-again/$shared_rel" | wc -l)" = 1 ]
check "save-messages writes the earlier file under its name now, and neither of the two" $?

# Saved again from the backup, a store whose file at ab.JPG holds what an earlier version saved of
# a?b.JPG (its rule left the "?" out): that file goes to a?b.JPG's own name, and ab.JPG gets its own.
rm -rf "$work/again"*
/usr/bin/python3 "$tools/gen/make_backup.py" --demo --attachment-name "1=shared/ab.JPG" \
    --attachment-name "2=shared/a?b.JPG" "$work/again" > /dev/null
HOME="$work/home" "$probe" cache-messages "$work/again" > "$work/again.out" 2> /dev/null
again_cache=$(tail -n 1 "$work/again.out")
"$probe" save-messages "$again_cache" "$work/again-store" > /dev/null 2>&1
md5_of() { cat "$@" 2> /dev/null | md5sum | cut -c 1-32; }
own=$(md5_of "$again_cache/$shared_rel/ab.JPG") && other=$(md5_of "$again_cache/$shared_rel/a?b.JPG")
(cd "$work/again-store/$shared_rel" && mv 'a?b.JPG' ab.JPG)
"$probe" save-messages "$again_cache" "$work/again-store" > /dev/null 2>&1
[ "$own" != "$other" ] && [ "$(md5_of "$work/again-store/$shared_rel/ab.JPG")" = "$own" ] \
    && [ "$(md5_of "$work/again-store/$shared_rel/a?b.JPG")" = "$other" ]
check "save-messages again moves another's earlier file at a copy's name to that one's own name" $?

# The encrypted backup loaded into a home others may enter (755, as useradd makes it), also over a data
# folder an earlier version left open: another user reads nothing the load wrote, nor lists it.
[ "$(id -u)" -eq 0 ] || echo "SKIP: only root can read as another user; what others may read is not checked"
for data in new left-open; do
    [ "$(id -u)" -eq 0 ] || break
    other=(setpriv --reuid=65534 --regid=65534 --clear-groups) && home=$(mktemp -d) && chmod 755 "$home"
    [ $data = new ] || (umask 022 && mkdir -p "$home/Library/Application Support/QuillMarrow/7C2E41A9D05B38F6E19A4C7D2B60F853/itunes_cache")
    (umask 022 && HOME="$home" "$probe" cache-messages "$work/cut" <<< pw > "$work/open-home.out" 2> /dev/null) \
        && db="$(tail -n 1 "$work/open-home.out")/file-relay/var/mobile/Library/SMS/sms.db" && [ -f "$db" ] \
        && ! "${other[@]}" sqlite3 "$db" "select count(*) from message" > /dev/null 2>&1 \
        && [ -z "$("${other[@]}" find "$home" \( -type f -readable -o -path "*/QuillMarrow/*" \) 2> /dev/null)" ]
    check "another user reads nothing a load wrote into a home open to others ($data data folder)" $?
    rm -rf "$home"
done

# A message picture whose every read fails (a disk's read error), in a plain and an encrypted backup,
# or whose key in its record does not unwrap: the load names it and its record with the reason and
# copies the rest; the roads that read the cache name it as not written.
for kind in plain encrypted key-bit; do
    pw=(); [ $kind != plain ] && pw=(--password pw --iter 5 --dpic 5)
    damage=unreadable why="Cannot read .* Input/output error"
    [ $kind = key-bit ] && damage=key-bit why="Cannot decrypt .* The file key in its record fails its check"
    bk="$work/eio-$kind"
    /usr/bin/python3 "$tools/gen/make_backup.py" --demo "${pw[@]}" --stored-damage "$picture=$damage" "$bk" > /dev/null
    HOME="$work/home" "$probe" cache-messages "$bk" <<< pw > "$work/eio.out" 2> "$work/eio.err"
    [ $? -ne 0 ] && grep -q "^$why" "$work/eio.err" \
        && grep -qx "Record: MediaDomain $picture" "$work/eio.err"
    check "the load names the unreadable picture and its record ($kind)" $?
    cache=$(tail -n 1 "$work/eio.out")
    [ -f "$cache/file-relay/var/mobile/Library/SMS/sms.db" ] && [ ! -e "$cache/file-relay/var/mobile/$picture" ] \
        && [ "$(find "$cache" -name '*.JPG' | wc -l)" = 2 ]
    check "the load copies the rest, and nothing for the unreadable picture ($kind)" $?
    "$probe" extract-attachments "$cache" "$work/eio-out-$kind" > /dev/null 2> "$work/eio-extract.err"
    [ $? -ne 0 ] && grep -q "^IMG_4101.JPG (not written): $why" "$work/eio-extract.err" \
        && [ "$(ls "$work/eio-out-$kind" | wc -l)" = 2 ]
    check "extract-attachments names the unreadable picture and extracts the others ($kind)" $?
    "$probe" export-messages --format txt "$cache" "$work/eio-$kind.txt" > /dev/null 2> "$work/eio-export.err"
    [ $? -ne 0 ] && grep -q "^IMG_4101.JPG: $why" "$work/eio-export.err" \
        && [ "$(tail -n 1 "$work/eio-export.err")" = "16 Messages were exported." ]
    check "export-messages names the unreadable picture ($kind)" $?
done

# On a folder that cannot be locked (every flock fails, as on a network mount without locks), writes
# still go one at a time: three restores started together, with info run over and over beside them,
# all succeed, none settles another's write under way as a stopped one, and the messages are whole.
no_flock "$work"; check "a library that makes every lock fail is built" $?
nolock() { LD_PRELOAD="$no_flock" ASAN_OPTIONS=verify_asan_link_order=0 HOME="$work/home" timeout "${limit:-120}" "$probe" "$@"; }
for kind in plain encrypted; do
    bk="$work/nolock-$kind"
    if [ $kind = plain ]; then
        /usr/bin/python3 "$tools/gen/make_backup.py" --demo --sms-db "$work/big.db" "$bk" > /dev/null
        pw=()
    else
        /usr/bin/python3 "$tools/gen/make_backup.py" --password pw --iter 5 --dpic 5 --sms-db "$work/big.db" "$bk" > /dev/null
        pw=(--password pw)
    fi
    echo pw | nolock info "$bk" > "$work/nolock-before.json" 2> /dev/null
    restores=()
    for i in 1 2 3; do
        nolock restore-messages "$work/cache" "$bk" "${pw[@]}" > "$work/nolock-$i.json" 2> "$work/nolock-$i.err" &
        restores+=($!)
    done
    (while for pid in "${restores[@]}"; do kill -0 "$pid" 2> /dev/null && break; done; do
        echo pw | nolock info "$bk" > /dev/null 2>> "$work/nolock-info.err"; echo ran
    done > "$work/nolock-infos") &
    infos=$!
    rcs=""
    for pid in "${restores[@]}"; do wait "$pid"; rcs="$rcs$?"; done
    wait $infos
    [ "$rcs" = 000 ]; check "three restores at once into a $kind backup that cannot be locked all succeed" $?
    [ -s "$work/nolock-infos" ] && ! grep -l "stopped before it ended" "$work"/nolock-*.err
    check "no info or restore beside them settles a write under way ($kind)" $?
    echo pw | nolock info "$bk" > "$work/nolock-after.json" 2> /dev/null
    [ $? -eq 0 ] && [ "$(sms_count "$work/nolock-after.json")" = \
        $(($(sms_count "$work/nolock-before.json") + $(count messages "$work/nolock-1.json"))) ]
    check "the $kind backup reads every message afterwards" $?
    [ -z "$(find "$bk" -name '*.qmtmp' -o -name '*.qmold' -o -name 'Manifest.qmwrite*')" ]
    check "nothing of the writes is left, the lock file included ($kind)" $?
    rm -f "$work"/nolock-*.err
done
# A lock file left by a process of this host that has ended is taken over, and says so; one of
# another computer is never broken: the restore fails naming the computer and the file.
bk="$work/nolock-plain"
lock="$bk/Manifest.qmwrite.lock"
machine=$(cat /etc/machine-id 2> /dev/null || cat /var/lib/dbus/machine-id 2> /dev/null)
ended=$(sh -c 'echo $$')
printf 'qmlock 1\nhost %s\nmachine %s\nboot %s\npid %s\nstarted 1\n' "$(uname -n)" "${machine:--}" \
    "$(cat /proc/sys/kernel/random/boot_id)" "$ended" > "$lock"
nolock restore-messages "$work/cache" "$bk" > /dev/null 2> "$work/nolock-ended.err"
[ $? -eq 0 ] && [ ! -e "$lock" ] \
    && grep -qxF "Took over the lock file $lock left by process $ended on $(uname -n), which has ended." \
        "$work/nolock-ended.err"
check "a restore takes over the lock file of a process that has ended, and says so" $?
printf 'qmlock 1\nhost elsewhere.example\nmachine 0000\nboot -\npid 4242\nstarted 1\n' > "$lock"
digest=$(find "$bk" -type f -exec sha1sum {} + | sort)
nolock restore-messages "$work/cache" "$bk" > /dev/null 2> "$work/nolock-other.err"
[ $? -ne 0 ] && [ "$(find "$bk" -type f -exec sha1sum {} + | sort)" = "$digest" ] \
    && grep -qF "The backup $bk is being written from the computer elsewhere.example (process 4242), as $lock says. If nothing there writes into it any more, remove $lock and try again." "$work/nolock-other.err"
check "a restore never breaks another computer's lock file, and names it" $?
# One of another process space of this computer (a container, a sandbox) is not another computer's.
boot=$(cat /proc/sys/kernel/random/boot_id)
printf 'qmlock 1\nhost %s\nmachine %s\nboot %s\nspace pid:[1]\npid 4242\nstarted 1\n' "$(uname -n)" \
    "${machine:--}" "$boot" > "$lock"
digest=$(find "$bk" -type f -exec sha1sum {} + | sort)
nolock restore-messages "$work/cache" "$bk" > /dev/null 2> "$work/nolock-space.err"
[ $? -ne 0 ] && [ "$(find "$bk" -type f -exec sha1sum {} + | sort)" = "$digest" ] \
    && grep -qF "The backup $bk is being written from another process space on this computer (a container or sandbox), by its process 4242, as $lock says. If nothing there writes into it any more, remove $lock and try again." "$work/nolock-space.err"
check "a restore never breaks the lock file of another process space of this computer, and says so" $?
# A live holder is waited for, named with the file once on standard error, until it ends; a file
# that gives no start time cannot show that the process it names made it, and is taken over after a
# while, as one that names nobody.
sleep 60 &
holder=$!
printf 'qmlock 1\nhost %s\nmachine %s\nboot %s\npid %s\nstarted %s\n' "$(uname -n)" "${machine:--}" "$boot" \
    "$holder" "$(awk '{print $22}' /proc/$holder/stat)" > "$lock"
nolock restore-messages "$work/cache" "$bk" > /dev/null 2> "$work/nolock-live.err" &
restore=$!
sleep 2
kill $holder; wait $holder 2> /dev/null
wait $restore
[ $? -eq 0 ] && [ ! -e "$lock" ] && [ "$(grep -cxF "Waiting for process $holder on this computer ($(uname -n)) to finish writing into the backup $bk (as $lock says)..." "$work/nolock-live.err")" = 1 ]
check "a restore waits for a live holder of the lock file, naming the process and the file once" $?
printf 'qmlock 1\nhost %s\nmachine %s\nboot %s\npid 1\nstarted -\n' "$(uname -n)" "${machine:--}" "$boot" > "$lock"
limit=30 nolock restore-messages "$work/cache" "$bk" > /dev/null 2> "$work/nolock-unproven.err"
[ $? -eq 0 ] && [ ! -e "$lock" ] \
    && grep -qxF "Took over the lock file $lock left by process 1 on $(uname -n), which it cannot show to be its maker: it gives no start time and did not change for 3 seconds." \
        "$work/nolock-unproven.err"
check "a restore takes over a lock file that gives no start time for the process it names, and says so" $?

echo "probe message checks done: $failures failed"
exit $((failures > 0))

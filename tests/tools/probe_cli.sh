#!/usr/bin/env bash
# Drives the developer probe as a user would: a generated encrypted backup is described, unlocked
# (right and wrong password), a file is extracted and compared, and bad input fails with a message.
set -u
probe=$1
generator=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() { # description, then the command's success as $?
    if [ "$2" -ne 0 ]; then echo "FAIL: $1"; failures=$((failures + 1)); else echo "PASS: $1"; fi
}

/usr/bin/python3 "$generator" --layout mbdb --password 1234 --iter 10 --dpic 10 --udid 00008030-0011223344556677 \
    --device-name "Probe Phone" "$work/bk" > "$work/summary.json"
check "generator makes an encrypted backup" $?

echo 1234 | "$probe" info "$work/bk" > "$work/info.json"
check "info succeeds" $?
grep -q '"encrypted": true' "$work/info.json"; check "info reports encryption" $?
grep -q '"DeviceName": "Probe Phone"' "$work/info.json"; check "info reports the device name" $?

out=$(echo 1234 | "$probe" unlock "$work/bk"); rc=$?
[ $rc -eq 0 ] && [[ "$out" == ok* ]]; check "unlock with the right password prints ok" $?
out=$(echo 9999 | "$probe" unlock "$work/bk"); rc=$?
[ $rc -ne 0 ] && [[ "$out" == "wrong password"* ]]; check "unlock with a wrong password says so and fails" $?

echo 1234 | "$probe" extract "$work/bk" HomeDomain Library/SMS/sms.db "$work/sms.db"
check "extract writes the decrypted file" $?
[ "$(head -c 15 "$work/sms.db")" = "SQLite format 3" ]; check "extracted file is a readable database" $?
before=$(sha256sum "$work/bk/Manifest.plist")
echo 1234 | "$probe" extract "$work/bk" HomeDomain Library/SMS/sms.db "$work/bk/Manifest.plist" > /dev/null 2>&1
[ $? -ne 0 ] && [ "$(sha256sum "$work/bk/Manifest.plist")" = "$before" ]
check "extract refuses to overwrite an existing file, even one of the backup" $?

echo 1234 | "$probe" tree "$work/bk" > "$work/tree.txt"
check "tree succeeds" $?
grep -q '^files [1-9]' "$work/tree.txt"; check "tree counts files" $?

# Camera files: the page's lists and their extraction, against a plain twin of the same pictures.
/usr/bin/python3 "$generator" --layout mbdb "$work/twin" > /dev/null
check "generator makes the plain twin" $?
out=$("$probe" photos --password 1234 "$work/bk"); rc=$?
[ $rc -eq 0 ] && [[ "$out" == *'"total":3'* ]] && [ "$(grep -o '"name"' <<< "$out" | wc -l)" -eq 3 ]
check "photos lists the three generated pictures" $?
out=$(echo 1234 | "$probe" videos "$work/bk"); rc=$?
[ $rc -eq 0 ] && [[ "$out" == *'"total":2'* ]] && [[ "$out" == *'IMG_5002.MP4'* ]]
check "videos lists the two generated movies" $?
out=$("$probe" export-media --kind photos "$work/bk" "$work/photos" --password 1234); rc=$?
[ $rc -eq 0 ] && [[ "$out" == *'"extracted":3'* ]] && [ "$(ls "$work/photos" | wc -l)" -eq 3 ]
check "export-media writes the three photos" $?
same=0
for f in "$work"/photos/*; do
    name=$(basename "$f")
    hash=$(printf '%s' "CameraRollDomain-Media/DCIM/100APPLE/$name" | sha1sum | cut -c1-40)
    cmp -s "$f" "$work/twin/$hash" && same=$((same + 1))
done
[ $same -eq 3 ]; check "extracted photos are the decrypted pictures, byte for byte" $?
"$probe" export-media --kind photos "$work/bk" "$work/p2" --password 9999 > /dev/null 2> "$work/err.txt"; rc=$?
[ $rc -ne 0 ] && grep -q "wrong password" "$work/err.txt" && [ ! -e "$work/p2" ]
check "export-media with a wrong password writes nothing" $?
"$probe" export-media --kind pictures "$work/bk" "$work/p3" > /dev/null 2>&1; [ $? -ne 0 ]
check "export-media refuses an unknown kind" $?

# What a backup lists but does not store is counted, not silently dropped: the last voicemail has
# no audio record at all, and one photo's stored copy is gone from the backup folder.
/usr/bin/python3 "$generator" --voicemails 3 --missing-audio 1 --photos 0 --videos 0 "$work/vm" > /dev/null
out=$("$probe" export-media --kind voicemail "$work/vm" "$work/vm-out"); rc=$?
[ $rc -eq 0 ] && [[ "$out" == *'"extracted":2'* ]] && [[ "$out" == *'"missing":1'* ]]
check "export-media counts the voicemail whose audio the backup lacks" $?
rm "$work/twin/$(printf '%s' "CameraRollDomain-Media/DCIM/100APPLE/IMG_0002.JPG" | sha1sum | cut -c1-40)"
out=$("$probe" extract-tree --domain CameraRollDomain "$work/twin" "$work/tree-out"); rc=$?
[ $rc -eq 0 ] && [[ "$out" == *'"extracted":4'* ]] && [[ "$out" == *'"missing":1'* ]]
check "extract-tree counts the file whose stored copy is gone" $?
out=$("$probe" export-media --kind photos "$work/twin" "$work/photos-out"); rc=$?
[ $rc -eq 0 ] && [[ "$out" == *'"extracted":2'* ]] && [[ "$out" == *'"missing":1'* ]]
check "export-media counts the photo whose stored copy is gone" $?

# Reading never writes beside what it reads: each reading command on a database in WAL mode (a
# device's usual mode) leaves its folder as it was.
gen=$(dirname "$generator")
mkdir -p "$work/wal/ab" "$work/wal/calls" "$work/wal/cal" "$work/wal/notes" "$work/wal/bm" "$work/wal/vm"
/usr/bin/python3 "$gen/make_addressbook.py" --demo "$work/wal/ab" > /dev/null
/usr/bin/python3 "$gen/make_call_history.py" "$work/wal/calls/CallHistory.storedata"
/usr/bin/python3 "$gen/make_calendar_db.py" "$work/wal/cal/Calendar.sqlitedb"
/usr/bin/python3 "$gen/make_notes_db.py" "$work/wal/notes/notes.sqlite"
/usr/bin/python3 "$gen/make_bookmarks_db.py" "$work/wal/bm/Bookmarks.db"
/usr/bin/python3 "$gen/make_media_db.py" voicemail "$work/wal/vm/voicemail.db"
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

mkdir "$work/empty"
"$probe" info "$work/empty" > /dev/null 2> "$work/err.txt"; rc=$?
[ $rc -ne 0 ] && grep -q "not a device backup" "$work/err.txt"; check "a folder that is not a backup is refused clearly" $?
"$probe" no-such-command > /dev/null 2>&1; [ $? -ne 0 ]; check "an unknown command fails" $?

# Each backup's calls merged into the other, both at once: neither waits for the other for ever
# (each holds its source only while it reads it).
/usr/bin/python3 "$generator" --demo "$work/cross-x" > /dev/null
/usr/bin/python3 "$generator" --demo "$work/cross-y" > /dev/null
# Another program writes into both for a while, so that both commands start reading together.
/usr/bin/python3 -c 'import fcntl, os, sys, time
fds = [os.open(folder, os.O_RDONLY) for folder in sys.argv[1:]]
for fd in fds:
    fcntl.flock(fd, fcntl.LOCK_EX)
print("held", flush=True)
time.sleep(3)' "$work/cross-x" "$work/cross-y" > "$work/held-both" &
for _ in $(seq 100); do grep -q held "$work/held-both" && break; sleep 0.05; done
timeout 60 "$probe" merge-calls "$work/cross-x" "$work/cross-y" > /dev/null 2>&1 &
xy=$!
timeout 60 "$probe" merge-calls "$work/cross-y" "$work/cross-x" > /dev/null 2>&1
yx=$?
wait $xy
[ $? -eq 0 ] && [ $yx -eq 0 ]; check "two crossed call merges both finish" $?

echo "probe checks done: $failures failed"
exit $((failures > 0))

# Sourced by probe_messages_cli.sh: messages saved twice into a local store, attachments extracted, deleted
# messages recovered and messages restored into an encrypted backup.

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

files=$(grep -o '"attachment_files": [0-9]*' "$work/cache/expected.json" | grep -o '[0-9]*$')
"$probe" extract-attachments "$work/cache" "$work/out" > /dev/null 2>&1
check "extract-attachments succeeds" $?
[ "$(ls "$work/out" | wc -l)" = "$files" ]; check "every attachment file is extracted" $?
"$probe" save-messages "$work/nothing-here" "$work/store2" > /dev/null 2>&1
[ $? -ne 0 ]; check "a missing source fails" $?

# Deleted messages of a generated database are recovered; the database is left as it was.
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

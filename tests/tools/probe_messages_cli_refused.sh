# Sourced by probe_messages_cli.sh: restores refused for what a backup holds, counts of damaged message
# databases, and restores and loads beside other writes.

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

# A load of a backup another program is writing into waits for the write, and says so once. The
# write ends once the load says it waits, however long the load takes to come to it.
hold_folders 60 "$work/cross-x"
writer=$held_pid
timeout 60 "$probe" messages "$work/cross-x" > /dev/null 2> "$work/waited.err" &
load=$!
for _ in $(seq 600); do
    grep -q Waiting "$work/waited.err" || ! kill -0 $load 2> /dev/null && break
    sleep 0.1
done
kill $writer
wait $writer 2> /dev/null
wait $load
waited=$?
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

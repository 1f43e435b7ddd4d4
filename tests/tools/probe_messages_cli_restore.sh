# Sourced by probe_messages_cli.sh: restores beside loads, into the demo backup, and past planted
# names or a write that cannot be settled.

big_db
# A restore into a backup with a large message database while two loads of it run, as from other
# windows: the restore lands whole, each load reads the messages from before it or after it, and
# nothing of the write is left in the backup.
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

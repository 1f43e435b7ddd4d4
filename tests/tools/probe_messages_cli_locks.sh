# Sourced by probe_messages_cli.sh: restores at once into a backup that cannot be locked.

big_db
# On a folder that cannot be locked (every flock fails, as on a network mount without locks), writes
# still go one at a time: three restores started together, with info run over and over beside them,
# all succeed, none settles another's write under way as a stopped one, and the messages are whole.
no_flock "$work"; check "a library that makes every lock fail is built" $?
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
    # Each waits for the others' writes: no time of its own bounds it, only that one of them works.
    restores=()
    for i in 1 2 3; do
        limit=0 nolock restore-messages "$work/cache" "$bk" "${pw[@]}" > "$work/nolock-$i.json" 2> "$work/nolock-$i.err" &
        restores+=($!)
    done
    (while for pid in "${restores[@]}"; do kill -0 "$pid" 2> /dev/null && break; done; do
        echo pw | nolock info "$bk" > /dev/null 2>> "$work/nolock-info.err"; echo ran
    done > "$work/nolock-infos") &
    infos=$!
    wait_working "${restores[@]}"
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

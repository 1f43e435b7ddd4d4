# Sourced by probe_messages_cli.sh: lock files left in a backup that cannot be locked, by a process
# that ended, another computer, another process space or a live process.

no_flock "$work"; check "a library that makes every lock fail is built" $?
/usr/bin/python3 "$tools/gen/make_backup.py" --demo "$work/lockfiles" > /dev/null
# A lock file left by a process of this host that has ended is taken over, and says so; one of
# another computer is never broken: the restore fails naming the computer and the file.
bk="$work/lockfiles"
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

# Sourced by the probe scripts. wait_working PID...: waits for the processes for as long as they
# work, however slow the machine: once they and all they started have used less than a second of
# the processor in a minute, they are taken to wait on one another for ever, and each is named with
# its state and ended. Fails then; succeeds once they have all ended.
cpu_ticks() { # the processor ticks used by the processes given and all they started
    cat /proc/[0-9]*/stat 2> /dev/null | sed 's/^\([0-9]*\) (.*) /\1 /' | awk -v roots=" $* " '
        { parent[$1] = $3; ticks[$1] = $13 + $14 + $15 + $16 }
        END {
            for (p in parent)
                for (q = p; q != "" && q > 1; q = parent[q])
                    if (index(roots, " " q " ")) { sum += ticks[p]; break }
            print sum + 0
        }'
}
descendants() { # the processes the given ones started, and theirs
    cat /proc/[0-9]*/stat 2> /dev/null | sed 's/^\([0-9]*\) (.*) /\1 /' | awk -v roots=" $* " '
        { parent[$1] = $3 }
        END {
            for (p in parent)
                for (q = parent[p]; q != "" && q > 1; q = parent[q])
                    if (index(roots, " " q " ")) { print p; break }
        }'
}
wait_working() {
    local mark since used pid alive
    mark=$(cpu_ticks "$@")
    since=$SECONDS
    while :; do
        alive=()
        for pid in "$@"; do kill -0 "$pid" 2> /dev/null && alive+=("$pid"); done
        [ ${#alive[@]} -eq 0 ] && return 0
        sleep 2
        used=$(cpu_ticks "$@")
        if [ $((used - mark)) -ge 100 ]; then
            mark=$used
            since=$SECONDS
        elif [ $((SECONDS - since)) -ge 60 ]; then
            echo "These wait and have not worked for a minute: ended."
            ps -o pid,stat,etime,args -p "$(echo "${alive[@]}" $(descendants "${alive[@]}") | tr ' ' ',')"
            for pid in $(descendants "${alive[@]}") "${alive[@]}"; do kill "$pid" 2> /dev/null; done
            return 1
        fi
    done
}

#!/usr/bin/env bash
# A message restore into a big backup, whole processes: `qm-probe restore-messages` merging the 16
# messages of a generated sms.db into a plain backup of 372,000 records (a Manifest.db of about
# 320 MB), this build's probe against another build's (BASE, such as one from before a change),
# alternating. Each run restores into a fresh copy of the backup made outside the timing: hard links
# to the generated files, as a restore puts new files in place by rename and never writes into the
# old ones. Prints the median wall and CPU seconds and the peak memory of each side (/usr/bin/time
# -v), and the median of the runs' ratios. With --sms-db the backup holds that message database (such
# as a grown device's one) in place of the generated one.
#
#   bench/bench_restore_messages.sh PROBE [BASE_PROBE] [--rounds N] [--records N] [--sms-db FILE]
#                                   [--work DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
rounds=7
records=372000
work=""
sms=()
probes=()
while [ $# -gt 0 ]; do
    case "$1" in
        --rounds) rounds=$2; shift 2 ;;
        --records) records=$2; shift 2 ;;
        --work) work=$2; shift 2 ;;
        --sms-db) sms=(--sms-db "$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"); shift 2 ;;
        *) probes+=("$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"); shift ;;
    esac
done
if [ ${#probes[@]} -lt 1 ] || [ ${#probes[@]} -gt 2 ]; then
    sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
fi
if [ -z "$work" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
if [ ! -f "$work/backup/Manifest.db" ]; then
    echo "generating a backup of $records records..."
    python3 "$here/tools/gen/make_backup.py" --records "$records" --no-filler-files "${sms[@]}" "$work/backup" \
        > /dev/null
    python3 "$here/tools/gen/make_sms_db.py" ios6 "$work/source" > /dev/null
fi
before=$(sha1sum "$work/backup/Manifest.db")

# One restore by probe $1 as side $2, timed alone; appends "wall cpu peak_kb" to $work/times-$2.
run() {
    local side=$2 into="$work/run-$2"
    rm -rf "$into" && cp -al "$work/backup" "$into"
    mkdir -p "$work/home-$side"
    if ! HOME="$work/home-$side" /usr/bin/time -v -o "$work/time-$side" \
        "$1" restore-messages "$work/source" "$into" > /dev/null 2> "$work/err-$side"; then
        echo "side $side failed:" >&2
        cat "$work/err-$side" >&2
        exit 1
    fi
    awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); wall = t[n] + (n > 1 ? t[n-1] * 60 : 0) }
        /User time/ { cpu += $2 } /System time/ { cpu += $2 } /Maximum resident/ { peak = $2 }
        END { printf "%.3f %.3f %d\n", wall, cpu, peak }' "$work/time-$side" >> "$work/times-$side"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

rm -f "$work"/times-*
echo "warm-up..."
run "${probes[0]}" A
[ ${#probes[@]} -eq 2 ] && run "${probes[1]}" B
rm -f "$work"/times-*
for ((i = 0; i < rounds; i++)); do
    run "${probes[0]}" A
    [ ${#probes[@]} -eq 2 ] && run "${probes[1]}" B
done
[ "$(sha1sum "$work/backup/Manifest.db")" = "$before" ] || { echo "the generated backup changed" >&2; exit 1; }

report() {
    printf '%s: median wall %s s, cpu %s s, peak %s MiB (%d runs)\n' "$1" \
        "$(cut -d' ' -f1 "$work/times-$1" | median)" "$(cut -d' ' -f2 "$work/times-$1" | median)" \
        "$(cut -d' ' -f3 "$work/times-$1" | median | awk '{ printf "%.1f", $1 / 1024 }')" \
        "$(wc -l < "$work/times-$1")"
}
echo "PROBE ${probes[0]}"
report A
if [ ${#probes[@]} -eq 2 ]; then
    echo "BASE  ${probes[1]}"
    report B
    for column in 1 2; do
        paste -d' ' <(cut -d' ' -f$column "$work/times-A") <(cut -d' ' -f$column "$work/times-B") \
            | awk '{ print $1 / $2 }' | median \
            | awk -v what="$([ $column = 1 ] && echo wall || echo cpu)" '{ printf "A/B %s (median of the runs'"'"' ratios): %.3f\n", what, $1 }'
    done
fi

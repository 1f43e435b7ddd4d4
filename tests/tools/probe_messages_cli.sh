#!/usr/bin/env bash
# Drives the probe's message commands as a user would: messages of a generated backup (holding the
# real iOS 13 sms.db when the shared fixtures are there) saved twice into a local store, and the
# attachments of a generated cache folder extracted. The checks come in parts, each in
# probe_messages_cli_<part>.sh: all of them run, or only the part named.
set -u
probe=$1
tools=$2
shared=${3:-}
parts=("${4:-store}")
[ $# -lt 4 ] && parts=(store restore refused pictures unreadable names locks lockfiles)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
. "$(dirname "$0")/hold_folders.sh"
. "$(dirname "$0")/no_flock.sh"
. "$(dirname "$0")/wait_working.sh"
check() { # description, then the command's success as $?
    if [ "$2" -ne 0 ]; then echo "FAIL: $1"; failures=$((failures + 1)); else echo "PASS: $1"; fi
}
count() { grep -o "\"$1\": [0-9]*" "$2" | grep -o '[0-9]*$'; }
sms_count() { /usr/bin/python3 -c "import json,sys; print(json.load(open(sys.argv[1]))['counts']['sms'])" "$1"; }
# The demo's message picture that the parts damage.
picture="Library/SMS/Attachments/25/01/DEMO-ATTACHMENT-0001/IMG_4101.JPG"
# The probe where every flock fails, once no_flock has built its library.
nolock() { LD_PRELOAD="$no_flock" ASAN_OPTIONS=verify_asan_link_order=0 HOME="$work/home" timeout "${limit:-120}" "$probe" "$@"; }
# A message database of 20,000 messages, made once for the parts that need one.
big_db() {
    [ -f "$work/big.db" ] || /usr/bin/python3 "$tools/gen/grow_sms_db.py" \
        "$work/deleted/file-relay/var/mobile/Library/SMS/sms.db" "$work/big.db" --messages 20000 > /dev/null
}

# A cache folder of generated messages and attachments, and a database with deleted messages.
/usr/bin/python3 "$tools/gen/make_sms_db.py" ios6 "$work/cache" > /dev/null
/usr/bin/python3 "$tools/gen/make_deleted_sms.py" "$work/deleted" --messages 60 > /dev/null

for part in "${parts[@]}"; do
    [ -f "$(dirname "$0")/probe_messages_cli_$part.sh" ] || { echo "FAIL: no part $part"; exit 1; }
    . "$(dirname "$0")/probe_messages_cli_$part.sh"
done

echo "probe message checks done: $failures failed"
exit $((failures > 0))

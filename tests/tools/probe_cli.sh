#!/usr/bin/env bash
# Drives the developer probe as a user would: a generated encrypted backup is described, unlocked
# (right and wrong password), a file is extracted and compared, and bad input fails with a message.
# The checks come in parts, each in probe_cli_<part>.sh: all of them run, or only the part named.
set -u
probe=$1
generator=$2
parts=("${3:-reading}")
[ $# -lt 3 ] && parts=(reading damaged flags folders)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
. "$(dirname "$0")/hold_folders.sh"
check() { # description, then the command's success as $?
    if [ "$2" -ne 0 ]; then echo "FAIL: $1"; failures=$((failures + 1)); else echo "PASS: $1"; fi
}
stored() { printf '%s' "$1" | sha1sum | cut -c1-40 | sed 's|^\(..\)|\1/\1|'; }
tree_count() { /usr/bin/python3 -c "import json,sys; print(json.load(open(sys.argv[1]))['counts'][sys.argv[2]])" "$@"; }

for part in "${parts[@]}"; do
    [ -f "$(dirname "$0")/probe_cli_$part.sh" ] || { echo "FAIL: no part $part"; exit 1; }
    . "$(dirname "$0")/probe_cli_$part.sh"
done

echo "probe checks done: $failures failed"
exit $((failures > 0))

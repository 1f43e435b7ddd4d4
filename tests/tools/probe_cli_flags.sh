# Sourced by probe_cli.sh: whether the stored files or Manifest.plist tell that a password is needed.

# The stored files, not Manifest.plist, tell whether the password is needed. Each row: a name, what
# is expected (password: read with it, all as from the backup's own Manifest.plist; refused: named,
# nothing written), and how the generator leaves Manifest.plist over encrypted files.
while read -r name expect options; do
    /usr/bin/python3 "$generator" --password 1234 --iter 10 --dpic 10 $options "$work/flag-$name" > /dev/null
    if [ "$expect" = refused ]; then
        echo 1234 | "$probe" extract "$work/flag-$name" HomeDomain Library/SMS/sms.db "$work/flag-$name.db" \
            > "$work/out.txt" 2> "$work/err.txt"
        [ $? -ne 0 ] && grep -q "flag-$name cannot be read: its stored files are encrypted, but the keys to them are missing" \
            "$work/err.txt" && [ ! -e "$work/flag-$name.db" ]
        check "extract refuses $name by name, writing nothing" $?
        out=$("$probe" extract-tree "$work/flag-$name" "$work/flag-$name-tree" --password 1234 2> "$work/err.txt"); rc=$?
        [ $rc -ne 0 ] && grep -q "keys to them are missing" "$work/err.txt" && [ -z "$(find "$work/flag-$name-tree" -type f 2> /dev/null)" ]
        check "extract-tree refuses $name, writing nothing" $?
        "$probe" export-media --kind photos "$work/flag-$name" "$work/flag-$name-photos" --password 1234 > /dev/null 2> "$work/err.txt"
        [ $? -ne 0 ] && grep -q "keys to them are missing" "$work/err.txt" && [ ! -e "$work/flag-$name-photos" ]
        check "export-media refuses $name, writing nothing" $?
        continue
    fi
    # The same backup with the Manifest.plist the device wrote gives what the phone holds.
    /usr/bin/python3 "$generator" --password 1234 --iter 10 --dpic 10 \
        $(sed 's/--manifest-plist [a-z-]*//' <<< "$options") "$work/flag-$name-own" > /dev/null
    echo 1234 | "$probe" info "$work/flag-$name" > "$work/flag.json" && grep -q '"encrypted": true' "$work/flag.json"
    check "info of $name says it is encrypted" $?
    out=$("$probe" extract-tree "$work/flag-$name" "$work/flag-$name-tree" --password 1234 2> /dev/null); rc=$?
    "$probe" extract-tree "$work/flag-$name-own" "$work/flag-$name-own-tree" --password 1234 > /dev/null 2>&1
    [ $rc -eq 0 ] && [[ "$out" == *'"damaged":0'* ]] && [ "$(find "$work/flag-$name-tree" -type f | wc -l)" -ge 17 ] \
        && diff -r "$work/flag-$name-tree" "$work/flag-$name-own-tree" > /dev/null
    check "extract-tree of $name writes the phone's files, decrypted" $?
    out=$("$probe" export-media --kind photos "$work/flag-$name" "$work/flag-$name-photos" --password 1234); rc=$?
    "$probe" export-media --kind photos "$work/flag-$name-own" "$work/flag-$name-own-photos" --password 1234 > /dev/null
    [ $rc -eq 0 ] && [[ "$out" == *'"extracted":3'* ]] && diff -r "$work/flag-$name-photos" "$work/flag-$name-own-photos" > /dev/null
    check "export-media of $name writes the decrypted photos" $?
done <<'ROWS'
mbdb-without-plist refused --layout mbdb --manifest-plist missing
ios10-without-plist refused --no-manifest-key --manifest-plist missing
mbdb-without-keybag refused --layout mbdb --manifest-plist no-keybag
db-without-plist refused --manifest-plist missing
db-without-keybag refused --manifest-plist no-keybag
mbdb-said-plain password --layout mbdb --manifest-plist not-encrypted
ios10-said-plain password --no-manifest-key --manifest-plist not-encrypted
half-decrypted-said-plain password --half-decrypted --manifest-plist not-encrypted
ROWS
# A decrypted copy in which the tool left sms.db encrypted, whatever its Manifest.plist says.
for plist in not-encrypted missing; do
    /usr/bin/python3 "$generator" --password 1234 --iter 10 --dpic 10 --decrypted-copy --manifest-plist $plist \
        --stored-damage Library/SMS/sms.db=still-encrypted "$work/mix-$plist" > /dev/null
    "$probe" extract "$work/mix-$plist" HomeDomain Library/SMS/sms.db "$work/mix-$plist.db" < /dev/null \
        > "$work/out.txt" 2> "$work/err.txt"
    [ $? -ne 0 ] && grep -q "is still encrypted, although the backup was decrypted by another tool" "$work/err.txt" \
        && ! grep -q wrote "$work/out.txt"
    check "extract names the file a decrypting tool left encrypted (Manifest.plist $plist)" $?
    out=$("$probe" extract-tree --domain HomeDomain "$work/mix-$plist" "$work/mix-$plist-tree" < /dev/null 2> "$work/err.txt"); rc=$?
    [ $rc -ne 0 ] && [[ "$out" == *'"damaged":1'* ]] && grep -q "Record: HomeDomain Library/SMS/sms.db" "$work/err.txt"
    check "extract-tree counts that file apart (Manifest.plist $plist)" $?
done

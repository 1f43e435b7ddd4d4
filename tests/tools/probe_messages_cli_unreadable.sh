# Sourced by probe_messages_cli.sh: a message picture whose reads fail or whose key does not unwrap.

# A message picture whose every read fails (a disk's read error), in a plain and an encrypted backup,
# or whose key in its record does not unwrap: the load names it and its record with the reason and
# copies the rest; the roads that read the cache name it as not written.
for kind in plain encrypted key-bit; do
    pw=(); [ $kind != plain ] && pw=(--password pw --iter 5 --dpic 5)
    damage=unreadable why="Cannot read .* Input/output error"
    [ $kind = key-bit ] && damage=key-bit why="Cannot decrypt .* The file key in its record fails its check"
    bk="$work/eio-$kind"
    /usr/bin/python3 "$tools/gen/make_backup.py" --demo "${pw[@]}" --stored-damage "$picture=$damage" "$bk" > /dev/null
    HOME="$work/home" "$probe" cache-messages "$bk" <<< pw > "$work/eio.out" 2> "$work/eio.err"
    [ $? -ne 0 ] && grep -q "^$why" "$work/eio.err" \
        && grep -qx "Record: MediaDomain $picture" "$work/eio.err"
    check "the load names the unreadable picture and its record ($kind)" $?
    cache=$(tail -n 1 "$work/eio.out")
    [ -f "$cache/file-relay/var/mobile/Library/SMS/sms.db" ] && [ ! -e "$cache/file-relay/var/mobile/$picture" ] \
        && [ "$(find "$cache" -name '*.JPG' | wc -l)" = 2 ]
    check "the load copies the rest, and nothing for the unreadable picture ($kind)" $?
    "$probe" extract-attachments "$cache" "$work/eio-out-$kind" > /dev/null 2> "$work/eio-extract.err"
    [ $? -ne 0 ] && grep -q "^IMG_4101.JPG (not written): $why" "$work/eio-extract.err" \
        && [ "$(ls "$work/eio-out-$kind" | wc -l)" = 2 ]
    check "extract-attachments names the unreadable picture and extracts the others ($kind)" $?
    "$probe" export-messages --format txt "$cache" "$work/eio-$kind.txt" > /dev/null 2> "$work/eio-export.err"
    [ $? -ne 0 ] && grep -q "^IMG_4101.JPG: $why" "$work/eio-export.err" \
        && [ "$(tail -n 1 "$work/eio-export.err")" = "16 Messages were exported." ]
    check "export-messages names the unreadable picture ($kind)" $?
done

# A cache whose record of damaged copies cannot be read (a disk's read error on it): no copy there is
# taken as whole, and the reading names the record.
cp -a "$cache" "$work/unrecorded"
head -c 4096 /dev/zero | tr '\0' x > "$work/unrecorded/manifest.db"
"$probe" extract-attachments "$work/unrecorded" "$work/unrecorded-out" > /dev/null 2> "$work/unrecorded.err"
[ $? -ne 0 ] && grep -qF "could not be read: file is not a database ($work/unrecorded/manifest.db)" \
    "$work/unrecorded.err" && grep -qx "3 of the attachments are not what the phone wrote:" "$work/unrecorded.err" \
    && grep -q "/IMG_4102.JPG: not known to be whole" "$work/unrecorded.err"
check "extract-attachments takes no copy as whole when the record of copies cannot be read" $?

# Sourced by probe_messages_cli.sh: a message picture cut short, and what a load writes into a home
# open to others.

# An encrypted backup whose copy of a message picture was cut in half (whole blocks): the load names
# it, and the pages that read its cache count it apart and fail, also after a second load that reuses
# the copy, until the backup holds the picture whole again.
make_cut() { /usr/bin/python3 "$tools/gen/make_backup.py" --demo --password pw --iter 5 --dpic 5 "$@" "$work/cut" > /dev/null; }
make_cut --stored-damage "$picture=cut-half"
HOME="$work/home" "$probe" cache-messages "$work/cut" <<< pw > "$work/cut-load.out" 2> "$work/cut-load.err"
[ $? -ne 0 ] && grep -q "ends without its padding" "$work/cut-load.err" \
    && grep -qx "Record: MediaDomain $picture" "$work/cut-load.err"
check "the load names the picture cut short" $?
# A plain backup whose sms.db is cut short: the load names the stored copy, and says its bytes were
# not kept, as the load keeps no copy of the messages then; so does a count of the backup, whose
# copies go with it.
/usr/bin/python3 "$tools/gen/make_backup.py" --demo --stored-damage "Library/SMS/sms.db=short-1000" "$work/cutdb" > /dev/null
HOME="$work/home" "$probe" cache-messages "$work/cutdb" > "$work/cutdb.out" 2> "$work/cutdb.err"
[ $? -ne 0 ] && grep -q "^The stored copy $work/cutdb/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28 is not" "$work/cutdb.err" \
    && grep -q "bytes were not kept; its record gives" "$work/cutdb.err" && ! grep -q "written to" "$work/cutdb.err" \
    && [ ! -e "$(tail -n 1 "$work/cutdb.out")/file-relay/var/mobile/Library/SMS/sms.db" ]
check "the load names a cut sms.db and says its bytes were not kept" $?
HOME="$work/home" "$probe" info "$work/cutdb" > /dev/null 2> "$work/cutdb.err"
grep -q "^not counted: Library/SMS/sms.db: .* bytes were not kept;" "$work/cutdb.err" && ! grep -q "written to" "$work/cutdb.err"
check "a count of it says so too" $?
cache=$(tail -n 1 "$work/cut-load.out")
for round in first reused; do
    if [ $round = reused ]; then
        HOME="$work/home" "$probe" cache-messages "$work/cut" <<< pw > /dev/null 2> "$work/cut-load.err"
        [ $? -ne 0 ] && grep -qx "Record: MediaDomain $picture" "$work/cut-load.err"
        check "a second load names it again" $?
    fi
    out="$work/cut-out-$round"
    "$probe" extract-attachments "$cache" "$out" > /dev/null 2> "$work/cut-extract.err"
    [ $? -ne 0 ] && grep -qx "1 of the attachments is not what the phone wrote:" "$work/cut-extract.err" \
        && grep -q "^$out/IMG_4101.JPG: The stored copy .* ends without its padding" "$work/cut-extract.err" \
        && [ "$(tail -n 1 "$work/cut-extract.err")" = "2 other MMS attachments were extracted to $out." ] \
        && [ "$(ls "$out" | wc -l)" = 3 ]
    check "extract-attachments counts the cut picture apart and fails ($round)" $?
    html="$work/cut-html-$round"
    "$probe" export-messages --format html "$cache" "$html" > /dev/null 2> "$work/cut-export.err"
    [ $? -ne 0 ] && grep -qx "1 of the attachments is not what the phone wrote:" "$work/cut-export.err" \
        && grep -q "^IMG_4101.JPG: The stored copy .* ends without its padding" "$work/cut-export.err" \
        && [ "$(tail -n 1 "$work/cut-export.err")" = "16 Messages were exported." ] \
        && [ "$(cat "$html"/*.html | grep -o 'files/empty_photo.jpg' | wc -l)" = 1 ] \
        && [ -f "$html/files/IMG_4101.JPG" ]
    check "export-messages names the cut picture, fails, and draws no thumbnail of it ($round)" $?
    store="$work/cut-store-$round"
    "$probe" save-messages "$cache" "$store" > /dev/null 2> "$work/cut-save.err"
    [ $? -ne 0 ] && grep -qx "1 of the attachments is not what the phone wrote:" "$work/cut-save.err" \
        && grep -q "^IMG_4101.JPG: The stored copy .* ends without its padding" "$work/cut-save.err" \
        && [ "$(tail -n 1 "$work/cut-save.err")" = "16 Messages were saved, with those attachments as they are." ] \
        && [ "$(sqlite3 "$store/file-relay/var/mobile/Library/SMS/sms.db" "select count(*) from message")" = 16 ] \
        && cmp -s "$cache/file-relay/var/mobile/$picture" "$store/file-relay/var/mobile/$picture"
    check "save-messages keeps the cut picture as it is, names it and fails ($round)" $?
    into="$work/cut-into-$round"
    /usr/bin/python3 "$tools/gen/make_backup.py" --sms-db "$work/deleted/file-relay/var/mobile/Library/SMS/sms.db" \
        "$into" > /dev/null
    stored=$(printf '%s' "MediaDomain-$picture" | sha1sum | cut -c 1-40)
    HOME="$work/home" "$probe" restore-messages "$cache" "$into" > /dev/null 2> "$work/cut-restore.err"
    [ $? -ne 0 ] && grep -qx "1 of the attachments is not what the phone wrote:" "$work/cut-restore.err" \
        && grep -q "^IMG_4101.JPG: The stored copy .* ends without its padding" "$work/cut-restore.err" \
        && [ "$(tail -n 1 "$work/cut-restore.err")" \
            = "16 Messages were written into the backup, with those attachments as they are." ] \
        && cmp -s "$cache/file-relay/var/mobile/$picture" "$into/${stored:0:2}/$stored"
    check "restore-messages writes the cut picture as it is, names it and fails ($round)" $?
done
make_cut
HOME="$work/home" "$probe" cache-messages "$work/cut" <<< pw > /dev/null 2>&1
check "a load of the picture whole again succeeds" $?
"$probe" extract-attachments "$cache" "$work/cut-out-whole" > /dev/null 2>&1 && [ "$(ls "$work/cut-out-whole" | wc -l)" = 3 ]
check "extract-attachments of the picture whole again succeeds" $?
"$probe" export-messages --format txt "$cache" "$work/cut.txt" > /dev/null 2>&1
check "export-messages of the picture whole again succeeds" $?
"$probe" save-messages "$cache" "$work/cut-store-whole" > /dev/null 2>&1
check "save-messages of the picture whole again succeeds" $?
/usr/bin/python3 "$tools/gen/make_backup.py" --sms-db "$work/deleted/file-relay/var/mobile/Library/SMS/sms.db" \
    "$work/cut-into-whole" > /dev/null
HOME="$work/home" "$probe" restore-messages "$cache" "$work/cut-into-whole" > /dev/null 2>&1
check "restore-messages of the picture whole again succeeds" $?

# The encrypted backup loaded into a home others may enter (755, as useradd makes it), also over a data
# folder an earlier version left open: another user reads nothing the load wrote, nor lists it.
[ "$(id -u)" -eq 0 ] || echo "SKIP: only root can read as another user; what others may read is not checked"
for data in new left-open; do
    [ "$(id -u)" -eq 0 ] || break
    other=(setpriv --reuid=65534 --regid=65534 --clear-groups) && home=$(mktemp -d) && chmod 755 "$home"
    [ $data = new ] || (umask 022 && mkdir -p "$home/Library/Application Support/QuillMarrow/7C2E41A9D05B38F6E19A4C7D2B60F853/itunes_cache")
    (umask 022 && HOME="$home" "$probe" cache-messages "$work/cut" <<< pw > "$work/open-home.out" 2> /dev/null) \
        && db="$(tail -n 1 "$work/open-home.out")/file-relay/var/mobile/Library/SMS/sms.db" && [ -f "$db" ] \
        && ! "${other[@]}" sqlite3 "$db" "select count(*) from message" > /dev/null 2>&1 \
        && [ -z "$("${other[@]}" find "$home" \( -type f -readable -o -path "*/QuillMarrow/*" \) 2> /dev/null)" ]
    check "another user reads nothing a load wrote into a home open to others ($data data folder)" $?
    rm -rf "$home"
done

#!/usr/bin/env bash
# Drives the developer probe as a user would: a generated encrypted backup is described, unlocked
# (right and wrong password), a file is extracted and compared, and bad input fails with a message.
set -u
probe=$1
generator=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
. "$(dirname "$0")/hold_folders.sh"
check() { # description, then the command's success as $?
    if [ "$2" -ne 0 ]; then echo "FAIL: $1"; failures=$((failures + 1)); else echo "PASS: $1"; fi
}

/usr/bin/python3 "$generator" --layout mbdb --password 1234 --iter 10 --dpic 10 --udid 00008030-0011223344556677 \
    --device-name "Probe Phone" "$work/bk" > "$work/summary.json"
check "generator makes an encrypted backup" $?

echo 1234 | "$probe" info "$work/bk" > "$work/info.json"
check "info succeeds" $?
grep -q '"encrypted": true' "$work/info.json"; check "info reports encryption" $?
grep -q '"DeviceName": "Probe Phone"' "$work/info.json"; check "info reports the device name" $?

out=$(echo 1234 | "$probe" unlock "$work/bk"); rc=$?
[ $rc -eq 0 ] && [[ "$out" == ok* ]]; check "unlock with the right password prints ok" $?
out=$(echo 9999 | "$probe" unlock "$work/bk"); rc=$?
[ $rc -ne 0 ] && [[ "$out" == "wrong password"* ]]; check "unlock with a wrong password says so and fails" $?

echo 1234 | "$probe" extract "$work/bk" HomeDomain Library/SMS/sms.db "$work/sms.db"
check "extract writes the decrypted file" $?
[ "$(head -c 15 "$work/sms.db")" = "SQLite format 3" ]; check "extracted file is a readable database" $?
before=$(sha256sum "$work/bk/Manifest.plist")
echo 1234 | "$probe" extract "$work/bk" HomeDomain Library/SMS/sms.db "$work/bk/Manifest.plist" > /dev/null 2>&1
[ $? -ne 0 ] && [ "$(sha256sum "$work/bk/Manifest.plist")" = "$before" ]
check "extract refuses to overwrite an existing file, even one of the backup" $?

# A tool's plain Manifest.db copied over the encrypted one: the stored files still need the password.
/usr/bin/python3 "$generator" --password 1234 --iter 10 --dpic 10 --half-decrypted "$work/half" > /dev/null
echo 1234 | "$probe" info "$work/half" > "$work/half.json" && grep -q '"encrypted": true' "$work/half.json"
check "a half-decrypted backup is read as encrypted" $?
echo 1234 | "$probe" extract "$work/half" HomeDomain Library/SMS/sms.db "$work/half-sms.db" \
    && [ "$(head -c 15 "$work/half-sms.db")" = "SQLite format 3" ]
check "its sms.db is extracted decrypted" $?
echo 1234 | "$probe" extract-tree "$work/half" "$work/half-tree" > /dev/null
dbs=$(find "$work/half-tree" -type f \( -name '*.db' -o -name '*.sqlitedb' -o -name '*.sqlite' \) | wc -l)
plain=$(find "$work/half-tree" -type f \( -name '*.db' -o -name '*.sqlitedb' -o -name '*.sqlite' \) \
    -exec sh -c '[ "$(head -c 15 "$1")" = "SQLite format 3" ]' sh {} \; -print | wc -l)
[ "$dbs" -ge 8 ] && [ "$plain" -eq "$dbs" ]; check "extract-tree writes its $dbs databases decrypted ($plain)" $?

echo 1234 | "$probe" tree "$work/bk" > "$work/tree.txt"
check "tree succeeds" $?
grep -q '^files [1-9]' "$work/tree.txt"; check "tree counts files" $?

# Camera files: the page's lists and their extraction, against a plain twin of the same pictures.
/usr/bin/python3 "$generator" --layout mbdb "$work/twin" > /dev/null
check "generator makes the plain twin" $?
out=$("$probe" photos --password 1234 "$work/bk"); rc=$?
[ $rc -eq 0 ] && [[ "$out" == *'"total":3'* ]] && [ "$(grep -o '"name"' <<< "$out" | wc -l)" -eq 3 ]
check "photos lists the three generated pictures" $?
out=$(echo 1234 | "$probe" videos "$work/bk"); rc=$?
[ $rc -eq 0 ] && [[ "$out" == *'"total":2'* ]] && [[ "$out" == *'IMG_5002.MP4'* ]]
check "videos lists the two generated movies" $?
out=$("$probe" export-media --kind photos "$work/bk" "$work/photos" --password 1234); rc=$?
[ $rc -eq 0 ] && [[ "$out" == *'"extracted":3'* ]] && [ "$(ls "$work/photos" | wc -l)" -eq 3 ]
check "export-media writes the three photos" $?
same=0
for f in "$work"/photos/*; do
    name=$(basename "$f")
    hash=$(printf '%s' "CameraRollDomain-Media/DCIM/100APPLE/$name" | sha1sum | cut -c1-40)
    cmp -s "$f" "$work/twin/$hash" && same=$((same + 1))
done
[ $same -eq 3 ]; check "extracted photos are the decrypted pictures, byte for byte" $?
"$probe" export-media --kind photos "$work/bk" "$work/p2" --password 9999 > /dev/null 2> "$work/err.txt"; rc=$?
[ $rc -ne 0 ] && grep -q "wrong password" "$work/err.txt" && [ ! -e "$work/p2" ]
check "export-media with a wrong password writes nothing" $?
"$probe" export-media --kind pictures "$work/bk" "$work/p3" > /dev/null 2>&1; [ $? -ne 0 ]
check "export-media refuses an unknown kind" $?

# What a backup lists but does not store is counted, not silently dropped: the last voicemail has
# no audio record at all, and one photo's stored copy is gone from the backup folder.
/usr/bin/python3 "$generator" --voicemails 3 --missing-audio 1 --photos 0 --videos 0 "$work/vm" > /dev/null
out=$("$probe" export-media --kind voicemail "$work/vm" "$work/vm-out"); rc=$?
[ $rc -eq 0 ] && [[ "$out" == *'"extracted":2'* ]] && [[ "$out" == *'"missing":1'* ]]
check "export-media counts the voicemail whose audio the backup lacks" $?
rm "$work/twin/$(printf '%s' "CameraRollDomain-Media/DCIM/100APPLE/IMG_0002.JPG" | sha1sum | cut -c1-40)"
out=$("$probe" extract-tree --domain CameraRollDomain "$work/twin" "$work/tree-out"); rc=$?
[ $rc -eq 0 ] && [[ "$out" == *'"extracted":4'* ]] && [[ "$out" == *'"missing":1'* ]]
check "extract-tree counts the file whose stored copy is gone" $?
out=$("$probe" export-media --kind photos "$work/twin" "$work/photos-out"); rc=$?
[ $rc -eq 0 ] && [[ "$out" == *'"extracted":2'* ]] && [[ "$out" == *'"missing":1'* ]]
check "export-media counts the photo whose stored copy is gone" $?

# A stored copy that is not what the phone wrote is never a success: sms.db and a photo cut to half
# at a block boundary (an interrupted copy), notes under a key the record does not hold. What they
# decrypt to is still written. Bookmarks that another tool decrypted in place are copied as they stand.
damage="--stored-damage Library/SMS/sms.db=cut-half --stored-damage Media/DCIM/100APPLE/IMG_0002.JPG=cut-half
        --stored-damage Library/Notes/notes.sqlite=other-key --stored-damage Library/Safari/Bookmarks.db=in-place"
/usr/bin/python3 "$generator" --password 1234 --iter 10 --dpic 10 $damage "$work/cut" > /dev/null \
    && /usr/bin/python3 "$generator" $damage "$work/cut-plain" > /dev/null
check "generator makes a backup with damaged stored copies, and its plain twin" $?
stored() { printf '%s' "$1" | sha1sum | cut -c1-40 | sed 's|^\(..\)|\1/\1|'; }
size=$(wc -c < "$work/cut-plain/$(stored HomeDomain-Library/SMS/sms.db)")
echo 1234 | "$probe" extract "$work/cut" HomeDomain Library/SMS/sms.db "$work/cut-sms.db" > "$work/out.txt" 2> "$work/err.txt"
rc=$?
[ $rc -ne 0 ] && grep -q "ends without its padding" "$work/err.txt" && grep -q "its record gives $size bytes" "$work/err.txt" \
    && ! grep -q wrote "$work/out.txt" && [ "$(head -c 15 "$work/cut-sms.db")" = "SQLite format 3" ]
check "extract of sms.db cut short fails, saying why and the record's size, and keeps what there is" $?
echo 1234 | "$probe" extract "$work/cut" HomeDomain Library/Notes/notes.sqlite "$work/notes.db" > /dev/null 2> "$work/err.txt"
[ $? -ne 0 ] && grep -q "ends without its padding" "$work/err.txt"
check "extract of a file under a key the record does not hold fails, saying why" $?
echo 1234 | "$probe" extract "$work/cut" HomeDomain Library/Safari/Bookmarks.db "$work/bm.db" > /dev/null \
    && cmp -s "$work/bm.db" "$work/cut-plain/$(stored HomeDomain-Library/Safari/Bookmarks.db)"
check "extract of a file decrypted in place copies it as it stands" $?
out=$("$probe" export-media --kind photos "$work/cut" "$work/cut-photos" --password 1234 2> "$work/err.txt"); rc=$?
[ $rc -ne 0 ] && [[ "$out" == *'"damaged":1'* ]] && [[ "$out" == *'"extracted":2'* ]] \
    && grep -q "Record: CameraRollDomain Media/DCIM/100APPLE/IMG_0002.JPG" "$work/err.txt" \
    && grep -q "ends without its padding" "$work/err.txt" && [ "$(ls "$work/cut-photos" | wc -l)" -eq 3 ]
check "export-media names the photo cut short and counts it apart" $?
out=$("$probe" extract-tree --domain HomeDomain "$work/cut" "$work/cut-tree" --password 1234 2> "$work/err.txt"); rc=$?
[ $rc -ne 0 ] && [[ "$out" == *'"damaged":2'* ]] && grep -q "Record: HomeDomain Library/SMS/sms.db" "$work/err.txt" \
    && grep -q "Record: HomeDomain Library/Notes/notes.sqlite" "$work/err.txt"
check "extract-tree names the two damaged files and counts them apart" $?
# The counts info gives are the tree's: a database whose stored copy is not what the phone wrote
# is kept and counted as the load keeps and counts it, the message database not at all: unknown
# (null), never 0.
tree_count() { /usr/bin/python3 -c "import json,sys; print(json.load(open(sys.argv[1]))['counts'][sys.argv[2]])" "$@"; }
echo 1234 | "$probe" info "$work/cut" > "$work/cut-info.json" 2> "$work/err.txt"
[ $? -eq 0 ] && [ "$(tree_count "$work/cut-info.json" sms)" = None ] \
    && [ "$(tree_count "$work/cut-info.json" notes)" = None ] \
    && grep -q "^not counted: Library/SMS/sms.db: .*ends without its padding" "$work/err.txt"
check "info counts sms.db cut short and notes under another key as unknown, not 0" $?
# Decrypted by another tool, which left sms.db as the device encrypted it: read without a password,
# that file is never a success, and its bytes are copied as they stand.
/usr/bin/python3 "$generator" --password 1234 --iter 10 --dpic 10 --decrypted-copy \
    --stored-damage Library/SMS/sms.db=still-encrypted "$work/mix" > /dev/null
"$probe" extract "$work/mix" HomeDomain Library/SMS/sms.db "$work/mix-sms.db" < /dev/null > "$work/out.txt" 2> "$work/err.txt"
rc=$?
[ $rc -ne 0 ] && grep -q "is still encrypted, although the backup was decrypted by another tool" "$work/err.txt" \
    && grep -q "its record gives $size bytes" "$work/err.txt" && ! grep -q wrote "$work/out.txt" \
    && cmp -s "$work/mix-sms.db" "$work/mix/$(stored HomeDomain-Library/SMS/sms.db)"
check "extract of a file a decrypting tool left encrypted fails, saying why, and keeps its bytes" $?
out=$("$probe" extract-tree --domain HomeDomain "$work/mix" "$work/mix-tree" < /dev/null 2> "$work/err.txt"); rc=$?
[ $rc -ne 0 ] && [[ "$out" == *'"damaged":1'* ]] && grep -q "Record: HomeDomain Library/SMS/sms.db" "$work/err.txt"
check "extract-tree counts that file apart" $?

# In a plain backup the record's size is the only witness. A stored copy left empty (an interrupted
# copy, a cloud folder's placeholder), and a picture, film, sound or message attachment shorter than
# its record, are never a success, though their bytes are written. So is a database shorter than its
# own header gives, whatever its record's size, which goes stale while the phone backs it up.
printf 'BEGIN:VCARD\nVERSION:3.0\nFN:Cut Card\nEND:VCARD\n' > "$work/card.vcf"
card=Library/SMS/Attachments/0c/12/CARD-0001/card.vcf
/usr/bin/python3 "$generator" --demo --put "MediaDomain:$card=$work/card.vcf" --size-delta Library/SMS/sms.db=0 \
    --stored-damage Library/SMS/sms.db=empty --stored-damage Library/Notes/notes.sqlite=empty \
    --stored-damage Media/DCIM/100APPLE/IMG_0002.JPG=short-1000 --stored-damage Media/DCIM/100APPLE/IMG_5001.MOV=short-half \
    --stored-damage Library/Voicemail/2.amr=short-half --stored-damage "$card=short-half" \
    --stored-damage Library/CallHistoryDB/CallHistory.storedata=short-half \
    --stored-damage Library/Safari/Bookmarks.db=empty --size-delta Library/Safari/Bookmarks.db=-99999999 "$work/short" > /dev/null
check "generator makes a plain backup with empty and cut stored copies" $?
size=$(/usr/bin/python3 -c "import json,sys; print(json.load(open(sys.argv[1]))['resized']['HomeDomain/Library/SMS/sms.db']['size'])" \
    "$work/short/generator-summary.json")
"$probe" extract "$work/short" HomeDomain Library/SMS/sms.db "$work/short-sms.db" > "$work/out.txt" 2> "$work/err.txt"
rc=$?
[ $rc -ne 0 ] && grep -q "it is empty" "$work/err.txt" && grep -q "its record gives $size bytes" "$work/err.txt" \
    && ! grep -q wrote "$work/out.txt" && [ -f "$work/short-sms.db" ] && [ ! -s "$work/short-sms.db" ]
check "extract of an empty sms.db whose record gives $size bytes fails, saying so" $?
"$probe" extract "$work/short" MediaDomain "$card" "$work/card-out.vcf" > "$work/out.txt" 2> "$work/err.txt"
rc=$?
[ $rc -ne 0 ] && grep -q "it is shorter than its record" "$work/err.txt" && ! grep -q wrote "$work/out.txt" \
    && cmp -s "$work/card-out.vcf" "$work/short/$(stored "MediaDomain-$card")"
check "extract of a message attachment cut short fails, saying so, and keeps what there is" $?
"$probe" extract "$work/short" HomeDomain Library/CallHistoryDB/CallHistory.storedata "$work/calls.db" \
    > "$work/out.txt" 2> "$work/err.txt"
[ $? -ne 0 ] && grep -q "it is shorter than the database's own header gives" "$work/err.txt" \
    && ! grep -q wrote "$work/out.txt" \
    && cmp -s "$work/calls.db" "$work/short/$(stored "HomeDomain-Library/CallHistoryDB/CallHistory.storedata")"
check "extract of a database shorter than its header fails, saying so, and keeps what there is" $?
for kind in photos videos voicemail; do
    out=$("$probe" export-media --kind $kind "$work/short" "$work/short-$kind" 2> "$work/err.txt"); rc=$?
    [ $rc -ne 0 ] && [[ "$out" == *'"damaged":1'* ]] && grep -q "it is shorter than its record" "$work/err.txt" \
        && [ "$(ls "$work/short-$kind" | wc -l)" -eq "$(grep -o '"processed":[0-9]*' <<< "$out" | grep -o '[0-9]*$')" ]
    check "export-media of $kind names the one cut short and counts it apart" $?
done
out=$("$probe" extract-tree --domain HomeDomain "$work/short" "$work/short-tree" 2> "$work/err.txt"); rc=$?
[ $rc -ne 0 ] && [[ "$out" == *'"damaged":4'* ]] && [ "$(grep -c "it is empty" "$work/err.txt")" -eq 2 ] \
    && grep -q "Record: HomeDomain Library/SMS/sms.db" "$work/err.txt" \
    && grep -q "Record: HomeDomain Library/Voicemail/2.amr" "$work/err.txt" \
    && grep -q "Record: HomeDomain Library/CallHistoryDB/CallHistory.storedata" "$work/err.txt"
check "extract-tree counts the two empty files, the cut sound and the cut database apart" $?
"$probe" messages "$work/short" > /dev/null 2> "$work/err.txt"
[ $? -ne 0 ] && grep -q "it is empty" "$work/err.txt" && ! grep -qi "sql\|not a database" "$work/err.txt"
check "the message load says that the stored sms.db is empty" $?
"$probe" info "$work/short" > "$work/short-info.json" 2> "$work/err.txt"
[ $? -eq 0 ] && [ "$(tree_count "$work/short-info.json" sms)" = None ] \
    && [ "$(tree_count "$work/short-info.json" notes)" = None ] \
    && [ "$(tree_count "$work/short-info.json" callHistory)" = None ] \
    && [ "$(tree_count "$work/short-info.json" bookmarks)" = None ] \
    && grep -q "^not counted: Library/SMS/sms.db: .*it is empty" "$work/err.txt" \
    && [ "$(grep -c "not counted" "$work/err.txt")" -eq 4 ]
check "info counts the empty sms.db, notes and bookmarks and the cut call history as unknown, one reason each" $?

# Names the phone tells apart by case alone stay four files on a disk that ignores case: no two
# written paths are one there, and each file keeps its own bytes.
app=AppDomain-com.example.notes
for f in one two three four; do echo "$f" > "$work/$f.txt"; done
/usr/bin/python3 "$generator" --put "$app:Documents/Notes.txt=$work/one.txt" --put "$app:Documents/notes.txt=$work/two.txt" \
    --put "$app:Library/Caches/x.dat=$work/three.txt" --put "$app:Library/caches/x.dat=$work/four.txt" "$work/cases" > /dev/null
out=$("$probe" extract-tree --domain "$app" "$work/cases" "$work/cases-tree" < /dev/null 2> "$work/err.txt"); rc=$?
[ $rc -eq 0 ] && [[ "$out" == *'"extracted":4'* ]] && [ "$(find "$work/cases-tree" -type f | wc -l)" -eq 4 ] \
    && [ -z "$(find "$work/cases-tree" | tr '[:upper:]' '[:lower:]' | sort | uniq -d)" ] \
    && [ "$(find "$work/cases-tree" -type f -exec cat {} + | sort | tr '\n' ' ')" = "four one three two " ]
check "extract-tree writes names differing in case alone as four files a disk ignoring case keeps apart" $?

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

# A folder of the backup the user may not read (its permissions lost in a copy): its files are
# counted apart from those the backup lacks, with the system's reason. Root reads anything, so the
# probe then runs as nobody on a copy that nobody may read otherwise.
perm=$(mktemp -d)
cp -r "$work/cut-plain" "$perm/bk" && mkdir "$perm/home" && chmod -R a+rX "$perm"
folder=$(dirname "$perm/bk/$(stored HomeDomain-Library/SMS/sms.db)")
locked=$(ls "$folder" | wc -l)
lacks=$("$probe" extract-tree "$perm/bk" "$work/perm-tree" 2> /dev/null | grep -o '"missing":[0-9]*')
as=()
if [ "$(id -u)" -eq 0 ]; then
    chown -R 65534:65534 "$perm/home" && as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
chmod 000 "$folder"
if "${as[@]}" test -r "$folder"; then
    echo "SKIP: the folder without permission stays readable to this user; its check cannot run"
else
    out=$(HOME="$perm/home" "${as[@]}" "$probe" extract-tree "$perm/bk" "$perm/home/tree" 2> "$work/err.txt"); rc=$?
    [ $rc -ne 0 ] && [[ "$out" == *"\"unreadable\":$locked"* ]] && [[ "$out" == *"$lacks"* ]] \
        && grep -q "Permission denied" "$work/err.txt" && grep -q "Record: HomeDomain Library/SMS/sms.db" "$work/err.txt"
    check "extract-tree counts the $locked files of a folder without permission apart, saying why" $?
    HOME="$perm/home" "${as[@]}" "$probe" info "$perm/bk" > "$work/perm-info.json" 2> "$work/err.txt"
    [ $? -eq 0 ] && [ "$(tree_count "$work/perm-info.json" sms)" = None ] \
        && grep -q "^not counted: Library/SMS/sms.db: can not open .*Permission denied" "$work/err.txt"
    check "info counts the message database of a folder without permission as unknown, saying why" $?
fi
chmod 755 "$folder"
rm -rf "$perm"

# A backup folder the user may not read, or one inside a folder the user may not search, is named
# with the system's reason by every command that opens it, never called "not a device backup". As
# root the probe runs without the powers that pass over permissions, and as nobody.
perm=$(mktemp -d)
/usr/bin/python3 "$generator" "$perm/up/bk" > /dev/null && mkdir -m 1777 "$perm/home" && chmod -R a+rX "$perm"
runs=("")
if [ "$(id -u)" -eq 0 ]; then
    runs=("setpriv --bounding-set=-dac_override,-dac_read_search" "setpriv --reuid=65534 --regid=65534 --clear-groups")
fi
for run in "${runs[@]}"; do
    for locked in "$perm/up/bk" "$perm/up"; do
        chmod 000 "$locked"
        if $run test -r "$perm/up/bk/Manifest.plist"; then
            echo "SKIP: a folder without permission stays readable to this user; its check cannot run"
            chmod 755 "$locked"
            continue
        fi
        for cmd in info tree extract-tree photos notes contacts calls calendars messages; do
            dest=()
            [ "$cmd" = extract-tree ] && dest=("$perm/home/tree")
            HOME="$perm/home" $run "$probe" $cmd "$perm/up/bk" "${dest[@]}" < /dev/null > /dev/null 2> "$work/err.txt"
            rc=$?
            [ $rc -ne 0 ] && grep -qF "Cannot read the folder $locked: Permission denied." "$work/err.txt" \
                && ! grep -q "not a device backup" "$work/err.txt"
            check "$cmd names a backup in ${locked#$perm/} without permission, with the reason (${run:-as this user})" $?
        done
        chmod 755 "$locked"
    done
done
rm -rf "$perm"

# Reading never writes beside what it reads: each reading command on a database in WAL mode (a
# device's usual mode) leaves its folder as it was.
gen=$(dirname "$generator")
mkdir -p "$work/plain/ab" "$work/plain/calls" "$work/plain/cal" "$work/plain/notes" "$work/plain/bm" \
    "$work/plain/vm" "$work/plain/sms"
/usr/bin/python3 "$gen/make_addressbook.py" --demo "$work/plain/ab" > /dev/null
/usr/bin/python3 "$gen/make_call_history.py" "$work/plain/calls/CallHistory.storedata"
/usr/bin/python3 "$gen/make_calendar_db.py" "$work/plain/cal/Calendar.sqlitedb"
/usr/bin/python3 "$gen/make_notes_db.py" "$work/plain/notes/notes.sqlite"
/usr/bin/python3 "$gen/make_bookmarks_db.py" "$work/plain/bm/Bookmarks.db"
/usr/bin/python3 "$gen/make_media_db.py" voicemail "$work/plain/vm/voicemail.db"
cp -r "$work/plain" "$work/wal"
for db in "$work"/wal/*/*; do
    /usr/bin/python3 -c 'import sqlite3, sys; sqlite3.connect(sys.argv[1]).execute("PRAGMA journal_mode=WAL").fetchall()' "$db"
done
for run in "contacts ab/AddressBook.sqlitedb" "calls calls/CallHistory.storedata" \
           "calendars cal/Calendar.sqlitedb" "notes notes/notes.sqlite" "bookmarks bm/Bookmarks.db" \
           "voicemail vm/voicemail.db"; do
    set -- $run
    folder=$(dirname "$work/wal/$2")
    before=$(ls -A "$folder")
    "$probe" "$1" "$work/wal/$2" > /dev/null 2>&1; rc=$?
    [ $rc -eq 0 ] && [ "$(ls -A "$folder")" = "$before" ]
    check "$1 reads a WAL-mode database and leaves nothing beside it" $?
done

# A change to several databases stopped in the middle leaves a journal that names the change's own,
# beside the database: the copy each reading command plays back follows no name, so what stands there
# (a file the user keeps, a FIFO that would hold the read for ever) stays as it was, and so does the
# journal.
/usr/bin/python3 "$generator" --demo "$work/sms-bk" > /dev/null
cp "$work/sms-bk/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28" "$work/plain/sms/sms.db"
for kind in file fifo; do
    for run in "contacts ab/AddressBook.sqlitedb" "calls calls/CallHistory.storedata" \
               "calendars cal/Calendar.sqlitedb" "notes notes/notes.sqlite" "bookmarks bm/Bookmarks.db" \
               "voicemail vm/voicemail.db" "messages sms/sms.db"; do
        set -- $run
        rm -rf "$work/joint" && cp -r "$work/plain" "$work/joint"
        named=$work/joint/$2-mj0123abcd
        if [ $kind = fifo ]; then mkfifo "$named"; else echo child-journal > "$named"; fi
        /usr/bin/python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); import make_backup as g
g.leave_hot_journal(sys.argv[2], "CREATE TABLE unfinished(x)",
                    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40) SELECT zeroblob(4000) FROM n")
g.name_super_journal(sys.argv[2], sys.argv[3])' "$gen" "$work/joint/$2" "$named"
        timeout 30 "$probe" "$1" "$work/joint/$2" > /dev/null 2>&1; rc=$?
        [ $rc -eq 0 ] && { [ -p "$named" ] || [ "$(cat "$named")" = child-journal ]; } \
            && [ -s "$work/joint/$2-journal" ]
        check "$1 plays back a journal that names a $kind, which stays as it was" $?
    done
done

# A folder that is not a backup is called so by the commands that read one, also where a folder
# of the program's cached copies would do; a cached address book alone is a plain backup's cache,
# whose calls are kept only when it is encrypted.
mkdir "$work/empty"
/usr/bin/python3 "$(dirname "$generator")/make_addressbook.py" --hashed --demo "$work/abook-only" > /dev/null
/usr/bin/python3 "$generator" "$work/calls-target" > /dev/null
for row in "info empty not a device backup" "calls empty not a device backup" \
           "merge-calls empty not a device backup" "calls abook-only only available when backup encryption"; do
    set -- $row
    cmd=$1 folder=$2 && shift 2
    target=() && [ "$cmd" = merge-calls ] && target=("$work/calls-target")
    "$probe" $cmd "$work/$folder" "${target[@]}" < /dev/null > /dev/null 2> "$work/err.txt"; rc=$?
    [ $rc -ne 0 ] && grep -q "$*" "$work/err.txt"; check "$cmd of the folder $folder says it is $*" $?
done
"$probe" no-such-command > /dev/null 2>&1; [ $? -ne 0 ]; check "an unknown command fails" $?

# Each backup's calls merged into the other, both at once: neither waits for the other for ever
# (each holds its source only while it reads it).
/usr/bin/python3 "$generator" --demo "$work/cross-x" > /dev/null
/usr/bin/python3 "$generator" --demo "$work/cross-y" > /dev/null
# Another program writes into both for a while, so that both commands start reading together.
hold_folders 3 "$work/cross-x" "$work/cross-y"
timeout 60 "$probe" merge-calls "$work/cross-x" "$work/cross-y" > /dev/null 2>&1 &
xy=$!
timeout 60 "$probe" merge-calls "$work/cross-y" "$work/cross-x" > /dev/null 2>&1
yx=$?
wait $xy
[ $? -eq 0 ] && [ $yx -eq 0 ]; check "two crossed call merges both finish" $?

echo "probe checks done: $failures failed"
exit $((failures > 0))

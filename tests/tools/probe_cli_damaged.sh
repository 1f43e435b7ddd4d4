# Sourced by probe_cli.sh: stored copies that are not what the phone wrote (cut, empty, under another
# key, left encrypted) and folders the user may not read.

# A stored copy that is not what the phone wrote is never a success: sms.db and a photo cut to half
# at a block boundary (an interrupted copy), notes under a key the record does not hold. What they
# decrypt to is still written. Bookmarks that another tool decrypted in place are copied as they stand.
damage="--stored-damage Library/SMS/sms.db=cut-half --stored-damage Media/DCIM/100APPLE/IMG_0002.JPG=cut-half
        --stored-damage Library/Notes/notes.sqlite=other-key --stored-damage Library/Safari/Bookmarks.db=in-place"
/usr/bin/python3 "$generator" --password 1234 --iter 10 --dpic 10 $damage "$work/cut" > /dev/null \
    && /usr/bin/python3 "$generator" $damage "$work/cut-plain" > /dev/null
check "generator makes a backup with damaged stored copies, and its plain twin" $?
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

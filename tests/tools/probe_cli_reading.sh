# Sourced by probe_cli.sh: an encrypted backup described, unlocked and extracted; camera files and
# voicemail listed and extracted.

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

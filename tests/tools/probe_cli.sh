#!/usr/bin/env bash
# Drives the developer probe as a user would: a generated encrypted backup is described, unlocked
# (right and wrong password), a file is extracted and compared, and bad input fails with a message.
set -u
probe=$1
generator=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
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

mkdir "$work/empty"
"$probe" info "$work/empty" > /dev/null 2> "$work/err.txt"; rc=$?
[ $rc -ne 0 ] && grep -q "not a device backup" "$work/err.txt"; check "a folder that is not a backup is refused clearly" $?
"$probe" no-such-command > /dev/null 2>&1; [ $? -ne 0 ]; check "an unknown command fails" $?

echo "probe checks done: $failures failed"
exit $((failures > 0))

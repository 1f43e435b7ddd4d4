# Sourced by probe_messages_cli.sh: message pictures whose names a disk refuses or an earlier version
# named otherwise.

# Two pictures of one folder whose names differ only in a character a disk refuses (a colon, and a
# question mark and a star): the load keeps each apart, and extract-attachments and the HTML export
# write each with its own bytes, no two names holding the same.
for pair in "a:b.JPG ab.JPG" "x?.JPG x*.JPG"; do
    set -- $pair
    rm -rf "$work/pair" "$work/pair-out" "$work/pair-html"
    /usr/bin/python3 "$tools/gen/make_backup.py" --demo --attachment-name "1=shared/$1" --attachment-name "2=shared/$2" \
        "$work/pair" > /dev/null
    HOME="$work/home" "$probe" cache-messages "$work/pair" > "$work/pair.out" 2> /dev/null
    cache=$(tail -n 1 "$work/pair.out")
    "$probe" extract-attachments "$cache" "$work/pair-out" > /dev/null 2>&1 \
        && [ "$(ls "$work/pair-out" | wc -l)" = 3 ] && [ "$(md5sum "$work/pair-out"/* | cut -c 1-32 | sort -u | wc -l)" = 3 ]
    check "extract-attachments writes $1 and $2 each with its own bytes" $?
    "$probe" export-messages --format html "$cache" "$work/pair-html" > /dev/null 2>&1 \
        && [ "$(find "$work/pair-html/files" -name '*.JPG' -exec md5sum {} + | cut -c 1-32 | sort -u | wc -l)" = 3 ]
    check "export-messages copies $1 and $2 each with its own bytes" $?
done

# A cache on a disk that ignores case keeps the second of two names differing only in case under
# its name set aside (its mark of the whole name): each is read with its own bytes from there.
rm -rf "$work/case" "$work/case-out"
/usr/bin/python3 "$tools/gen/make_backup.py" --demo --attachment-name "1=shared/Photo.JPG" \
    --attachment-name "2=shared/PHOTO.JPG" "$work/case" > /dev/null
HOME="$work/home" "$probe" cache-messages "$work/case" > "$work/case.out" 2> /dev/null
case_cache=$(tail -n 1 "$work/case.out")
aside="PHOTO~$(printf %s PHOTO.JPG | sha256sum | cut -c 1-32).JPG"
mv "$case_cache/file-relay/var/mobile/Library/SMS/Attachments/shared/PHOTO.JPG" \
    "$case_cache/file-relay/var/mobile/Library/SMS/Attachments/shared/$aside"
"$probe" extract-attachments "$case_cache" "$work/case-out" > /dev/null 2>&1 \
    && [ "$(md5sum "$work/case-out"/* | cut -c 1-32 | sort -u | wc -l)" = 3 ]
check "extract-attachments reads a copy set aside for a name in another case" $?

# A local store an earlier version saved keeps its attachments under the names of that version's
# rule, characters a disk refuses left out without a mark: one whose earlier name is its alone is read
# there, and a save into another store writes it under its name now; two whose earlier names are one
# read neither. A backup's cache never reads such a name.
rm -rf "$work/early"*
/usr/bin/python3 "$tools/gen/make_backup.py" --demo --attachment-name "1=shared/c:d.JPG" \
    --attachment-name "2=shared/a:b.JPG" --attachment-name "3=shared/a?b.JPG" "$work/early" > /dev/null
HOME="$work/home" "$probe" cache-messages "$work/early" > "$work/early.out" 2> /dev/null
early_cache=$(tail -n 1 "$work/early.out")
"$probe" save-messages "$early_cache" "$work/early-store" > /dev/null 2>&1
shared_rel=file-relay/var/mobile/Library/SMS/Attachments/shared
lay_out_earlier() { # the folder of attachments "shared": each file renamed as the earlier rule named it
    (cd "$1" && mv c:d.JPG cd.JPG && mv a:b.JPG ab.JPG && rm 'a?b.JPG')
}
alone=$(cat "$work/early-store/$shared_rel"/c:d.JPG | md5sum | cut -c 1-32)
lay_out_earlier "$work/early-store/$shared_rel"
lay_out_earlier "$early_cache/$shared_rel"
"$probe" extract-attachments "$work/early-store" "$work/early-out" > /dev/null 2>&1
"$probe" extract-attachments "$early_cache" "$work/early-cache-out" > /dev/null 2>&1
[ "$(cat "$work/early-out"/* 2> /dev/null | md5sum | cut -c 1-32)" = "$alone" ] \
    && [ "$(ls "$work/early-out" | wc -l)" = 1 ] && [ "$(ls "$work/early-cache-out" | wc -l)" = 0 ]
check "extract-attachments reads the earlier file alone in a local store, and nothing in a cache" $?
"$probe" save-messages "$work/early-store" "$work/early-again" > /dev/null 2>&1
[ "$(cat "$work/early-again/$shared_rel"/c:d.JPG 2> /dev/null | md5sum | cut -c 1-32)" = "$alone" ] \
    && [ "$(ls "$work/early-again/$shared_rel" | wc -l)" = 1 ]
check "save-messages writes the earlier file under its name now, and neither of the two" $?

# Saved again from the backup, a store whose file at ab.JPG holds what an earlier version saved of
# a?b.JPG (its rule left the "?" out): that file goes to a?b.JPG's own name, and ab.JPG gets its own.
rm -rf "$work/again"*
/usr/bin/python3 "$tools/gen/make_backup.py" --demo --attachment-name "1=shared/ab.JPG" \
    --attachment-name "2=shared/a?b.JPG" "$work/again" > /dev/null
HOME="$work/home" "$probe" cache-messages "$work/again" > "$work/again.out" 2> /dev/null
again_cache=$(tail -n 1 "$work/again.out")
"$probe" save-messages "$again_cache" "$work/again-store" > /dev/null 2>&1
md5_of() { cat "$@" 2> /dev/null | md5sum | cut -c 1-32; }
own=$(md5_of "$again_cache/$shared_rel/ab.JPG") && other=$(md5_of "$again_cache/$shared_rel/a?b.JPG")
(cd "$work/again-store/$shared_rel" && mv 'a?b.JPG' ab.JPG)
"$probe" save-messages "$again_cache" "$work/again-store" > /dev/null 2>&1
[ "$own" != "$other" ] && [ "$(md5_of "$work/again-store/$shared_rel/ab.JPG")" = "$own" ] \
    && [ "$(md5_of "$work/again-store/$shared_rel/a?b.JPG")" = "$other" ]
check "save-messages again moves another's earlier file at a copy's name to that one's own name" $?

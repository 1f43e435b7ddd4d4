#!/usr/bin/env bash
# Hostile inputs (tools/gen/make_hostile_inputs.py) through the probe: each ends with a clean exit
# (no signal), a clear message or a correct result, in under 2 s of processor time.
set -u
probe=$1
gen=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() { # description, then the condition's status as $?
    if [ "$2" -ne 0 ]; then echo "FAIL: $1"; failures=$((failures + 1)); else echo "PASS: $1"; fi
}
# Runs the probe with the given arguments (with memory set, in that many bytes of address space at
# most); sets rc, cpu (seconds), and leaves its output in $work/out.txt and $work/err.txt.
run() {
    TIMEFORMAT='%U %S'
    local t
    t=$( { time timeout "${limit:-30}" ${memory:+prlimit --as=$memory --} "$probe" "$@" > "$work/out.txt" 2> "$work/err.txt"; echo "rc=$?" > "$work/rc.txt"; } 2>&1 )
    rc=$(sed 's/rc=//' "$work/rc.txt")
    cpu=$(echo "$t" | awk '{printf "%.2f", $1 + $2}')
    echo "  qm-probe $1: rc $rc, ${cpu}s cpu, $(head -c 300 "$work/err.txt" | tr '\n' ' ')"
}
clean() { [ "$rc" -lt 128 ] && awk -v c="$cpu" 'BEGIN { exit !(c < 2.0) }'; }
files_of() { /usr/bin/python3 -c "import sqlite3,sys; print(sqlite3.connect(sys.argv[1]).execute('select count(*) from Files where flags=1').fetchone()[0])" "$1/Manifest.db"; }

/usr/bin/python3 "$gen/make_hostile_inputs.py" "$work/in" > /dev/null
check "the generator makes the hostile inputs" $?
in=$work/in

for layout in db mbdb; do
    for cmd in tree info; do
        run $cmd "$in/deep-$layout"
        clean; check "$cmd of a record 30,000 folders deep (Manifest.$layout) ends cleanly" $?
        if [ $cmd = tree ]; then
            [ "$rc" -ne 0 ] && grep -q "Manifest.$layout" "$work/err.txt" && grep -q "folders deep" "$work/err.txt"
            check "tree of the deep record (Manifest.$layout) names the file and the fault" $?
        fi
    done
    run extract-tree "$in/deep-$layout" "$work/x-$layout"
    clean && [ "$rc" -ne 0 ] && grep -q "Manifest.$layout" "$work/err.txt"
    check "extract-tree of the deep record (Manifest.$layout) fails cleanly, naming the file" $?
done

# A Manifest.mbdb that goes on after its records with 3 GB of zeros is read in the memory its records
# need (here under 1 GB of address space), the rest told as damage: the backup is read with the
# records before it.
for cmd in info tree; do
    memory=$((1 << 30)) run $cmd "$in/padded-mbdb"
    clean && [ "$rc" -eq 0 ] && grep -q '"records": [1-9]\|^files [1-9]' "$work/out.txt" \
        && grep -q "padded-mbdb/Manifest.mbdb is damaged: a record has neither a domain nor a path at byte [0-9]*\. The backup is read with the [0-9]* records before it" "$work/err.txt"
    check "$cmd of a Manifest.mbdb padded with 3 GB of zeros reads its records in bounded memory, telling the damage" $?
done

# A Manifest.plist of 4 MB that refers a thousand times to one 4 MB value, and the same list as an
# iOS 5 chat's participants: a list costs what it holds, once. The manifest is refused by name; the
# chat is read without its participants, which are named, and the rest of the messages as ever.
for cmd in info tree; do
    memory=$((1 << 30)) run $cmd "$in/shared-plist"
    clean && [ "$rc" -ne 0 ] \
        && grep -qF "Cannot read $in/shared-plist/Manifest.plist: it refers to its values so often" "$work/err.txt"
    check "$cmd of a Manifest.plist that refers a thousand times to 4 MB refuses it by name, in bounded memory" $?
done
memory=$((1 << 30)) run messages "$in/shared-participants"
clean && [ "$rc" -eq 0 ] && grep -q '"total": 10' "$work/out.txt" \
    && grep -q "Cannot read the participants of madrid_chat row [0-9]* in .*/sms.db: it refers" "$work/err.txt"
check "messages whose chat lists its participants so refuse that list by name and read the rest" $?

for kind in wide max; do
    run tree "$in/rowids-$kind"
    clean && [ "$rc" -eq 0 ] && grep -qx "files $(files_of "$in/rowids-$kind")" "$work/out.txt"
    check "extreme rowids ($kind) open every record" $?
done

run extract-tree "$in/long-path" "$work/long"
written=$(find "$work/long" -type f | wc -l)
clean && [ "$rc" -eq 0 ] && grep -q "\"extracted\":$written," "$work/out.txt"
check "a path too long for the system whole is made folder by folder, with the count of files written ($written)" $?
[ "$(find "$work/long" -name f.txt -size 8c | wc -l)" = 1 ] && [ -f "$work/long/HomeDomain/Library/z3.txt" ]
check "the file at its end and those around it are written" $?

run bookmarks "$in/deep-bookmarks.db"
clean && [ "$rc" -ne 0 ] && grep -q "nest more than 1000 deep" "$work/err.txt"
check "bookmarks 200,000 deep are refused with a clear message" $?
run export-bookmarks "$in/deep-bookmarks.db" "$work/bookmarks.html"
clean && [ "$rc" -ne 0 ] && grep -q "nest more than 1000 deep" "$work/err.txt" && [ ! -e "$work/bookmarks.html" ]
check "exporting them is refused the same way, writing nothing" $?

for db in calls-old.db calls-store.storedata; do
    run calls "$in/$db"
    clean && [ "$rc" -eq 0 ] && grep -q '"calls": 4' "$work/out.txt"
    check "calls with out-of-range numbers ($db) are all read" $?
    run export-calls --format csv "$in/$db" "$work/$db.csv"
    clean && [ "$rc" -eq 0 ] && [ "$(grep -c ',,$' "$work/$db.csv")" -eq 3 ] && ! grep -q -- '-[0-9]* s$\|1970' "$work/$db.csv"
    check "they export with empty dates and durations, never wrapped or 1970 ($db)" $?
done

run export-contacts --format vcf "$in/addressbook/AddressBook.sqlitedb" "$work/book.vcf"
clean && [ "$rc" -eq 0 ] && ! grep -q '^BDAY.*\(abc\|[0-9]\{5\}-\|^BDAY:*$\)' "$work/book.vcf"
check "birthdays that are no date export as none" $?

expected=$(grep -o '"attachment_files": [0-9]*' "$in/messages/expected.json" | grep -o '[0-9]*$')
run extract-attachments "$in/messages" "$work/att"
clean && [ "$rc" -eq 0 ] && [ "$(ls "$work/att" | wc -l)" -eq $((expected - 1)) ] \
    && ! grep -rq "outside the message folder" "$work/att"
check "a link in the message folder leading out is not followed" $?
grep -q "^qm-escape-.* (left out): .* leads to no file inside the messages' folder\.$" "$work/out.txt" \
    && grep -qx "$(grep -c '(left out): ' "$work/out.txt") attachments were left out:" "$work/out.txt"
check "extract-attachments names each attachment it leaves out" $?

# A picture and a text far larger than any a phone keeps in a message folder (holes that cost nothing
# to send): the exports read of each what its bubble shows, in memory that does not grow with them,
# and write every conversation, the picture as the placeholder with its name. Where the HTML pages
# copy the files beside them, they are 300 MB; each text ends at the first zero byte of its hole.
rm -rf "$work/huge" && /usr/bin/python3 "$gen/make_sms_db.py" ios6 "$work/huge" > /dev/null
huge_db=$work/huge/file-relay/var/mobile/Library/SMS/sms.db
huge_jpg=$(find "$work/huge" -name IMG_0001.JPG) && huge_txt=$(find "$work/huge" -name paper.pdf)
sqlite3 "$huge_db" "update attachment set mime_type='text/plain' where filename like '%/paper.pdf'"
for fmt in pdf html; do
    size=3G && [ $fmt = html ] && size=300M
    truncate -s 0 "$huge_jpg" "$huge_txt" && truncate -s $size "$huge_jpg"
    printf 'the text of a huge file %.0s' $(seq 2000) > "$huge_txt" && truncate -s $size "$huge_txt"
    rm -rf "$work/huge-$fmt"
    memory=400000000 limit=60 run export-messages --format $fmt "$work/huge" "$work/huge-$fmt"
    [ "$rc" -eq 0 ] && [ "$(ls "$work/huge-$fmt"/*.$fmt | wc -l)" -eq 3 ] && {
        [ $fmt = pdf ] || { grep -q 'empty_photo.jpg" style="max-width:120px;max-height:120px"></a><br/>IMG_0001.JPG<' "$work/huge-$fmt"/*.html \
            && grep -q '>the text of a huge file .*the text of a huge file <' "$work/huge-$fmt"/*.html; }; }
    check "export-messages to $fmt of a $size picture and text reads within 400 MB, writing every conversation" $?
done
rm -rf "$work/huge" "$work/huge-html" "$work/huge-pdf"

# A FIFO, or a link to a device, in place of a manifest's file: every road ends at once, naming it.
/usr/bin/python3 "$gen/make_backup.py" "$work/named" > /dev/null
for name in Manifest.db Manifest.db-wal Manifest.plist; do
    for kind in fifo device; do
        rm -rf "$work/fifo" && cp -r "$work/named" "$work/fifo" && rm -f "$work/fifo/$name"
        if [ $kind = fifo ]; then mkfifo "$work/fifo/$name"; else ln -s /dev/zero "$work/fifo/$name"; fi
        for cmd in info extract extract-tree; do
            rm -rf "$work/fifo-out"
            case $cmd in
                info) limit=10 run info "$work/fifo" ;;
                extract) limit=10 run extract "$work/fifo" HomeDomain Library/SMS/sms.db "$work/fifo-out" ;;
                extract-tree) limit=10 run extract-tree "$work/fifo" "$work/fifo-out" ;;
            esac
            said="$name. Not a regular file"
            [ $name-$kind = Manifest.db-wal-device ] && said="$name: it is a link" # never followed
            [ "$rc" -ne 0 ] && [ "$rc" -ne 124 ] && grep -q "$said" "$work/err.txt" && clean
            check "$cmd with a $kind as $name fails at once, naming it" $?
        done
    done
done

# Another user's link in a folder everyone may write into (as /tmp), at the name an export is given or
# on the way to where an extraction or a save writes (a ".." after it going up from where it leads),
# is not followed, nor is their FIFO there opened: the probe ends naming it and its owner, and what the
# link leads to, the user's own, stays as it was, with nothing new in the shared folder.
if [ "$(id -u)" -eq 0 ]; then
    mkdir -p "$work/shared" "$work/mine" && chmod 1777 "$work/shared" && echo "the user's own" > "$work/mine/book.vcf"
    ln -s "$work/mine/book.vcf" "$work/shared/book.vcf" && ln -s "$work/mine" "$work/shared/out"
    ln -s "$work/mine/store.db" "$work/shared/store.db" && mkfifo -m 666 "$work/shared/fifo.vcf"
    chown -h 65534 "$work/shared/book.vcf" "$work/shared/out" "$work/shared/store.db" "$work/shared/fifo.vcf"
    refused() { grep -qF "the ${2:-link} $work/shared/$1 stands in a folder everyone may write into and belongs to another user (nobody): it is not ${3:-followed}, and nothing was written" "$work/err.txt"; }
    book=$in/addressbook/AddressBook.sqlitedb
    for cmd in export-contacts extract-tree extract export-up save-contacts save-contacts-db save-messages-up fifo journal; do
        kind=link verb=followed kept=0
        case $cmd in
            export-contacts) run export-contacts --format vcf "$book" "$work/shared/book.vcf"; link=book.vcf ;;
            extract-tree) run extract-tree "$work/named" "$work/shared/out/tree"; link=out ;;
            extract) run extract "$work/named" HomeDomain Library/SMS/sms.db "$work/shared/out/sms.db"; link=out ;;
            export-up) run export-contacts --format vcf "$book" "$work/shared/out/../c2.vcf"; link=out ;;
            save-contacts) run save-contacts "$book" "$work/shared/out"; link=out ;;
            save-contacts-db) run save-contacts "$book" "$work/shared/store.db"; link=store.db ;;
            save-messages-up) run save-messages "$in/messages" "$work/shared/out/../store"; link=out ;;
            fifo) limit=10 run export-contacts --format vcf "$book" "$work/shared/fifo.vcf"; link=fifo.vcf kind=FIFO verb=opened ;;
            journal) # their file where SQLite keeps the store's journal: neither written into nor played back
                echo theirs > "$work/shared/c.db-journal" && chown 65534 "$work/shared/c.db-journal"
                run save-contacts "$book" "$work/shared/c.db"; link=c.db-journal kind=file verb=opened
                [ "$(cat "$work/shared/c.db-journal")" = theirs ] && [ ! -e "$work/shared/c.db" ]; kept=$?
                rm -f "$work/shared/c.db-journal" ;;
        esac
        clean && [ "$rc" -ne 0 ] && [ "$kept" -eq 0 ] && refused $link $kind $verb && [ "$(ls -A "$work/mine")" = book.vcf ] \
            && [ "$(cat "$work/mine/book.vcf")" = "the user's own" ] && [ "$(ls -A "$work/shared" | wc -l)" -eq 4 ]
        check "$cmd through another user's $kind in a shared folder refuses it by name, writing nothing" $?
    done
else
    echo "SKIP: another user's link in a shared folder can only be made as root"
fi

# So a link to a log that is a file: its rows are never read from elsewhere.
/usr/bin/python3 "$gen/make_backup.py" --wal-rows 2 "$work/wal-link" > /dev/null
mv "$work/wal-link/Manifest.db-wal" "$work/elsewhere-wal" && ln -s "$work/elsewhere-wal" "$work/wal-link/Manifest.db-wal"
limit=10 run info "$work/wal-link"
[ "$rc" -ne 0 ] && clean && grep -qF "$work/wal-link/Manifest.db-wal: it is a link" "$work/err.txt"
check "info with a link to a log as Manifest.db-wal refuses it at once, naming it" $?

# A FIFO, or a link to a device, at the name of Manifest.db's journal: the manifest is read without
# it, and the load says so.
for kind in fifo device; do
    rm -rf "$work/nj" && /usr/bin/python3 "$gen/make_backup.py" --journal-kind $kind "$work/nj" > /dev/null
    limit=10 run info "$work/nj"
    [ "$rc" -eq 0 ] && clean \
        && grep -qF "Manifest.db was read without $work/nj/Manifest.db-journal, which is not a file" "$work/err.txt"
    check "info with a $kind as Manifest.db's journal reads the manifest without it, saying so" $?
done

# A query that a database holds in place of a table (a view without end) is never run: the road
# ends at once, naming it and the file.
endless="with recursive n(i) as (select 1 union all select i + 1 from n)"
rm -rf "$work/view" && cp -r "$work/named" "$work/view"
sqlite3 "$work/view/Manifest.db" "alter table Files rename to Stored; create view Files as $endless select s.* from n, Stored as s"
for cmd in info tree; do
    limit=20 run $cmd "$work/view"
    clean && [ "$rc" -ne 0 ] && [ "$rc" -ne 124 ] && grep -qF "$work/view/Manifest.db: its \"Files\" is a view" "$work/err.txt"
    check "$cmd of a manifest whose Files is a view without end refuses it at once, by name" $?
done
# So in a message database, and a column it works out where the reader reads one is refused by name,
# never read as blank; its triggers never act on what the load writes into its copy (one here never
# ends). Each row: a name, the SQL made into the backup's sms.db, and what the output says (empty
# for a load that ends well).
sms_db=file-relay/var/mobile/Library/SMS/sms.db
while IFS='|' read -r name sql says; do
    rm -rf "$work/$name" && cp -r "$in/messages" "$work/$name"
    sqlite3 "$work/$name/$sms_db" "$sql"
    limit=20 run messages "$work/$name" < /dev/null
    if [ -n "$says" ]; then
        clean && [ "$rc" -ne 0 ] && [ "$rc" -ne 124 ] && cat "$work/out.txt" "$work/err.txt" | grep -q "$says"
    else clean && [ "$rc" -eq 0 ]; fi
    check "messages of a backup whose sms.db holds $name: refused at once by name, or read at once" $?
done << EOF_ROWS
a message table that is a view without end|alter table message rename to Stored; create view message as $endless select s.* from n, Stored as s|its \\\\*"message\\\\*" is a view
a generated text column|alter table message drop column text; alter table message add column text as (zeroblob(1000000000))|column \\\\*"message.text\\\\*" is generated
a schema far larger than a phone writes|pragma writable_schema = on; $endless insert into sqlite_master select 'trigger', printf('g%d', i), 'message', 0, printf('create trigger g%d after insert on message begin select 1; end', i) from n limit 300000|holds over 3000 schema entries, more than any phone writes
deletion records with a trigger without end|create table if not exists deleted_messages(ROWID integer primary key, guid text); insert into deleted_messages(guid) values('gone'); create table spill(v); create trigger fill after delete on deleted_messages begin insert into spill $endless select i from n; end|
EOF_ROWS
# A message database of a backup that SQLite cannot read, or one the backup lists that its folder does
# not hold, is not counted: its count is null (never 0), and the probe names its stored copy and record
# with why. Each row: what the stored sms.db is, the SQL made into it (none: it is left out), and why.
sms=3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28
while IFS='|' read -r name sql says; do
    rm -rf "$work/uncounted" && cp -r "$work/named" "$work/uncounted"
    if [ -n "$sql" ]; then sqlite3 "$work/uncounted/$sms" "$sql"; else rm "$work/uncounted/$sms"; fi
    limit=20 run info "$work/uncounted"
    clean && [ "$rc" -eq 0 ] && grep -q '"sms": null' "$work/out.txt" && grep -qF "$says" "$work/err.txt" \
        && grep -qF "Cannot read $work/uncounted/$sms" "$work/err.txt" \
        && grep -qx "Record: HomeDomain Library/SMS/sms.db" "$work/err.txt"
    check "info of a backup whose sms.db $name counts its messages as null, saying why" $?
done << EOF_ROWS
holds a table of a module no build has|alter table message rename to Stored; pragma writable_schema=1; insert into sqlite_master values('table', 'message', 'message', 0, 'CREATE VIRTUAL TABLE message USING nosuchmod(guid)')|no such module: nosuchmod
holds a message table without row ids|alter table message rename to Stored; create table message(guid text primary key, text) without rowid|no such column: m.rowid
holds a collation no build has|pragma writable_schema=1; update sqlite_master set sql=replace(sql, 'message_id INTEGER', 'message_id INTEGER COLLATE nosuch') where name='chat_message_join'|no such collation sequence: nosuch
is listed but not in the backup folder||the backup lists this file, but the backup folder does not hold it
EOF_ROWS
# So a manifest or a stored message database whose schema is far larger than a phone writes: refused
# at once, naming the backup's file (and the record of a stored one).
for file in Manifest.db $sms; do
    table=Files && [ $file != Manifest.db ] && table=message
    rm -rf "$work/schema" && cp -r "$work/named" "$work/schema"
    sqlite3 "$work/schema/$file" "pragma writable_schema = on; $endless insert into sqlite_master select 'trigger',
        'g' || i, '$table', 0, 'create trigger g' || i || ' after insert on $table begin select 1; end' from n limit 300000"
    cmd=info && [ $file != Manifest.db ] && cmd=messages
    limit=20 run $cmd "$work/schema" < /dev/null
    clean && [ "$rc" -ne 0 ] && [ "$rc" -ne 124 ] \
        && grep -qF "Cannot read $work/schema/$file: it holds over 3000 schema entries, more than any phone writes." "$work/err.txt" \
        && { [ $file = Manifest.db ] || grep -qx "Record: HomeDomain Library/SMS/sms.db" "$work/err.txt"; }
    check "$cmd of a backup whose $file holds 300,000 schema entries refuses it at once, by name" $?
done
# One-to-one chats whose names are a NUL and a blob holding one: named by their identifiers, as a
# group is, and every chat is written, as pages and as PDF files.
rm -rf "$work/nul-names" && cp -r "$in/messages" "$work/nul-names"
sqlite3 "$work/nul-names/$sms_db" "update chat set display_name=char(0) where chat_identifier='+15551230001';
    update chat set display_name=X'00FF' where chat_identifier='friend@example.com'"
for format in html pdf; do
    rm -rf "$work/nul-$format"
    limit=30 run export-messages --format $format "$work/nul-names" "$work/nul-$format"
    clean && [ "$rc" -eq 0 ] && [ -s "$work/nul-$format/+15551230001.$format" ] \
        && [ -s "$work/nul-$format/friend@example.com.$format" ] \
        && [ -s "$work/nul-$format/chat123456789012345678.$format" ]
    check "export-messages ($format) of chats named by a NUL and a blob writes every chat, by its identifier" $?
done
# A picked database's log at a link is never followed: the file is read without it, saying so.
mkdir -p "$work/picked" && cp "$in/messages/$sms_db" "$work/picked/sms.db"
/usr/bin/python3 - "$work/picked/sms.db" << 'EOF_PY'
import os, shutil, sqlite3, sys
c = sqlite3.connect(sys.argv[1]); c.execute('pragma journal_mode=wal'); c.execute('pragma wal_autocheckpoint=0')
c.execute('delete from message'); c.commit()
shutil.copy(sys.argv[1] + '-wal', sys.argv[1] + '.log'); os._exit(0) # the log stays unmerged
EOF_PY
rm -f "$work/picked/sms.db-wal" "$work/picked/sms.db-shm"
mv "$work/picked/sms.db.log" "$work/picked-log" && ln -s "$work/picked-log" "$work/picked/sms.db-wal"
limit=20 run messages "$work/picked/sms.db" < /dev/null
clean && [ "$rc" -eq 0 ] && ! grep -q '"messages": 0' "$work/out.txt" \
    && grep -qF "$work/picked/sms.db is read without $work/picked/sms.db-wal" "$work/err.txt"
check "messages of a picked sms.db whose log is a link read it without the log, saying so" $?
# Another user's journal or log beside a database the user reads from a folder everyone may write
# into holds that user's change: it is never played back into the read, the export or the user's
# backup; the database is read as its file holds it, and the file left out is named with its owner.
if [ "$(id -u)" -eq 0 ]; then
    cp "$in/messages/$sms_db" "$work/plain-sms.db"
    mine=$("$probe" messages "$work/plain-sms.db" 2> /dev/null | grep -o '"messages": [0-9]*')
    for companion in journal wal; do
        for cmd in messages export-messages restore-messages; do
            rm -rf "$work/tmp" "$work/theirs-out" "$work/into" && mkdir -p "$work/tmp" && chmod 1777 "$work/tmp"
            cp "$work/plain-sms.db" "$work/tmp/sms.db" && cp -r "$work/named" "$work/into"
            /usr/bin/python3 - "$gen" "$work/tmp/sms.db" $companion << 'EOF_PY'
import os, shutil, sqlite3, sys
sys.path.insert(0, sys.argv[1]); import make_backup as g
db, kind = sys.argv[2], sys.argv[3]
def run(path, *sql):
    c = sqlite3.connect(path)
    for s in sql: c.execute(s)
    c.commit(); c.close()
theirs = ("INSERT INTO message (guid, text, date) VALUES ('theirs', 'written by another user', 1)",
          "INSERT INTO chat_message_join (chat_id, message_id) SELECT min(ROWID), last_insert_rowid() FROM chat")
if kind == 'journal': # the file the user's own, whole; the pages the journal puts back hold their message
    run(db, *theirs)
    shutil.copy(db, db + '.t')
    g.leave_hot_journal(db + '.t', "DELETE FROM message WHERE guid = 'theirs'",
                        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40) SELECT zeroblob(4000) FROM n")
    run(db, "DELETE FROM message WHERE guid = 'theirs'")
    os.replace(db + '.t-journal', db + '-journal'); os.remove(db + '.t')
else: # their message only in the log
    c = sqlite3.connect(db); c.execute('pragma journal_mode=wal'); c.execute('pragma wal_autocheckpoint=0')
    for s in theirs: c.execute(s)
    c.commit(); shutil.copy(db + '-wal', db + '.log'); os._exit(0)
EOF_PY
            if [ $companion = wal ]; then
                rm -f "$work/tmp/sms.db-wal" "$work/tmp/sms.db-shm" && mv "$work/tmp/sms.db.log" "$work/tmp/sms.db-wal"
            fi
            chown 65534 "$work/tmp/sms.db-$companion"
            case $cmd in
                messages) run messages "$work/tmp/sms.db"; grep -qF "$mine," "$work/out.txt" ;;
                export-messages) run export-messages --format txt "$work/tmp/sms.db" "$work/theirs-out"
                    [ -s "$work/theirs-out" ] && ! grep -rq "written by another user" "$work/theirs-out" ;;
                restore-messages) HOME="$work/home" run restore-messages "$work/tmp/sms.db" "$work/into"
                    [ "$(sqlite3 "$work/into/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28" "select count(*) from message where guid = 'theirs'")" = 0 ] ;;
            esac
            shown=$?
            clean && [ "$rc" -eq 0 ] && [ $shown -eq 0 ] \
                && grep -qF "the file $work/tmp/sms.db-$companion stands in a folder everyone may write into and belongs to another user (nobody): it is not read" "$work/err.txt"
            check "$cmd of an sms.db beside another user's $companion in a shared folder reads it without, naming it" $?
        done
    done
else
    echo "SKIP: another user's journal in a shared folder can only be made as root"
fi
# So for the call database of a backup calls are merged into: its error is plain text (no HTML
# escapes), and the backup is left as it was.
rm -rf "$work/view-calls" && cp -r "$work/named" "$work/view-calls"
calls_db="$work/view-calls/5a/5a4935c78a5255723f707230a451d79c540d2741" # CallHistory.storedata
sqlite3 "$calls_db" "alter table ZCALLRECORD rename to Stored; create view ZCALLRECORD as select * from Stored"
sum_calls() { find "$work/view-calls" -type f -exec md5sum {} + | sort; }
calls_before=$(sum_calls)
limit=30 run merge-calls "$work/named" "$work/view-calls"
[ "$rc" -ne 0 ] && [ "$rc" -ne 124 ] && grep -qF "$calls_db: its \"ZCALLRECORD\" is a view" "$work/err.txt" \
    && ! grep -q '&[a-z]*;' "$work/err.txt" && [ "$(sum_calls)" = "$calls_before" ]
check "merge-calls into a backup whose call table is a view refuses it by name, in plain text" $?
# Nor do the triggers of the call database written into act on the merge's inserts.
calls_store=5a/5a4935c78a5255723f707230a451d79c540d2741 # CallHistory.storedata
rm -rf "$work/trigger-calls" && cp -r "$work/named" "$work/trigger-calls"
sqlite3 "$work/trigger-calls/$calls_store" "delete from ZCALLRECORD; create table spill(v);
    create trigger fill after insert on ZCALLRECORD begin insert into spill $endless select i from n; end"
limit=20 run merge-calls "$work/named/$calls_store" "$work/trigger-calls"
clean && [ "$rc" -eq 0 ] && [ "$(sqlite3 "$work/trigger-calls/$calls_store" 'select count(*) from spill')" = 0 ]
check "merge-calls into a call database whose trigger never ends writes the calls at once" $?

# A manifest's file whose reads fail (a failing disk) from its first byte or from its middle: the
# load names it with the system's reason and never calls it damaged, a Manifest.db with a log or
# without one. So for a stored message database,
# which is named by its stored copy and record (never by the probe's private copy), read whole or not.
. "$(dirname "$0")/failing_reads.sh"
failing_reads "$work"; check "a library that makes the reads of one file fail is built" $?
/usr/bin/python3 "$gen/make_backup.py" --wal-rows 2 "$work/eio" > /dev/null
/usr/bin/python3 "$gen/make_backup.py" --password 1234 --iter 10 --dpic 10 "$work/eio-enc" > /dev/null
/usr/bin/python3 "$gen/make_backup.py" --layout mbdb "$work/eio-mbdb" > /dev/null
sms=3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28
for file in eio/Manifest.db eio/Manifest.db-wal eio/Manifest.plist eio-enc/Manifest.db eio-mbdb/Manifest.mbdb \
            named/Manifest.db named/$sms; do
    for at in 0 half; do
        [ $at = half ] && at=$(($(stat -c %s "$work/$file") / 2))
        cmd="extract-tree $work/${file%%/*} $work/eio-out --password 1234"
        [ "${file#*/}" = $sms ] && cmd="messages $work/${file%%/*}"
        rm -rf "$work/eio-out"
        FAIL_READS=$work/$file FAIL_READS_AT=$at LD_PRELOAD=$failing_reads ASAN_OPTIONS=verify_asan_link_order=0 \
            run $cmd
        clean && [ "$rc" -eq 1 ] && grep -qiF "$work/$file. Input/output error" "$work/err.txt" \
            && ! grep -q damaged "$work/err.txt" \
            && { [ "${file#*/}" != $sms ] || grep -qx "Record: HomeDomain Library/SMS/sms.db" "$work/err.txt"; }
        check "${cmd%% *} of $file, its reads failing from byte $at, names it with the disk's reason" $?
    done
done
rm -rf "$work/dmg" && cp -r "$work/named" "$work/dmg" && printf '%100s' | dd of="$work/dmg/$sms" conv=notrunc 2> /dev/null
run messages "$work/dmg"
clean && [ "$rc" -eq 1 ] && grep -qF "file is not a database ($work/dmg/$sms)" "$work/err.txt" \
    && grep -qx "Record: HomeDomain Library/SMS/sms.db" "$work/err.txt" && ! grep -q qm-probe- "$work/err.txt"
check "messages of a backup whose sms.db is no database names its stored copy and record" $?

# A FIFO in place of a stored file, or a stored file whose reads fail (a disk's read error; here a
# link to the probe's own memory, which reads fail at its start): the other files are all
# extracted, and it is counted as one that could not be read, naming its stored copy with the
# reason. So in a plain and an encrypted backup, for the tree and for the media export.
/usr/bin/python3 "$gen/make_backup.py" --password 1234 --iter 10 --dpic 10 "$work/named-enc" > /dev/null
field() { grep -o "\"$1\":[0-9]*" "$work/out.txt" | grep -o '[0-9]*$'; }
sms=3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28 photo=d4/d46c91af097d8ea8c13f56bb0ea882325dc7d0e9
for row in "fifo named extract-tree $sms" "unreadable named extract-tree $sms" \
           "unreadable named-enc extract-tree $sms" "unreadable named export-media $photo" \
           "unreadable named-enc export-media $photo"; do
    set -- $row
    rm -rf "$work/fifo" "$work/fifo-out" && cp -r "$work/$2" "$work/fifo"
    stored="$work/fifo/$4"
    rm "$stored"
    if [ "$1" = fifo ]; then mkfifo "$stored"; why="Not a regular file"
    else ln -s /proc/self/mem "$stored"; why="Input/output error"; fi
    case $3 in
        extract-tree) limit=30 run extract-tree "$work/fifo" "$work/fifo-out" --password 1234 ;;
        export-media) limit=30 run export-media --kind photos "$work/fifo" "$work/fifo-out" --password 1234 ;;
    esac
    [ "$rc" -eq 1 ] && [ "$(field unreadable)" = 1 ] && grep -q "$stored. $why" "$work/err.txt" \
        && [ "$(field extracted)" -eq $(($(field total) - $(field missing) - 1)) ] \
        && [ "$(find "$work/fifo-out" -type f | wc -l)" -eq "$(field extracted)" ]
    check "$3 of $2 with a $1 stored file extracts the rest and counts it apart" $?
done

# A FIFO or a device given as the source of messages or calls, alone or as the database of a cache
# folder: refused at once, naming it, and the backup given to write into is left as it was.
cp -r "$work/named" "$work/target"
sum_target() { find "$work/target" -type f -exec md5sum {} + | sort; }
target_before=$(sum_target)
sms_rel=file-relay/var/mobile/Library/SMS/sms.db
calls_rel=2b2b0084a1bc3a5ac8c27afdf14afb42c61a19ca # call_history.db in a cache folder
for kind in fifo device; do
    rm -rf "$work/src" && mkdir -p "$work/src/cache/$(dirname $sms_rel)"
    for name in sms.db call_history.db cache/$sms_rel cache/$calls_rel; do
        if [ $kind = fifo ]; then mkfifo "$work/src/$name"; else ln -s /dev/zero "$work/src/$name"; fi
    done
    for cmd in messages restore-messages merge-calls; do
        if [ $cmd = merge-calls ]; then sources="call_history.db=call_history.db cache=cache/$calls_rel"
        else sources="sms.db=sms.db cache=cache/$sms_rel"; fi
        for pair in $sources; do
            src=$work/src/${pair%%=*} named=$work/src/${pair#*=}
            if [ $cmd = messages ]; then limit=10 run messages "$src"
            else limit=10 run $cmd "$src" "$work/target"; fi
            [ "$rc" -ne 0 ] && [ "$rc" -ne 124 ] && grep -qF "$named. Not a regular file" "$work/err.txt" && clean
            check "$cmd with a $kind as its source ${pair%%=*} fails at once, naming it" $?
        done
    done
done
[ "$(sum_target)" = "$target_before" ]
check "the backup to write into is left as it was" $?

echo "hostile input checks done: $failures failed"
exit $((failures > 0))

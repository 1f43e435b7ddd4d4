#pragma once

#include "app/AbsLocalDb.h"
#include "notes_media/INotesDb.h"

// The local notes store "notes.db" of a local database folder: table notes(_id, create_date,
// modified_date, title, summary, content, dev_id, src_id, hash), times in seconds since 1970.
// Made with its schema when the file is missing at the first use.
class LocalNotesDb : public AbsLocalDb, public INotesDb
{
public:
    explicit LocalNotesDb(QString path);
    ~LocalNotesDb() override;

    void open() override;
    // Every stored note, newest change first; a note's srcId is its row id here.
    QList<_Notes> notes() override;
    // Notes in the store; throws when the store cannot be opened or counted.
    qint64 total();
    // Updates the row of the same title and content (by _Notes::toHash) or inserts one. Begins no
    // transaction of its own. Throws.
    void saveNote(const _Notes& note);
};

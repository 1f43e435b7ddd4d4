#pragma once

#include "notes_media/_Notes.h"

#include <QList>

// The read interface of a notes source: a backup's notes database or a local store.
class INotesDb
{
public:
    virtual ~INotesDb() = default;
    // Every note, newest change first. Throws on failure.
    virtual QList<_Notes> notes() = 0;
};

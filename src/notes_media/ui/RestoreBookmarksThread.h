#pragma once

#include "notes_media/_Bookmark.h"

#include <QList>
#include <QString>
#include <QThread>

class ProgressForm;

// Restore of bookmarks to a connected device. The device's bookmark records are not known to
// this version, so the run reports that the restore cannot be done and writes nothing.
class RestoreBookmarksThread : public QThread
{
    Q_OBJECT
public:
    RestoreBookmarksThread(
        QString udid, QList<_Bookmark*> bookmarks, ProgressForm* form, QObject* parent = nullptr);

protected:
    void run() override;

private:
    QString m_udid;
    QList<_Bookmark*> m_bookmarks;
    ProgressForm* m_form;
};

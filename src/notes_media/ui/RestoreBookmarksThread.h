#pragma once

#include "notes_media/_Bookmark.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QThread>

class ProgressForm;
class SyncRecordWriter;

// Restores bookmarks to a connected device over its sync service. The device's bookmarks are read
// into a tree, the given bookmarks are merged into it (folders by parent and title, bookmarks by
// parent and URL, as the local store saves them), and only what the device lacks is sent, in
// batches of at most 20 records, each in one exchange: folders first, each after its own folder,
// then the bookmarks. The device's other bookmarks are never changed. The trees given are not
// owned and must outlive the thread.
class RestoreBookmarksThread : public QThread
{
    Q_OBJECT
public:
    RestoreBookmarksThread(
        QString udid, QList<_Bookmark*> bookmarks, ProgressForm* form, QObject* parent = nullptr);

protected:
    void run() override;

private:
    // False when the user cancelled between batches.
    bool restore();
    void sendBatch(const QList<_Bookmark*>& nodes);
    // Sends the nodes whose folder the device already knows in one message and takes them out of
    // `nodes`; each then carries the identifier the device gave it.
    void sendPlaced(SyncRecordWriter& writer, QList<_Bookmark*>& nodes);
    QString newRecordId();

    QString m_udid;
    QList<_Bookmark*> m_bookmarks;
    ProgressForm* m_form;
    QSet<QString> m_usedIds; // the device's identifiers and those sent in this run
    int m_lastId = 0;
};

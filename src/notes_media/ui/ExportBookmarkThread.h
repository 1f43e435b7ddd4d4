#pragma once

#include "notes_media/_Bookmark.h"

#include <QList>
#include <QString>
#include <QThread>

class BookmarkHtmlWriter;
class ProgressForm;

// Writes bookmark trees into one HTML bookmark file under a progress dialog. The trees are not
// owned: the caller keeps them alive until the thread has ended. A cancel or a failed write
// removes the partial file.
class ExportBookmarkThread : public QThread
{
    Q_OBJECT
public:
    ExportBookmarkThread(
        const QList<_Bookmark*>& bookmarks, QString path, ProgressForm* form, QObject* parent = nullptr);

    int total = 0;
    int written = 0;

protected:
    void run() override;

private:
    void writeBookmark(const _Bookmark* bookmark, BookmarkHtmlWriter& writer);

    QList<_Bookmark*> m_bookmarks;
    QString m_path;
    ProgressForm* m_form;
};

#include "notes_media/ui/ExportBookmarkThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "notes_media/BookmarkHtmlWriter.h"

#include <QFile>
#include <algorithm>
#include <utility>

ExportBookmarkThread::ExportBookmarkThread(
    const QList<_Bookmark*>& bookmarks, QString path, ProgressForm* form, QObject* parent)
    : QThread(parent)
    , m_bookmarks(bookmarks)
    , m_path(std::move(path))
    , m_form(form)
{
}

void ExportBookmarkThread::run()
{
    total = 0;
    written = 0;
    std::stable_sort(m_bookmarks.begin(), m_bookmarks.end(), compareBookmarkLess);
    total = _Bookmark::countOf(m_bookmarks);
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        m_form->invokeErrorOccurred(file.errorString());
        return;
    }
    BookmarkHtmlWriter writer(&file);
    writer.writeHeader();
    for (const _Bookmark* b : std::as_const(m_bookmarks))
        writeBookmark(b, writer);
    writer.writeFooter();
    const bool flushed = file.flush();
    const QString error = file.errorString();
    file.close();
    if (m_form->cancelled) {
        QFile::remove(m_path);
        return;
    }
    if (!writer.ok() || !flushed || file.error() != QFileDevice::NoError) {
        QFile::remove(m_path);
        m_form->invokeErrorOccurred(tr("Cannot write %1. %2").arg(m_path, error));
        return;
    }
    m_form->invokeSucceed(tr("IDS_SUC_EXPORT_%1_BOOKMARKS").arg(written));
}

void ExportBookmarkThread::writeBookmark(const _Bookmark* bookmark, BookmarkHtmlWriter& writer)
{
    if (m_form->cancelled || !writer.ok())
        return;
    if (bookmark->isFolder) {
        writer.beginFolder(bookmark->title);
        QList<_Bookmark*> children = bookmark->children;
        std::stable_sort(children.begin(), children.end(), compareBookmarkLess);
        for (const _Bookmark* c : std::as_const(children))
            writeBookmark(c, writer);
        writer.endFolder();
        return;
    }
    ++written;
    m_form->invokeUpdateProgress(tr("IDS_EXPORTING_BOOKMARKS"), int(double(written) / total * 100.0),
        QStringLiteral("%1 / %2").arg(written).arg(total));
    writer.writeLink(bookmark->url, bookmark->title);
}

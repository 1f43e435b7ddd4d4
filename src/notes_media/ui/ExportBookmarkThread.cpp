#include "notes_media/ui/ExportBookmarkThread.h"

#include "app/OutputFile.h"
#include "app/ui/shared/ProgressForm.h"
#include "notes_media/BookmarkHtmlWriter.h"

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
    OutputFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_form->invokeErrorOccurred(tr("Cannot write %1. %2").arg(m_path, file.errorString()));
        return;
    }
    BookmarkHtmlWriter writer(&file);
    writer.writeHeader();
    for (const _Bookmark* b : std::as_const(m_bookmarks))
        writeBookmark(b, writer);
    writer.writeFooter();
    // Cancelled: the temporary goes and whatever stood at the name stays.
    if (m_form->cancelled)
        return;
    if (!writer.ok() || !file.commit()) {
        m_form->invokeErrorOccurred(tr("Cannot write %1. %2").arg(m_path, file.errorString()));
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

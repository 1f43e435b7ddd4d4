#include "messages/ui/AttachmentExtractThread.h"

#include "app/DataPaths.h"
#include "app/MacEpoch.h"
#include "app/OutputFile.h"
#include "app/ui/shared/ProgressForm.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgMessage.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <stdexcept>

namespace
{
constexpr qint64 kEpoch2001 = kMacEpochOffset;
} // namespace

AttachmentExtractThread::AttachmentExtractThread(
    ProgressForm* form, QList<_MsgMessage*> messages, QString folder, QObject* parent)
    : QThread(parent)
    , m_form(form)
    , m_messages(std::move(messages))
    , m_folder(folder)
{
}

void AttachmentExtractThread::run()
{
    const QString target = m_folder.absolutePath();
    QString why;
    if (!m_madeFolders.makeDestination(target, &why)) {
        m_madeFolders.removeEmpty();
        m_form->invokeErrorOccurred(why);
        return;
    }
    const int n = m_messages.size();
    int i = 0;
    int count = 0;
    for (const _MsgMessage* m : m_messages) {
        if (m_form->cancelled)
            return undo();
        ++i;
        m_form->invokeUpdateProgress(tr("IDS_EXTRACTING_MEDIA_FILES"), int(double(i) / n * 100), QString());
        for (const _MsgAttachment* a : m->attachments()) {
            if (m_form->cancelled)
                return undo();
            try {
                if (extractOne(*m, *a))
                    ++count;
            } catch (const std::exception& e) {
                undo();
                m_form->invokeErrorOccurred(QString::fromUtf8(e.what()));
                return;
            }
        }
    }
    if (!m_notAsWritten.isEmpty())
        m_form->invokeErrorOccurred(m_notAsWritten.text(
            QStringLiteral("%1 other MMS attachments were extracted to %2.").arg(count).arg(target)));
    else
        m_form->invokeSucceed(tr("IDS_SUC_EXTRACT_%1_MEDIA_FILES_TO_%2").arg(count).arg(target));
}

bool AttachmentExtractThread::extractOne(const _MsgMessage& message, const _MsgAttachment& a)
{
    QString dest;
    const bool written = writeOne(message, a, &dest);
    if (a._notAsWritten.isEmpty())
        return written;
    // Its bytes may be all there is of it, but they are not the phone's file: counted apart.
    m_notAsWritten.add(
        a, written ? dest : QStringLiteral("%1 (not written)").arg(NotAsWrittenAttachments::fileNameOf(a)));
    return false;
}

bool AttachmentExtractThread::writeOne(const _MsgMessage& message, const _MsgAttachment& a, QString* written)
{
    if (a._path.isEmpty() || !QFileInfo(a._path).isFile())
        return false;
    QString name = g_formatFileName(a.filename.section(QLatin1Char('/'), -1));
    if (name.isEmpty())
        name = g_formatFileName(QFileInfo(a._path).fileName());
    const QString dest = g_getValidFilePath(m_folder.absoluteFilePath(name));
    QFile in(a._path);
    if (!in.open(QIODevice::ReadOnly))
        return false; // only what was written counts
    OutputFile out(dest);
    // A name the file system refuses (too long) is this file's alone; a write that fails is not.
    if (!out.open(QIODevice::WriteOnly) && out.error() == ENAMETOOLONG)
        return false;
    if (!out.isOpen() || !out.copyFrom(in.handle()) || !out.commit()) {
        // A read the disk fails is told as the attachment's, not as the copy's write.
        const QString why = out.sourceFailed()
            ? QStringLiteral("Cannot read %1. %2").arg(QDir::toNativeSeparators(a._path), out.errorString())
            : out.failure();
        throw std::runtime_error(why.toStdString());
    }
    m_written << dest;
    *written = dest;
    QFile copy(dest);
    if (copy.open(QIODevice::ReadWrite)) {
        const QDateTime when = QDateTime::fromSecsSinceEpoch(qint64(message.date) + kEpoch2001, Qt::UTC);
        copy.setFileTime(when, QFileDevice::FileModificationTime);
        copy.setFileTime(when, QFileDevice::FileAccessTime);
    }
    return true;
}

void AttachmentExtractThread::undo()
{
    for (const QString& path : std::as_const(m_written))
        QFile::remove(path);
    m_madeFolders.removeEmpty(); // only those that hold nothing else
}

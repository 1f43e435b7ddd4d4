#include "messages/ui/AttachmentExtractThread.h"

#include "app/CountText.h"
#include "app/DataPaths.h"
#include "app/FileNameFit.h"
#include "app/MacEpoch.h"
#include "app/OutputFile.h"
#include "app/PathWalk.h"
#include "app/RegularFile.h"
#include "app/ui/shared/ProgressForm.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgMessage.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <stdexcept>
#include <sys/stat.h>

namespace
{
constexpr qint64 kEpoch2001 = kMacEpochOffset;
// Attachments left out that are named at most; the count tells the rest.
constexpr int kNamed = 10;

// The name an attachment is written under: its device file name (else its local copy's) cleaned,
// marked when cleaning changed it, so that it never takes another attachment's own name.
QString madeName(const _MsgAttachment& a)
{
    for (const QString& given : { a.filename.section(QLatin1Char('/'), -1), QFileInfo(a._path).fileName() }) {
        const QString clean = g_formatFileName(given);
        if (!clean.isEmpty())
            return FileNameFit::markedIfChanged(given, clean);
    }
    return QString();
}
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
    const QString target = PathWalk::absolute(m_folder.path());
    QString why;
    if (!m_madeFolders.makeDestination(target, &why)) {
        m_madeFolders.removeEmpty();
        m_form->invokeErrorOccurred(why);
        return;
    }
    m_held = m_madeFolders.destination();
    for (const _MsgMessage* m : std::as_const(m_messages))
        for (const _MsgAttachment* a : m->attachments())
            m_owned.insert(madeName(*a));
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
    const QString leftOut = m_leftOut > 0 ? leftOutText() : QString();
    const QString extracted = tr("IDS_SUC_EXTRACT_%1_MEDIA_FILES_TO_%2").arg(count).arg(target);
    if (!m_notAsWritten.isEmpty())
        m_form->invokeErrorOccurred(
            m_fitted.after(m_notAsWritten.text((leftOut.isEmpty() ? QString() : leftOut + '\n')
                + QStringLiteral("%1 other MMS attachments were extracted to %2.").arg(count).arg(target))));
    else
        m_form->invokeSucceed(m_fitted.after(leftOut.isEmpty() ? extracted : extracted + '\n' + leftOut));
}

bool AttachmentExtractThread::extractOne(const _MsgMessage& message, const _MsgAttachment& a)
{
    QString dest;
    const QString leftOut = writeOne(message, a, &dest);
    if (a._notAsWritten.isEmpty()) {
        if (!leftOut.isEmpty())
            noteLeftOut(a, leftOut);
        return leftOut.isEmpty();
    }
    // Its bytes may be all there is of it, but they are not the phone's file: counted apart.
    m_notAsWritten.add(a,
        leftOut.isEmpty() ? dest
                          : QStringLiteral("%1 (not written)").arg(NotAsWrittenAttachments::fileNameOf(a)));
    return false;
}

QString AttachmentExtractThread::writeOne(
    const _MsgMessage& message, const _MsgAttachment& a, QString* written)
{
    if (a._path.isEmpty())
        return a.filename.isEmpty()
            ? QStringLiteral("its record names no file.")
            : QStringLiteral("%1 leads to no file inside the messages' folder.").arg(a.filename);
    // "(n)" among the names of this run, skipping those other attachments own; what stood before is
    // kept by the write itself.
    const QString own = madeName(a);
    QString name = FileNameFit::freeName(own, [&](const QString& taken) {
        return m_placed.contains(taken) || (taken != own && m_owned.contains(taken));
    });
    QFile in;
    QString why;
    if (!RegularFile::openRead(in, a._path, &why))
        return QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(a._path), why);
    OutputFile out(m_held, name);
    out.setModified(qint64(message.date) + kEpoch2001);
    out.setFitName(true);
    out.setKeepStanding(true);
    // A name the file system refuses (too long, or in every form fitted to it) is this file's
    // alone; a write that fails is not.
    if (!out.open(QIODevice::WriteOnly) && (out.error() == ENAMETOOLONG || out.nameRefused()))
        return out.failure();
    if (!out.isOpen() || !out.copyFrom(in.handle()) || !out.commit()) {
        if (out.nameRefused())
            return out.failure();
        // A read the disk fails is told as the attachment's, not as the copy's write.
        const QString failed = out.sourceFailed()
            ? QStringLiteral("Cannot read %1. %2").arg(QDir::toNativeSeparators(a._path), out.errorString())
            : out.failure();
        throw std::runtime_error(failed.toStdString());
    }
    m_fitted.add(m_held.filePath(name), out.placed());
    m_placed.insert(name);
    name = out.placedName();
    m_placed.insert(name);
    struct stat st;
    // A file that stood with the very bytes is the user's: a cancel leaves it.
    if (!out.keptStanding() && m_held.lstat(name, &st))
        m_written.append({ name, st.st_dev, st.st_ino });
    *written = m_held.filePath(name);
    return QString();
}

void AttachmentExtractThread::noteLeftOut(const _MsgAttachment& a, const QString& why)
{
    if (++m_leftOut <= kNamed)
        m_leftOutNamed
            << QStringLiteral("%1 (left out): %2").arg(NotAsWrittenAttachments::fileNameOf(a), why);
}

QString AttachmentExtractThread::leftOutText() const
{
    QStringList lines { CountText::of(m_leftOut, QStringLiteral("1 attachment was left out:"),
        QStringLiteral("%1 attachments were left out:")) };
    lines << m_leftOutNamed;
    if (m_leftOut > m_leftOutNamed.size())
        lines << QStringLiteral("... and %1 more.").arg(m_leftOut - m_leftOutNamed.size());
    return lines.join(QLatin1Char('\n'));
}

void AttachmentExtractThread::undo()
{
    for (const Written& w : std::as_const(m_written))
        m_held.removeIfSame(w.name, w.dev, w.ino);
    m_madeFolders.removeEmpty(); // only those that hold nothing else
}

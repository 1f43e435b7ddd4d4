#include "messages/ui/DeleteMMSThread.h"

#include "app/HeldFolder.h"
#include "app/ui/shared/ProgressForm.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgEarlierCopies.h"
#include "messages/store/MsgMessage.h"
#include "messages/store/MsgPath.h"

#include <QFileInfo>
#include <QSet>
#include <exception>
#include <sys/stat.h>

DeleteMMSThread::DeleteMMSThread(
    const QDir& folder, const QList<_MsgMessage*>& messages, ProgressForm& form, QObject* parent)
    : QThread(parent)
    , m_folder(folder)
    , m_messages(messages)
    , m_form(form)
{
}

void DeleteMMSThread::run()
{
    m_form.invokeUpdateProgress(tr("IDS_DELETING_MMS"), 0, QString());
    IOS6MessageDb db(m_folder, _CountryInfo(), false);
    try {
        deleteThrow(db);
    } catch (int) {
        // Cancelled: nothing deleted, nothing reported.
        try {
            db.endEdit(false);
        } catch (const std::exception&) {
        }
    } catch (const std::exception& e) {
        try {
            db.endEdit(false);
        } catch (const std::exception&) {
        }
        m_form.invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}

void DeleteMMSThread::deleteThrow(IOS6MessageDb& db)
{
    const int n = m_messages.size();
    db.beginEdit();
    int i = 0;
    for (const _MsgMessage* m : m_messages) {
        if (m_form.cancelled)
            throw -1;
        ++i;
        m_form.invokeUpdateProgress(
            QString(), int(double(i) / n * 100), QStringLiteral("Messages: %1/%2").arg(i).arg(n));
        db.deleteMessage(m);
    }
    db.endEdit(true);
    removeFreedFiles(db);
    m_form.invokeSucceed(tr("IDS_SUC_DELETE_%1_MESSAGES").arg(n));
}

void DeleteMMSThread::removeFreedFiles(IOS6MessageDb& db)
{
    const QDir relay(m_folder.absoluteFilePath(QStringLiteral("file-relay")));
    QSet<QString> seen;
    QStringList candidates; // the files freed attachments lead to, by the rule of now or the earlier
    for (const _MsgMessage* m : m_messages) {
        for (const _MsgAttachment* a : m->attachments()) {
            if (a->filename.isEmpty() || seen.contains(a->filename))
                continue;
            seen.insert(a->filename);
            // Only files inside the store's own folder.
            const QString path = msgRelayPath(relay, a->filename);
            if (!path.isEmpty() && QFileInfo(path).isFile())
                candidates << path;
            const QString before = MsgEarlierCopies::standingEarlierFile(relay, a->filename);
            if (!before.isEmpty())
                candidates << before;
        }
    }
    // A file goes only when no remaining record leads to it by either rule: a file at one record's
    // name may hold the bytes an earlier version saved of another, its only copy. The records are
    // read once; when they cannot be, every file stays.
    try {
        const auto records
            = [&](const std::function<void(const QString&)>& each) { db.eachAttachmentFilename(each); };
        const QStringList freed = MsgEarlierCopies::namedByNone(relay, candidates, records);
        // From the store's folder, held, never through a link below it: a folder swapped meanwhile
        // loses nothing.
        const HeldFolder held = freed.isEmpty() ? HeldFolder() : HeldFolder::open(relay.absolutePath());
        for (const QString& path : freed) {
            const QString rel = relay.relativeFilePath(path);
            const qsizetype slash = rel.lastIndexOf(QLatin1Char('/'));
            const HeldFolder folder = slash < 0 ? held : held.subPath(HeldFolder::native(rel.left(slash)));
            const QString name = rel.mid(slash + 1);
            struct stat st;
            if (folder.lstat(name, &st) && S_ISREG(st.st_mode))
                folder.removeIfSame(name, st.st_dev, st.st_ino);
        }
    } catch (const std::exception&) {
    }
}

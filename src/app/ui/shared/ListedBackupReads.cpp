#include "app/ui/shared/ListedBackupReads.h"

#include "app/ui/shared/ManifestInfoThread.h"
#include "app/ui/shared/ProgressForm.h"

#include <QDir>

ListedBackupReads::ListedBackupReads(QObject* parent)
    : QObject(parent)
{
}

ListedBackupReads::~ListedBackupReads()
{
    for (const auto& [read, thread] : m_reads)
        thread->cancel();
}

quint64 ListedBackupReads::start(const QString& path)
{
    const quint64 read = ++m_lastRead;
    auto* thread = new ManifestInfoThread(path);
    // The outcome is taken before the thread is freed: both are queued to this thread, in this order.
    connect(thread, &QThread::finished, this, [this, read] { settle(read); });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    m_reads.emplace(read, thread);
    thread->start();
    return read;
}

bool ListedBackupReads::waitFor(quint64 read, QWidget* parent)
{
    const auto it = m_reads.find(read);
    if (it == m_reads.end())
        return true;
    // Most reads end in a moment: no dialog flashes up for them.
    if (it->second->wait(50)) {
        settle(read);
        return true;
    }
    ProgressForm form(tr("IDS_READING_BACKUP_%1").arg(QDir::toNativeSeparators(it->second->path())), parent);
    form.setQuiet(true);
    connect(this, &ListedBackupReads::ended, &form, [&form, read](quint64 done) {
        if (done == read)
            form.succeed(QString());
    });
    return form.exec() == 1;
}

void ListedBackupReads::settle(quint64 read)
{
    const auto it = m_reads.find(read);
    if (it == m_reads.end())
        return; // taken already, by a wait
    ManifestInfoThread* thread = it->second;
    m_reads.erase(it);
    Q_EMIT ended(read, *thread);
}

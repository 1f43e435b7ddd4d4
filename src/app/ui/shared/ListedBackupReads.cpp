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
    for (const quint64 read : m_waiting)
        delete m_reads.at(read); // never started
    for (const quint64 read : m_waiting)
        m_reads.erase(read);
    for (const auto& [read, thread] : m_reads)
        thread->cancel();
}

quint64 ListedBackupReads::start(const QString& path, bool entry)
{
    const quint64 read = ++m_lastRead;
    auto* thread = new ManifestInfoThread(path, entry);
    // The outcome is taken before the thread is freed: both are queued to this thread, in this order.
    connect(thread, &QThread::finished, this, [this, read] {
        --m_running;
        settle(read);
        startWaiting();
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    m_reads.emplace(read, thread);
    m_waiting.push_back(read);
    startWaiting();
    return read;
}

void ListedBackupReads::startWaiting()
{
    while (m_running < kAtOnce && !m_waiting.empty()) {
        const auto it = m_reads.find(m_waiting.front());
        m_waiting.pop_front();
        if (it == m_reads.end() || it->second->isRunning())
            continue;
        ++m_running;
        it->second->start();
    }
}

bool ListedBackupReads::waitFor(quint64 read, QWidget* parent)
{
    const auto it = m_reads.find(read);
    if (it == m_reads.end())
        return true;
    // Waited for, it goes before those waiting their turn.
    if (!it->second->isRunning() && !it->second->isFinished()) {
        std::erase(m_waiting, read);
        ++m_running;
        it->second->start();
    }
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

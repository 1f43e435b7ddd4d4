#include "messages/ui/PageFileWriter.h"

#include "app/OutputFile.h"
#include "app/RunFolder.h"
#include "app/WrittenDisks.h"
#include "app/ui/shared/OffThread.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <mutex>

struct PageFileWriter::Files {
    std::mutex mutex;
    std::unique_ptr<QTemporaryDir> dir;
    QStringList kept; // oldest first
};

namespace
{

struct Outcome {
    QString path;
    QString why;
};

// Written anew for each page (no flush to the disk for a private page), whole or not at all.
Outcome writePage(PageFileWriter::Files& files, quint64 request, const QByteArray& bytes)
{
    const std::lock_guard<std::mutex> lock(files.mutex);
    if (!files.dir)
        files.dir = std::make_unique<QTemporaryDir>(RunFolder::templateFor(QStringLiteral("qm-pages")));
    if (!files.dir->isValid())
        return { QString(),
            QStringLiteral("Cannot create a temporary folder. %1").arg(files.dir->errorString()) };
    const QString page = files.dir->filePath(QStringLiteral("page-%1.html").arg(request));
    const WrittenDisks::Unnoted privatePage;
    OutputFile out(page);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        return { QString(), out.failure() };
    files.kept.append(page);
    while (files.kept.size() > 2)
        QFile::remove(files.kept.takeFirst());
    return { page, QString() };
}

} // namespace

PageFileWriter::PageFileWriter(QObject* parent)
    : QObject(parent)
    , m_files(std::make_shared<Files>())
{
}

PageFileWriter::~PageFileWriter()
{
    // The folder goes on a worker too; a write still under way drops the last hold on it there.
    OffThread::run([this] { m_files.reset(); });
}

void PageFileWriter::write(quint64 request, QByteArray bytes)
{
    auto outcome = std::make_shared<Outcome>();
    QThread* thread
        = QThread::create([files = m_files, outcome, request, bytes = std::move(bytes)]() mutable {
              const std::shared_ptr<Files> held
                  = std::move(files); // let go of here, not where the thread is deleted
              *outcome = writePage(*held, request, bytes);
              bytes = QByteArray();
          });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &QThread::finished, this,
        [this, outcome, request] { emit written(request, outcome->path, outcome->why); });
    thread->start();
}

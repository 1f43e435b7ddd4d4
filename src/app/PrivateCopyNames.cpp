#include "app/PrivateCopyNames.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QStringList>
#include <algorithm>
#include <utility>

namespace
{

struct Original {
    QString path;
    QString record;
    PrivateCopyNames::Texts texts;
};

QMutex& lock()
{
    static QMutex mutex;
    return mutex;
}

QHash<QString, Original>& originals()
{
    static QHash<QString, Original> byCopy;
    return byCopy;
}

// path with the links on its way resolved, as far as it exists: SQLite names a file it opened so.
QString resolved(const QString& path)
{
    QString head = QFileInfo(path).absoluteFilePath();
    QString tail;
    for (qsizetype slash = head.size(); slash > 0; slash = head.lastIndexOf(QLatin1Char('/'))) {
        tail = head.mid(slash) + tail;
        head.truncate(slash);
        const QString canonical = QFileInfo(head).canonicalFilePath();
        if (!canonical.isEmpty())
            return canonical + tail;
    }
    return path;
}

} // namespace

void PrivateCopyNames::note(const QString& copy, const QString& original, const QString& record, Texts texts)
{
    const QString real = resolved(copy);
    const QMutexLocker locked(&lock());
    originals().insert(copy, { original, record, texts });
    originals().insert(real, { original, record, texts });
}

void PrivateCopyNames::noteWorkCopy(const QString& copy, const QString& of)
{
    Original original { of, QString(), Texts::DatabaseErrors };
    {
        const QMutexLocker locked(&lock());
        const auto noted = originals().constFind(originals().contains(of) ? of : resolved(of));
        if (noted != originals().cend())
            original = *noted;
    }
    note(copy, original.path, original.record, Texts::DatabaseErrors);
}

QString PrivateCopyNames::userNames(QString text, Texts kind)
{
    const QMutexLocker locked(&lock());
    QStringList copies = originals().keys();
    // Longest first: a database's copy names the start of its log's copy.
    std::sort(
        copies.begin(), copies.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
    QStringList records;
    for (const QString& copy : std::as_const(copies)) {
        const Original& o = originals()[copy];
        if (o.texts == Texts::All || kind == o.texts)
            text.replace(copy, o.path);
        if (!o.record.isEmpty() && text.contains(o.path) && !records.contains(o.record))
            records.append(o.record);
    }
    for (const QString& record : std::as_const(records))
        if (!text.contains(record))
            text += QLatin1Char('\n') + record;
    return text;
}

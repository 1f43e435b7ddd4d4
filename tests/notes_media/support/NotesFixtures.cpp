#include "notes_media/support/NotesFixtures.h"

#include "backup/MBDBParser.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QProcess>
#include <QtDebug>

namespace NotesFixtures
{

QString generate(const QString& script, const QStringList& args, const QString& fileName)
{
    const QString out = TestEnv::tempDir() + QLatin1Char('/') + fileName;
    QProcess p;
    p.start(QStringLiteral("python3"),
        QStringList { QStringLiteral(QM_TOOLS_DIR "/gen/") + script } + args + QStringList { out });
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        qWarning() << "generator failed:" << p.readAllStandardError();
        return {};
    }
    return out;
}

QDir cacheWith(const QString& file, const QString& domain, const QString& rel)
{
    const QDir dir(TestEnv::tempDir());
    const QString dest = dir.absoluteFilePath(MBDBParser::backupFileName(domain, rel));
    QFile::copy(file, dest);
    QFile::setPermissions(dest, QFile::ReadOwner | QFile::WriteOwner);
    return dir;
}

QDir bookmarksCache(const QString& file)
{
    return cacheWith(file, QStringLiteral("HomeDomain"), QStringLiteral("Library/Safari/Bookmarks.db"));
}

QDir notesCache(const QString& file)
{
    return cacheWith(file, QStringLiteral("HomeDomain"), QStringLiteral("Library/Notes/notes.sqlite"));
}

QString python(const QString& code, const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("python3"), QStringList { QStringLiteral("-c"), code } + args);
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        qWarning() << "python failed:" << p.readAllStandardError();
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace NotesFixtures

#include "calls_calendars/support/CallsFixtures.h"

#include "calls_calendars/IOSCalendarDb.h"
#include "calls_calendars/IOSCallHistoryDb.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QUuid>

namespace CallsFixtures
{

QString runPython(const QStringList& args, int timeoutMs)
{
    const QString python = QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    QProcess p;
    p.start(python, args);
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning(
            "python3 %s failed: %s", qUtf8Printable(args.join(' ')), p.readAllStandardError().constData());
        return QString();
    }
    QString out = QString::fromUtf8(p.readAllStandardOutput());
    return out.isNull() ? QStringLiteral("") : out;
}

static QString generate(const QString& script, const QString& suffix, const QStringList& args)
{
    const QString out = TestEnv::tempDir() + "/" + QUuid::createUuid().toString(QUuid::Id128) + suffix;
    if (runPython(QStringList { QString::fromUtf8(QM_TOOLS_DIR) + "/gen/" + script, out } + args).isNull())
        return QString();
    return out;
}

QString makeCallDb(const QStringList& args)
{
    return generate("make_call_history.py", ".db", args);
}

QString makeCalendarDb(const QStringList& args)
{
    return generate("make_calendar_db.py", ".sqlitedb", args);
}

QString cacheWith(const QList<QPair<QString, QString>>& files)
{
    const QDir dir(TestEnv::tempDir());
    for (const auto& f : files) {
        if (f.second.isEmpty())
            continue;
        const QString dest = dir.absoluteFilePath(f.first);
        QFile::copy(f.second, dest);
        QFile::setPermissions(dest, QFile::ReadOwner | QFile::WriteOwner);
    }
    return dir.absolutePath();
}

QString otapkiCalendarCache()
{
    const QString file = TestEnv::realFixture("otapki-iphone/HomeDomain/Library/Calendar/Calendar.sqlitedb");
    return file.isEmpty() ? QString() : cacheWith({ { IOSCalendarDb::kCalendarFile, file } });
}

QString tracyCache()
{
    const QString calls = TestEnv::realFixture("tracy-phone-2012/call_history.db");
    const QString book = TestEnv::realFixture("tracy-phone-2012/AddressBook.sqlitedb");
    if (calls.isEmpty() || book.isEmpty())
        return QString();
    return cacheWith(
        { { IOSCallHistoryDb::kOldDbFile, calls }, { IOSCallHistoryDb::kAddressBookFile, book } });
}

} // namespace CallsFixtures

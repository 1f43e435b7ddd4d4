#include "messages/ui/support/MsgUiFixtures.h"

#include "app/ui/shared/ProgressForm.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/support/MsgFixtures.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QThread>

namespace MsgUiFixtures
{

_MsgAttachment cutAttachment(const QString& folder, const QString& name, qint64 rowid)
{
    _MsgAttachment a;
    a.rowid = rowid;
    a.guid = QStringLiteral("ATT-CUT-%1").arg(rowid);
    a.filename = QStringLiteral("~/Library/SMS/Attachments/%1/%2").arg(folder, name);
    a._path = TestEnv::tempDir() + QLatin1Char('/') + name;
    a._notAsWritten = QStringLiteral(
        "The stored copy /bk/%1 is not the file the phone wrote: it ends without its padding.")
                          .arg(folder);
    QFile half(a._path);
    if (!half.open(QIODevice::WriteOnly) || half.write("first half") != 10)
        a._path.clear();
    return a;
}

MsgData loadFolder(const QString& folder)
{
    MsgData data;
    IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
    db.messages(data, 0);
    return data;
}

int runQuiet(ProgressForm& form, QThread& thread)
{
    form.setQuiet(true);
    thread.start();
    const int result = form.exec();
    thread.wait();
    return result;
}

void runCancelled(ProgressForm& form, QThread& thread)
{
    form.setQuiet(true);
    form.cancelled = true;
    thread.start();
    thread.wait();
}

QString magnetCache()
{
    const QString db = TestEnv::realFixture("magnet-ctf-2020-sms/sms.db");
    if (db.isEmpty() || !QFile::exists(db))
        return QString();
    return MsgFixtures::cacheFolderWith(db);
}

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace MsgUiFixtures

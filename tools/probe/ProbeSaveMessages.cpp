#include "ProbeCommand.h"
#include "ProbeMessageSource.h"
#include "ProbeWorker.h"
#include "app/LeaveAtExit.h"
#include "app/MadeFolders.h"
#include "app/PathWalk.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/MsgData.h"
#include "messages/ui/BackupMMSThread.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{
// STORE, absolute; one that goes up ("..") is named by where its way leads, as the system walks it:
// a ".." after a link goes up from where the link leads, and another user's link in a shared folder
// is not followed.
QString storePath(const QString& given)
{
    if (!PathWalk::goesUp(given))
        return QDir(given).absolutePath();
    const QString path = PathWalk::absolute(given), name = QFileInfo(path).fileName();
    const bool whole = name == QLatin1String("..") || name == QLatin1String(".");
    QString why;
    const HeldFolder above = MadeFolders::makeHeld(whole ? path : QFileInfo(path).path(), &why);
    if (!above.isValid())
        throw std::runtime_error(why.toStdString());
    return whole ? above.path() : above.filePath(name);
}

int runSaveMessages(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 2) {
        err << "usage: qm-probe save-messages SRC STORE\n";
        return 2;
    }
    ProbeMessageSource source(args.at(0));
    auto loaded = std::make_unique<MsgData>();
    source.load(*loaded);
    const QDir store(storePath(args.at(1)));
    const QList<_MsgMessage*> messages = loaded->messages();
    const int rc = probeRunWorker(
        [&](ProgressForm& form) {
            return std::make_unique<BackupMMSThread>(store, _CountryInfo(), messages, form, nullptr);
        },
        out, err);
    leaveAtExit(std::move(loaded));
    if (rc != 0)
        return rc;
    // What a load of the saved store would hold, counted without loading it again.
    IOS6MessageDb db(store, _CountryInfo(), false);
    const qint64 total = db.total();
    const MsgLoadCounts saved = db.loadCounts();
    QJsonObject o;
    o["store"] = store.absolutePath();
    o["total"] = double(total);
    o["messages"] = int(saved.messages);
    o["chats"] = int(saved.chats);
    o["handles"] = int(saved.handles);
    o["attachments"] = int(saved.attachments);
    out << QJsonDocument(o).toJson(QJsonDocument::Indented);
    return 0;
}

const ProbeCommand command("save-messages",
    "SRC STORE   save every message of SRC (as for messages) into the local message store in folder STORE",
    runSaveMessages);
} // namespace

#include "ProbeCommand.h"
#include "ProbeMessageSource.h"
#include "app/PrivateCopyNames.h"
#include "backup/BackupManifest.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/IOS5MessageDb.h"
#include "messages/store/MacMessagingDb.h"
#include "messages/store/MsgData.h"
#include "messages/store/MsgText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <memory>
#include <stdexcept>

namespace
{
QString isoDate(int date21)
{
    return dtFromDate21(date21).toUTC().toString(Qt::ISODate);
}

int runMessages(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 1) {
        err << "usage: qm-probe messages PATH\n";
        return 2;
    }
    const QFileInfo info(args.first());
    ProbeMessageSource source(args.first());
    const QString kind = source.kind;
    AbsMessageDb* reader = source.reader.get();

    MsgData data;
    QJsonObject o;
    int rc = 0;
    try {
        source.load(data);
    } catch (const std::exception& e) {
        // What loaded before the failure is still counted; the error says what is wrong, naming
        // the file given rather than the probe's private copy of it.
        o["error"] = PrivateCopyNames::userNames(QString::fromUtf8(e.what()));
        rc = 1;
    }
    try {
        if (auto* ios5 = dynamic_cast<IOS5MessageDb*>(reader))
            o["total"] = double(ios5->total());
        else if (auto* ios6 = dynamic_cast<IOS6MessageDb*>(reader))
            o["total"] = double(ios6->total());
    } catch (const std::exception&) {
        o["total"] = 0;
    }
    // The model's own table is walked: a list of a million pointers would be counted as the load's.
    const MsgMessageTable& msgs = data.p()->messages;
    o["path"] = info.absoluteFilePath();
    o["schema"] = kind;
    o["chats"] = int(data.p()->chats.size());
    o["handles"] = int(data.p()->handles.size());
    o["messages"] = int(msgs.size());
    o["attachments"] = int(data.p()->attachments.size());
    if (!msgs.isEmpty()) {
        int first = msgs.begin().value()->date;
        int last = first;
        for (const _MsgMessage* m : msgs) {
            first = qMin(first, m->date);
            last = qMax(last, m->date);
        }
        o["first_date"] = isoDate(first);
        o["last_date"] = isoDate(last);
        o["first_date21"] = first;
        o["last_date21"] = last;
    } else {
        o["first_date"] = QJsonValue();
        o["last_date"] = QJsonValue();
    }
    out << QJsonDocument(o).toJson(QJsonDocument::Indented);
    return rc;
}

const ProbeCommand command("messages",
    "PATH   counts and date range of a message database, a cache folder or an unencrypted backup",
    runMessages, ProbeCommand::App::Core);
} // namespace

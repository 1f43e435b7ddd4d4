#include "ProbeBackupSupport.h"
#include "ProbeCommand.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{

int run(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 1) {
        err << "usage: qm-probe info DIR\n";
        return 2;
    }
    auto m = ProbeBackup::openThrow(args[0], true, true);
    QJsonObject o;
    o["folder"] = m->dir.absolutePath();
    o["displayName"] = m->displayName;
    o["UniqueDeviceID"] = m->UniqueDeviceID;
    o["DeviceName"] = m->DeviceName;
    o["ProductType"] = m->ProductType;
    o["ProductVersion"] = m->ProductVersion;
    o["SerialNumber"] = m->SerialNumber;
    o["date"] = m->date.toUTC().toString(Qt::ISODate);
    o["encrypted"] = m->IsEncrypted;
    o["format"] = m->isMbdb() ? "Manifest.mbdb" : "Manifest.db";
    o["records"] = m->recordCount();
    o["photos"] = int(m->photoList.size());
    o["videos"] = int(m->videoList.size());
    QJsonObject known;
    const QList<QPair<const char*, BackupManifest::_FileNode*>> nodes = {
        { "addressBook", m->addressBookNode },
        { "addressBookImages", m->addressBookImagesNode },
        { "notes", m->notesNode },
        { "calendar", m->calendarNode },
        { "calendarExtras", m->calendarExtrasNode },
        { "recordings", m->recordingsNode },
        { "voicemail", m->voicemailNode },
        { "bookmarks", m->bookmarksNode },
        { "callHistory", m->callHistoryNode },
        { "callHistoryStore", m->callHistoryStoreNode },
        { "sms", m->smsNode },
    };
    for (const auto& [name, node] : nodes)
        if (node)
            known[QLatin1String(name)] = node->item.domain + "/" + node->item.relativePath();
    o["wellKnownFiles"] = known;
    out << QJsonDocument(o).toJson(QJsonDocument::Indented);
    return 0;
}

const ProbeCommand command("info", "DIR   (password on standard input when encrypted)", run);

} // namespace

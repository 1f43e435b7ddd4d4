#include "ProbeBackupSupport.h"
#include "ProbeCommand.h"
#include "app/ui/DataSources.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <stdexcept>

namespace
{

// What the backup's tree shows for each kind, counted as a load counts them, from private copies of
// the files a load copies into its cache. A count that could not be made is null (the tree's "?").
// The manifest's load faults get why a file was not copied as the phone wrote it, the one reason
// told for it (once the copies are gone).
QJsonObject treeCounts(BackupManifest& m)
{
    QTemporaryDir work;
    if (!work.isValid())
        throw std::runtime_error("Cannot create a temporary folder");
    m.loadFaults = DataSources::copyCountedFiles(m, QDir(work.path()));
    DataSources::countBackup(m, QDir(work.path()));
    const auto count = [](qint64 n) { return n < 0 ? QJsonValue() : QJsonValue(double(n)); };
    QJsonObject counts;
    counts["photos"] = count(m.photoList.size());
    counts["videos"] = count(m.videoList.size());
    counts["sms"] = count(m.msgCount);
    counts["contacts"] = count(m.contactsCount);
    counts["voicemail"] = count(m.voicemailCount);
    counts["calendar"] = count(m.calendarEventCount);
    counts["notes"] = count(m.notesCount);
    counts["callHistory"] = count(m.callHistoryCount);
    counts["recordings"] = count(m.recordingsCount);
    counts["bookmarks"] = count(m.bookmarksCount);
    return counts;
}

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
    o["counts"] = treeCounts(*m);
    for (const QString& text : m->loadFaults.texts())
        err << "not counted: " << text << "\n";
    out << QJsonDocument(o).toJson(QJsonDocument::Indented);
    return 0;
}

const ProbeCommand command("info", "DIR   (password on standard input when encrypted)", run);

} // namespace

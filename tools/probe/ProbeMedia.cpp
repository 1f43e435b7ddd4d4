#include "ProbeCommand.h"
#include "ProbeMediaSupport.h"
#include "notes_media/IOSRecordingDb.h"
#include "notes_media/IOSVoicemailDb.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{

QString utc(const QDateTime& t)
{
    return t.toUTC().toString(Qt::ISODate);
}

bool sourceArgs(const QStringList& args, const char* name, ProbeMedia::Args& a, QTextStream& err)
{
    a = ProbeMedia::parseArgs(args);
    if (a.positional.size() == 1)
        return true;
    err << "usage: qm-probe " << name << " [--password P] SRC\n";
    return false;
}

// Where a listing command finds its database, and how it turns the rows into JSON.
template <class Db> struct Listing {
    const char* name;
    const char* domain;
    const char* database;
    QJsonArray (*rows)(Db& db);
};

// Prints one JSON line: "total" is what the tree counts, "rows" what the page lists.
template <class Db>
int runListing(const Listing<Db>& listing, const QStringList& args, QTextStream& out, QTextStream& err)
{
    ProbeMedia::Args a;
    if (!sourceArgs(args, listing.name, a, err))
        return 2;
    ProbeMedia::Work work;
    ProbeMedia::openThrow(a, a.positional[0], listing.domain, listing.database, work);
    Db db(work.manifest.get(), work.cache);
    const QJsonArray rows = listing.rows(db);
    const QJsonObject o { { "total", db.total() }, { "rows", rows } };
    out << QJsonDocument(o).toJson(QJsonDocument::Compact) << "\n";
    return 0;
}

QJsonArray voicemailRows(IOSVoicemailDb& db)
{
    QJsonArray rows;
    for (const IOSVoicemailDb::_Voicemail& v : db.voicemails())
        rows.append(QJsonObject { { "rowid", v.rowId }, { "sender", v.sender }, { "date", utc(v.date) },
            { "duration", v.duration }, { "listened", v.listened }, { "trashed", v.trashed },
            { "audio", v.audioPath() } });
    return rows;
}

QJsonArray recordingRows(IOSRecordingDb& db)
{
    QJsonArray rows;
    for (const IOSRecordingDb::_Recording& r : db.recordings())
        rows.append(QJsonObject { { "pk", r.pk }, { "label", r.label() }, { "date", utc(r.date) },
            { "duration", r.duration }, { "audio", r.audioPath() } });
    return rows;
}

int runVoicemail(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const Listing<IOSVoicemailDb> listing { "voicemail", "HomeDomain", "Library/Voicemail/voicemail.db",
        voicemailRows };
    return runListing(listing, args, out, err);
}

int runRecordings(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const Listing<IOSRecordingDb> listing { "recordings", "MediaDomain", "Media/Recordings/Recordings.db",
        recordingRows };
    return runListing(listing, args, out, err);
}

const ProbeCommand voicemail("voicemail", "[--password P] SRC   (backup folder or voicemail.db)",
    runVoicemail, ProbeCommand::App::Core);
const ProbeCommand recordings("recordings", "[--password P] SRC   (backup folder or Recordings.db)",
    runRecordings, ProbeCommand::App::Core);

} // namespace

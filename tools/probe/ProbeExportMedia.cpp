#include "ProbeCommand.h"
#include "ProbeCountedExtract.h"
#include "ProbeMediaSupport.h"
#include "ProbeWorker.h"
#include "notes_media/IOSRecordingDb.h"
#include "notes_media/IOSVoicemailDb.h"
#include "notes_media/ui/RecordingMainForm.h"
#include "notes_media/ui/VoicemailMainForm.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <stdexcept>

namespace
{

using Nodes = QList<const BackupManifest::_FileNode*>;

// What a page extracts when nothing is selected, read the way the page reads it; rows whose audio
// has no record are added to notStored.
Nodes voicemailNodes(ProbeMedia::Work& w, qint64* notStored)
{
    return VoicemailMainForm::audioNodes(
        w.manifest.get(), IOSVoicemailDb(w.manifest.get(), w.cache).voicemails(), notStored);
}

Nodes recordingNodes(ProbeMedia::Work& w, qint64* notStored)
{
    return RecordingMainForm::audioNodes(
        w.manifest.get(), IOSRecordingDb(w.manifest.get(), w.cache).recordings(), notStored);
}

Nodes photoNodes(ProbeMedia::Work& w, qint64*)
{
    return ProbeMedia::cameraFiles(*w.manifest, false);
}

Nodes videoNodes(ProbeMedia::Work& w, qint64*)
{
    return ProbeMedia::cameraFiles(*w.manifest, true);
}

// One media kind: the database its page lists (empty for a kind listed from the file tree alone)
// and its nodes.
struct MediaKind {
    const char* name;
    const char* domain;
    const char* database;
    Nodes (*nodes)(ProbeMedia::Work& work, qint64* notStored);
};

const MediaKind kKinds[] = {
    { "voicemail", "HomeDomain", "Library/Voicemail/voicemail.db", voicemailNodes },
    { "recordings", "MediaDomain", "Media/Recordings/Recordings.db", recordingNodes },
    { "photos", "CameraRollDomain", "", photoNodes },
    { "videos", "CameraRollDomain", "", videoNodes },
};

const MediaKind* findKind(const QString& name)
{
    for (const MediaKind& k : kKinds)
        if (name == QLatin1String(k.name))
            return &k;
    return nullptr;
}

int run(const QStringList& args, QTextStream& out, QTextStream& err)
{
    QStringList rest = args;
    const int at = rest.indexOf("--kind");
    const MediaKind* kind = at >= 0 && at + 1 < rest.size() ? findKind(rest[at + 1]) : nullptr;
    if (kind)
        rest.remove(at, 2);
    const ProbeMedia::Args a = ProbeMedia::parseArgs(rest);
    if (!kind || a.positional.size() != 2) {
        err << "usage: qm-probe export-media --kind voicemail|recordings|photos|videos BACKUP DIR "
               "[--password P]\n";
        return 2;
    }
    ProbeMedia::Work work;
    ProbeMedia::openThrow(a, a.positional[0], kind->domain, kind->database, work);
    if (!work.manifest)
        throw std::runtime_error("export-media needs a backup folder");
    qint64 notStored = 0;
    const Nodes nodes = kind->nodes(work, &notStored);
    ProbeExtractCounts counts;
    const int rc = probeRunWorker(
        [&](ProgressForm& form) {
            return std::make_unique<ProbeCountedExtract>(
                work.manifest.get(), nodes, QDir(a.positional[1]), &form, &counts);
        },
        out, err);
    const QJsonObject o { { "total", counts.total }, { "processed", counts.processed },
        { "extracted", counts.extracted }, { "missing", notStored + counts.missing },
        { "damaged", counts.damaged }, { "unreadable", counts.unreadable },
        { "unwritten", counts.unwritten } };
    out << QJsonDocument(o).toJson(QJsonDocument::Compact) << "\n";
    return rc;
}

const ProbeCommand command(
    "export-media", "--kind voicemail|recordings|photos|videos BACKUP DIR [--password P]", run);

} // namespace

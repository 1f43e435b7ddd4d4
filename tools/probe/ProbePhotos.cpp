#include "ProbeCommand.h"
#include "ProbeMediaSupport.h"
#include "notes_media/ui/ItemModelPhotoIcon.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <stdexcept>

namespace
{

// The rows of the photo or video page: name, path, modification time (UTC) and size.
int listCameraFiles(const QString& kind, const QStringList& args, QTextStream& out, QTextStream& err)
{
    const ProbeMedia::Args a = ProbeMedia::parseArgs(args);
    if (a.positional.size() != 1) {
        err << "usage: qm-probe " << kind << " [--password P] SRC\n";
        return 2;
    }
    ProbeMedia::Work work;
    ProbeMedia::openThrow(a, a.positional[0], QString(), QString(), work);
    if (!work.manifest)
        throw std::runtime_error("the photo and video lists need a backup folder");
    const ItemModelPhotoIcon model(ProbeMedia::cameraFiles(*work.manifest, kind == QLatin1String("videos")));
    QJsonArray rows;
    for (int r = 0; r < model.rowCount(); ++r) {
        const BackupManifest::_FileNode* f = model.fileOf(r);
        QJsonObject row;
        row["name"] = f->name();
        row["path"] = f->item.relativePath();
        row["date"] = QDateTime::fromSecsSinceEpoch(f->item.mtime, Qt::UTC).toString(Qt::ISODate);
        row["size"] = f->item.size;
        rows.append(row);
    }
    QJsonObject o;
    o["total"] = model.rowCount();
    o["rows"] = rows;
    out << QJsonDocument(o).toJson(QJsonDocument::Compact) << "\n";
    return 0;
}

int runPhotos(const QStringList& args, QTextStream& out, QTextStream& err)
{
    return listCameraFiles(QStringLiteral("photos"), args, out, err);
}

int runVideos(const QStringList& args, QTextStream& out, QTextStream& err)
{
    return listCameraFiles(QStringLiteral("videos"), args, out, err);
}

const ProbeCommand photos("photos", "[--password P] SRC   (backup folder)", runPhotos);
const ProbeCommand videos("videos", "[--password P] SRC   (backup folder)", runVideos);

} // namespace

#include "ProbeMediaSupport.h"

#include "ProbeBackupSupport.h"
#include "ProbeWorker.h"
#include "notes_media/ui/ExportBKFileThread.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <stdexcept>

namespace ProbeMedia
{

QStringList positional(const QStringList& args, QString* password, bool* hasPassword)
{
    QStringList pos;
    *hasPassword = false;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == "--password" && i + 1 < args.size()) {
            *password = args[++i];
            *hasPassword = true;
        } else {
            pos.append(args[i]);
        }
    }
    return pos;
}

std::unique_ptr<BackupManifest> openBackupThrow(const QString& dir, const QString& password, bool hasPassword)
{
    std::unique_ptr<BackupManifest> m = ProbeBackup::openThrow(dir, false, false);
    if (m->IsEncrypted && !m->setPasscode(hasPassword ? password : ProbeBackup::readPassword()))
        throw std::runtime_error("wrong password");
    m->parseInfo();
    return m;
}

bool cameraFiles(const BackupManifest& m, const QString& kind, QList<const BackupManifest::_FileNode*>* files)
{
    if (kind != "photos" && kind != "videos")
        return false;
    const QList<BackupManifest::_FileNode*>& list = kind == "photos" ? m.photoList : m.videoList;
    *files = QList<const BackupManifest::_FileNode*>(list.begin(), list.end());
    return true;
}

namespace
{
    // Hands the worker's counts out: probeRunWorker destroys the thread after the wait.
    class CountedExtract : public ExportBKFileThread
    {
    public:
        CountedExtract(const BackupManifest* m, const QList<const BackupManifest::_FileNode*>& files,
            const QDir& dest, ProgressForm* form, qint64* total, qint64* extracted)
            : ExportBKFileThread(m, files, dest, form)
            , m_total(total)
            , m_extracted(extracted)
        {
        }
        ~CountedExtract() override
        {
            *m_total = totalFiles;
            *m_extracted = extractedFiles;
        }

    private:
        qint64* m_total;
        qint64* m_extracted;
    };
} // namespace

int exportCameraFiles(const QString& kind, const QString& backup, const QString& dir, const QString& password,
    bool hasPassword, QTextStream& out, QTextStream& err)
{
    std::unique_ptr<BackupManifest> m = openBackupThrow(backup, password, hasPassword);
    QList<const BackupManifest::_FileNode*> files;
    cameraFiles(*m, kind, &files);
    qint64 total = 0, extracted = 0;
    const int rc = probeRunWorker(
        [&](ProgressForm& form) {
            return std::make_unique<CountedExtract>(m.get(), files, QDir(dir), &form, &total, &extracted);
        },
        out, err);
    QJsonObject o;
    o["total"] = total;
    o["extracted"] = extracted;
    out << QJsonDocument(o).toJson(QJsonDocument::Compact) << "\n";
    return rc;
}

} // namespace ProbeMedia

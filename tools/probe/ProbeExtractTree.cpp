#include "ProbeBackupSupport.h"
#include "ProbeCommand.h"
#include "ProbeCountedExtract.h"
#include "ProbeWorker.h"
#include "backup/BackupManifest.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <stdexcept>

namespace
{

int run(const QStringList& args, QTextStream& out, QTextStream& err)
{
    QStringList pos;
    QString password, domain;
    bool hasPassword = false;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == "--password" && i + 1 < args.size()) {
            password = args[++i];
            hasPassword = true;
        } else if (args[i] == "--domain" && i + 1 < args.size()) {
            domain = args[++i];
        } else {
            pos.append(args[i]);
        }
    }
    if (pos.size() != 2) {
        err << "usage: qm-probe extract-tree BACKUP DIR [--password P] [--domain D]\n";
        return 2;
    }
    ProbeBackup::holdForRun(pos[0], BackupFolderLock::Mode::Shared);
    BackupManifest m(pos[0]);
    if (QFileInfo::exists(QDir(pos[0]).absoluteFilePath("Manifest.plist")))
        m.readManifestInfo();
    if (m.IsEncrypted && !m.setPasscode(hasPassword ? password : QTextStream(stdin).readLine()))
        throw std::runtime_error("wrong password");
    m.parseInfo();
    QList<const BackupManifest::_FileNode*> nodes;
    for (const BackupManifest::_FileNode* n : m.rootNode()->children)
        if (domain.isEmpty() || n->name() == domain)
            nodes.append(n);
    if (!domain.isEmpty() && nodes.isEmpty())
        throw std::runtime_error(QStringLiteral("no domain %1 in the backup").arg(domain).toStdString());
    ProbeExtractCounts counts;
    const int rc = probeRunWorker(
        [&](ProgressForm& form) {
            return std::make_unique<ProbeCountedExtract>(&m, nodes, QDir(pos[1]), &form, &counts);
        },
        out, err);
    QJsonObject o;
    o["total"] = counts.total;
    o["processed"] = counts.processed;
    o["extracted"] = counts.extracted;
    o["missing"] = counts.missing;
    o["damaged"] = counts.damaged;
    o["unreadable"] = counts.unreadable;
    o["unwritten"] = counts.unwritten;
    out << QJsonDocument(o).toJson(QJsonDocument::Compact) << "\n";
    return rc;
}

const ProbeCommand command("extract-tree", "BACKUP DIR [--password P] [--domain D]", run);

} // namespace

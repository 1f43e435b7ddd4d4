#include "app/ui/shared/PageLoad.h"

#include "app/ui/DataSources.h"
#include "app/ui/shared/Tips.h"
#include "backup/BackupManifest.h"

#include <QStringList>

PageLoad::PageLoad(const BackupManifest* manifest, int kind)
    : m_manifest(manifest)
    , m_kind(kind)
{
}

// The load's words first: what the page's reader made of a file the load could not copy whole is
// that fault again.
QString PageLoad::failure() const
{
    QStringList why;
    if (m_manifest)
        for (const BackupManifest::_FileNode* node : DataSources::backupFilesOfKind(*m_manifest, m_kind)) {
            const QString name = node ? node->item.backupFileName() : QString();
            if (node && m_manifest->loadFaults.unread(name))
                why.append(m_manifest->loadFaults.of(name));
        }
    if (why.isEmpty() && !m_readFailure.isEmpty())
        why.append(m_readFailure);
    return why.join(QLatin1Char('\n'));
}

QString PageLoad::shownCount(qint64 count) const
{
    return !m_reading && failure().isEmpty() ? QString::number(count) : QStringLiteral("?");
}

bool PageLoad::exportable() const
{
    const QString why = failure();
    if (why.isEmpty())
        return true;
    Tips::error(
        QStringLiteral("Cannot extract anything from this page: its data could not be loaded.\n%1").arg(why));
    return false;
}

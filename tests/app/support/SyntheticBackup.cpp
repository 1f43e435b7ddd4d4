#include "app/support/SyntheticBackup.h"

#include <QProcess>

namespace SyntheticBackup
{

bool make(const QString& folder, const QStringList& options)
{
    QProcess gen;
    gen.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    gen.start("python3",
        QStringList { QStringLiteral(QM_TOOLS_DIR) + "/gen/make_backup.py" } + options
            + QStringList { folder });
    if (!gen.waitForFinished(120000))
        return false;
    return gen.exitStatus() == QProcess::NormalExit && gen.exitCode() == 0;
}

bool makeEncrypted(const QString& folder, const QString& password)
{
    return make(folder, { "--password", password, "--iter", "1", "--dpic", "1" });
}

} // namespace SyntheticBackup

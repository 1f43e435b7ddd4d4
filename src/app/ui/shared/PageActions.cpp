#include "app/ui/shared/PageActions.h"

#include "app/AbsLocalDb.h"
#include "app/ui/shared/LocalDbSelForm.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/Tips.h"
#include "app/ui/shared/WorkerEnd.h"
#include "backup/BackupManifest.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QThread>
#include <exception>

bool PageActions::runWorker(QWidget* parent, const QString& title, const MakeWorker& make)
{
    ProgressForm form(title, parent);
    std::unique_ptr<QThread> thread = make(form);
    thread->start();
    const bool ok = form.exec() == 1 && !form.cancelled;
    WorkerEnd::waitFor(*thread, form.cancelled.token(), parent);
    return ok;
}

std::optional<QDir> PageActions::chooseLocalDb(QWidget* parent, const BackupManifest* manifest)
{
    static const QRegularExpression forbidden(QStringLiteral("[\\\\/:*?\"<>|\\n\\r\\t]+"));
    const QString name = manifest ? QString(manifest->DeviceName).remove(forbidden) : QString();
    LocalDbSelForm chooser(parent, name);
    if (chooser.exec() != 1)
        return std::nullopt;
    return chooser.dbDir;
}

QString PageActions::proposedExportPath(const QString& stem, const QString& suffix)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddhhmmss"));
    return QDir::home().absoluteFilePath(stem + stamp + suffix);
}

// A failing roll back must not hide the failure: it is logged, and the connection is closed so
// that SQLite drops whatever is still open.
void PageActions::inOneEdit(AbsLocalDb& store, const std::function<void()>& work)
{
    store.beginEdit();
    try {
        work();
        store.endEdit(true);
    } catch (const std::exception&) {
        try {
            store.endEdit(false);
        } catch (const std::exception& rollbackError) {
            qWarning("Edit of %s not rolled back: %s", qUtf8Printable(store.path), rollbackError.what());
            store.close();
        }
        throw;
    }
}

bool PageActions::confirmedDelete(
    const QString& question, const std::function<bool()>& remove, const QString& success)
{
    if (!Tips::question(question))
        return false;
    try {
        if (!remove())
            return false;
    } catch (const std::exception& e) {
        Tips::plainError(QString::fromUtf8(e.what()));
        return false;
    }
    Tips::info(success);
    return true;
}

#include "app/ui/shared/PageActions.h"

#include "app/AbsLocalDb.h"
#include "app/TaskCancel.h"
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

bool PageActions::confirmedDelete(QWidget* parent, const QString& title, const QString& question,
    const std::function<bool()>& remove, const QString& success)
{
    if (!Tips::question(question))
        return false;
    bool removed = false;
    QString error;
    // The store may be on a disk that does not answer: the window never waits on it.
    runWorker(parent, title, [&](ProgressForm& form) {
        form.setQuiet(true);
        return std::unique_ptr<QThread>(QThread::create([&] {
            const ProgressForm::ReportingScope reporting(&form);
            try {
                removed = remove();
            } catch (const TaskCancel::Cancelled&) {
                // Cancelled by the user: rolled back, nothing to tell.
            } catch (const std::exception& e) {
                error = QString::fromUtf8(e.what());
                if (error.isEmpty())
                    error = QStringLiteral("?");
            }
            form.invokeSucceed();
        }));
    });
    if (!error.isEmpty()) {
        Tips::plainError(error);
        return false;
    }
    if (!removed)
        return false;
    Tips::info(success);
    return true;
}

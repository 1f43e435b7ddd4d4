#include "ProbeBackupSupport.h"
#include "ProbeCommand.h"
#include "ProbeMessageSource.h"
#include "app/ui/shared/ProgressForm.h"
#include "messages/store/MsgData.h"
#include "messages/ui/MessageBackupExport.h"
#include "messages/ui/NotAsWrittenAttachments.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <stdexcept>

namespace
{
int runRestore(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const int pw = args.indexOf("--password");
    QStringList rest = args;
    QString password;
    if (pw >= 0 && pw + 1 < args.size()) {
        password = args[pw + 1];
        rest.remove(pw, 2);
    }
    if (rest.size() != 2) {
        err << "usage: qm-probe restore-messages SRC BACKUP [--password P]\n";
        return 2;
    }
    ProbeMessageSource source(rest[0]);
    MsgData data;
    source.load(data);
    ProbeBackup::holdForRun(rest[1], BackupFolderLock::Mode::Exclusive);
    std::unique_ptr<BackupManifest> backup = ProbeBackup::openThrow(rest[1], false, false);
    if (backup->IsEncrypted && !backup->setPasscode(password))
        throw std::runtime_error("wrong password");
    backup->parseInfo();
    QString failure;
    const MessageBackupExport::FormFactory quietForms = [&failure] {
        auto form = std::make_unique<ProgressForm>();
        form->setQuiet(true);
        QObject::connect(form.get(), &QDialog::finished, [&failure, f = form.get()](int r) {
            if (r != 1)
                failure = f->resultText();
        });
        return form;
    };
    NotAsWrittenAttachments damaged;
    const int merged = MessageBackupExport::run(*backup, data.messages(), quietForms, nullptr, &damaged);
    if (merged < 0) {
        err << (failure.isEmpty() ? QStringLiteral("cancelled") : failure) << "\n";
        return 1;
    }
    if (!damaged.isEmpty()) {
        err << MessageBackupExport::notAsWrittenText(damaged, merged) << "\n";
        return 1;
    }
    QJsonObject o;
    o["backup"] = QFileInfo(rest[1]).absoluteFilePath();
    o["messages"] = int(data.messages().size());
    o["merged"] = merged;
    out << QJsonDocument(o).toJson(QJsonDocument::Indented);
    return 0;
}

const ProbeCommand command("restore-messages",
    "SRC BACKUP [--password P]   merges every message of SRC into the sms.db of a backup on disk",
    runRestore);
} // namespace

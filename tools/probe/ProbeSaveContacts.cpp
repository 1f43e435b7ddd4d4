#include "ProbeCommand.h"
#include "ProbeContactsSupport.h"
#include "ProbeWorker.h"
#include "app/IdsTranslator.h"
#include "app/MadeFolders.h"
#include "app/PathWalk.h"
#include "contacts/store/IOSContactCombineRule.h"
#include "contacts/store/LocalContactsDb.h"
#include "contacts/ui/BackupContactsThread.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <stdexcept>

namespace
{
int runSaveContacts(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 2) {
        err << "usage: qm-probe save-contacts SRC STORE\n";
        return 2;
    }
    QTemporaryDir work;
    if (!work.isValid())
        throw std::runtime_error("Cannot create a temporary folder");
    QString kind;
    const QList<pim::_Contact> contacts
        = ProbeContacts::openCopyThrow(args.at(0), QDir(work.path()), kind)->contacts();
    // STORE is a local database folder (made when missing) or a contacts.db file, reached as every
    // write of the program's is: never through another user's link, FIFO or file in a shared folder.
    QString path = args.at(1);
    if (!path.endsWith(QLatin1String(".db"))) {
        QString why;
        const HeldFolder folder = MadeFolders::makeHeld(path, &why);
        if (!folder.isValid())
            throw std::runtime_error(why.toStdString());
        path = folder.filePath(QStringLiteral("contacts.db"));
    }
    const QString refused = PathWalk::writeRefusal(path);
    if (!refused.isEmpty())
        throw std::runtime_error(QStringLiteral("Cannot write %1: %2").arg(path, refused).toStdString());
    // The result text in English, as the program shows it.
    IdsTranslator translator;
    if (translator.load(QStringLiteral(":/en.qm")))
        QCoreApplication::installTranslator(&translator);
    LocalContactsDb store(path, QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
    return probeRunWorker(
        [&](ProgressForm& form) { return std::make_unique<BackupContactsThread>(&store, contacts, &form); },
        out, err);
}

const ProbeCommand command("save-contacts",
    "SRC STORE   saves the contacts of SRC into the local contacts store STORE", runSaveContacts);
} // namespace

#include "ProbeCommand.h"
#include "ProbeContactsSupport.h"
#include "app/LeaveAtExit.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <stdexcept>

namespace
{
const char* const kKindNames[] = { "", "name", "photo", "phone", "email", "nickname", "date", "group", "im",
    "note", "organisation", "relation", "address", "url" };

int runContacts(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 1) {
        err << "usage: qm-probe contacts SRC\n";
        return 2;
    }
    QTemporaryDir work;
    if (!work.isValid())
        throw std::runtime_error("Cannot create a temporary folder");
    QString kind;
    std::unique_ptr<IContactsDb> db = ProbeContacts::openCopyThrow(args.first(), QDir(work.path()), kind);
    auto kept = std::make_unique<const QList<pim::_Contact>>(db->contacts());
    const QList<pim::_Contact>& contacts = *kept;
    // Counted by kind first: one JSON lookup per kind rather than per contact.
    QMap<int, qint64> counts;
    for (const pim::_Contact& c : contacts)
        for (auto it = c.entities.cbegin(); it != c.entities.cend(); ++it)
            counts[it.key()] += it.value().size();
    QJsonObject entities;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        const QString name = it.key() >= 1 && it.key() <= 13 ? QLatin1String(kKindNames[it.key()])
                                                             : QString::number(it.key());
        entities[name] = int(it.value());
    }
    QJsonObject o;
    o["path"] = args.first();
    o["source"] = kind;
    o["contacts"] = int(contacts.size());
    o["entities"] = entities;
    out << QJsonDocument(o).toJson(QJsonDocument::Indented);
    leaveAtExit(std::move(kept));
    return 0;
}

const ProbeCommand command("contacts",
    "SRC   contact and field counts of an address book, a cache folder, a local database or a backup",
    runContacts, ProbeCommand::App::Core);
} // namespace

#include "ProbeCommand.h"
#include "ProbeContactsSupport.h"
#include "ProbeWorker.h"
#include "app/IdsTranslator.h"
#include "contacts/ui/ContactsPrinter.h"
#include "contacts/ui/ExportToFileThread.h"
#include "contacts/ui/ItemModelContacts.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <stdexcept>

namespace
{
int runExportContacts(const QStringList& args, QTextStream& out, QTextStream& err)
{
    static const QStringList formats { "vcf", "csv", "txt", "html", "pdf" };
    if (args.size() != 4 || args.at(0) != QLatin1String("--format") || !formats.contains(args.at(1))) {
        err << "usage: qm-probe export-contacts --format vcf|csv|txt|html|pdf SRC OUT\n";
        return 2;
    }
    QTemporaryDir work;
    if (!work.isValid())
        throw std::runtime_error("Cannot create a temporary folder");
    QString kind;
    QList<pim::_Contact> contacts
        = ProbeContacts::openCopyThrow(args.at(2), QDir(work.path()), kind)->contacts();
    // In the page's order.
    std::stable_sort(contacts.begin(), contacts.end(), compareContactsWithNameLess);
    IdsTranslator translator;
    if (translator.load(QStringLiteral(":/en.qm")))
        QCoreApplication::installTranslator(&translator);
    const QString format = args.at(1);
    if (format == QLatin1String("pdf")) {
        ContactsPrinter printer;
        out << printer.printToPDF(contacts, args.at(3)) << " contacts printed\n";
        return 0;
    }
    const auto type = ExportToFileThread::TYPE(formats.indexOf(format) + 1);
    return probeRunWorker(
        [&](ProgressForm& form) {
            return std::make_unique<ExportToFileThread>(contacts, type, args.at(3), &form);
        },
        out, err);
}

const ProbeCommand command("export-contacts",
    "--format vcf|csv|txt|html|pdf SRC OUT   exports every contact of SRC as the contacts page does",
    runExportContacts);
} // namespace

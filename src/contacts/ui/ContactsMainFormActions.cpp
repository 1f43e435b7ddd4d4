// The search and the actions of the contacts page (save, export, print, restore, delete).
#include "app/ui/shared/DataSourceSelForm.h"
#include "app/ui/shared/LocalDbSelForm.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/shared/PageActions.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/Tips.h"
#include "backup/BackupManifest.h"
#include "contacts/device/ui/RestoreContactsThread.h"
#include "contacts/store/IOSContactCombineRule.h"
#include "contacts/store/LocalContactsDb.h"
#include "contacts/ui/BackupContactsThread.h"
#include "contacts/ui/ContactDisplayer.h"
#include "contacts/ui/ContactsMainForm.h"
#include "contacts/ui/ContactsPrinter.h"
#include "contacts/ui/ExportToFileThread.h"
#include "device/IOSDeviceMonitor.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QRegularExpression>

bool ContactsMainForm::matches(const pim::_Contact& c, const QString& keyword)
{
    auto hit = [&keyword](const QString& text) { return text.indexOf(keyword, 0, Qt::CaseInsensitive) >= 0; };
    if (hit(c.fullName))
        return true;
    static const struct {
        int kind;
        std::initializer_list<const char*> keys;
    } fields[] = { { pim::KindPhone, { "data1" } }, { pim::KindEmail, { "data1" } },
        { pim::KindNickname, { "data1" } }, { pim::KindIM, { "data1" } }, { pim::KindNote, { "data1" } },
        { pim::KindOrg, { "data1", "data4", "data5" } }, { pim::KindRelation, { "data1" } },
        { pim::KindAddress, { "data1" } }, { pim::KindUrl, { "data1" } } };
    for (const auto& f : fields)
        for (const pim::Entity& e : c.entities.value(f.kind))
            for (const char* key : f.keys)
                if (hit(e.text(QLatin1String(key))))
                    return true;
    return false;
}

void ContactsMainForm::onBtnSearchPressed()
{
    const QString keyword = ui->txtKeyword->text().trimmed();
    if (keyword.isEmpty())
        return;
    const QModelIndex current = ui->treeContacts->currentIndex();
    const int start = current.isValid() ? current.row() + 1 : 0;
    const int rows = int(model.roots.size());
    for (int i = 0; i < rows; ++i) {
        const int row = (start + i) % rows;
        const auto* node = static_cast<const ItemModelContacts::_ContactsItemNode*>(model.roots.at(row));
        if (matches(node->contact, keyword)) {
            ui->treeContacts->setCurrentIndex(model.indexOfItemNode(node));
            return;
        }
    }
    Tips::info(tr("IDS_CAN_NOT_FOUNDCONTACT_KEYWORD_%0").arg(keyword).toHtmlEscaped());
}

QString ContactsMainForm::cleanedDbName(const QString& deviceName)
{
    QString name = deviceName;
    name.remove(QRegularExpression(QStringLiteral("[\\\\/:\\*\\?\"<>|\\n\\r\\t]+")));
    return name;
}

void ContactsMainForm::backupContacts(const QList<pim::_Contact>& contacts)
{
    LocalDbSelForm sel(this, cleanedDbName(manifest ? manifest->DeviceName : QString()));
    if (sel.exec() != 1)
        return;
    LocalContactsDb store(sel.dbDir.absoluteFilePath(QStringLiteral("contacts.db")),
        QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
    const bool ok = PageActions::runWorker(this, tr("IDS_TITLE_BACKUPING_CONTACTS"),
        [&](ProgressForm& form) { return std::make_unique<BackupContactsThread>(&store, contacts, &form); });
    if (ok)
        emit backupFinished(sel.dbDir.dirName());
}

QStringList ContactsMainForm::exportFilters()
{
    return { tr("VCard Files(*.vcf)"), tr("CSV Files(*.csv)"), tr("Text Files(*.txt)"),
        tr("HTML files(*.html)"), tr("Word files(*.doc)"), tr("PDF files(*.pdf)") };
}

void ContactsMainForm::exportContacts(const QList<pim::_Contact>& contacts)
{
    if (!m_load.exportable())
        return;
    const QStringList filters = exportFilters();
    const QString name
        = QStringLiteral("contacts(%1)").arg(QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss"));
    QString selected;
    const QString path = QFileDialog::getSaveFileName(this, QString(),
        QDir(QDir::homePath()).absoluteFilePath(name), filters.join(QLatin1String(";;")), &selected);
    if (path.isEmpty())
        return;
    const int index = int(filters.indexOf(selected));
    if (index < 0)
        return;
    exportContactsTo(contacts, index, path);
}

void ContactsMainForm::exportContactsTo(const QList<pim::_Contact>& contacts, int index, QString path)
{
    static const char* const suffixes[] = { ".vcf", ".csv", ".txt", ".html", ".doc", ".pdf" };
    static const ExportToFileThread::TYPE types[] = { ExportToFileThread::VCARD, ExportToFileThread::CSV,
        ExportToFileThread::TXT, ExportToFileThread::HTML, ExportToFileThread::HTML };
    if (index < 0 || index > 5)
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1String(suffixes[index]);
    if (index == 5) {
        try {
            ContactsPrinter printer(this);
            const int n = printer.printToPDF(contacts, path);
            Tips::info(tr("IDS_SUC_EXPORT_%1_CONTACTS_TO_FILE").arg(n));
        } catch (const std::exception& e) {
            Tips::plainError(QString::fromUtf8(e.what()));
        }
        return;
    }
    PageActions::runWorker(this, tr("IDS_STARTING_EXPORT_CONTACTS_TO_FILE"), [&](ProgressForm& form) {
        return std::make_unique<ExportToFileThread>(contacts, types[index], path, &form);
    });
}

void ContactsMainForm::printContacts(const QList<pim::_Contact>& contacts)
{
    ContactsPrinter printer(this);
    printer.printContacts(contacts);
}

void ContactsMainForm::restoreContacts(const QList<pim::_Contact>& contacts)
{
    DataSourceSelForm sel(this);
    sel.exec();
    const QString udid = sel.udid;
    if (udid.isEmpty() || !IOSDeviceMonitor::getInstance()->devices.contains(udid))
        return;
    Tips::info(tr("IDS_TIPS_BEFORE_RESTORE_CONTACTS"));
    // The window answers while a restore cancelled or ended winds down (a device slow to answer).
    PageActions::runWorker(this, tr("IDS_RESTORING_CONTACTS_TO_IOS_DEVICE"),
        [&](ProgressForm& form) { return std::make_unique<RestoreContactsThread>(udid, contacts, &form); });
}

void ContactsMainForm::miDelete()
{
    auto* store = dynamic_cast<LocalContactsDb*>(contactsDb.data());
    const QList<pim::_Contact> selected = getSelections();
    const auto remove = [&] {
        if (!store)
            return false;
        PageActions::inOneEdit(*store, [&] {
            for (const pim::_Contact& c : selected)
                store->removeContact(c.id);
        });
        return true;
    };
    if (PageActions::confirmedDelete(this, tr("IDS_MI_DELETE_CONTACTS"), tr("IDS_CONFIRM_DEL_SEL_CONTACTS"),
            remove, tr("IDS_REMOVE_CONTACTS_SUC"))) {
        loadContacts();
        emit localDbChanged();
    }
}

void ContactsMainForm::miToolbarDelete()
{
    if (hasSelection()) {
        miDelete();
        return;
    }
    auto* store = dynamic_cast<LocalContactsDb*>(contactsDb.data());
    const auto remove = [store] {
        if (store)
            store->deleteDbFile();
        return store != nullptr;
    };
    if (PageActions::confirmedDelete(this, tr("IDS_MI_DELETE_CONTACTS"), tr("IDS_CONFIRM_DEL_ALL_CONTACTS"),
            remove, tr("IDS_DEL_ALL_CONTACTS_SUC"))) {
        emit localDbChanged();
        loadContacts();
    }
}

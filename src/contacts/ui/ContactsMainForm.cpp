#include "contacts/ui/ContactsMainForm.h"

#include "app/StyleSheet.h"
#include "app/ui/ItemModelBK.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/shared/PageRead.h"
#include "app/ui/shared/Tips.h"
#include "contacts/ui/ContactDisplayer.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QResizeEvent>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

void Ui_ContactsMainForm::setupUi(QWidget* form)
{
    if (form->objectName().isEmpty())
        form->setObjectName("ContactsMainForm");
    form->resize(1000, 600);
    verticalLayout_2 = new QVBoxLayout(form);
    verticalLayout_2->setObjectName("verticalLayout_2");
    verticalLayout_2->setSpacing(0);
    verticalLayout_2->setContentsMargins(0, 0, 0, 0);
    splitter = new QSplitter(Qt::Horizontal, form);
    splitter->setObjectName("splitter");
    splitter->setHandleWidth(2);
    splitter->setChildrenCollapsible(false);
    widget_2 = new QWidget(splitter);
    widget_2->setObjectName("widget_2");
    verticalLayout = new QVBoxLayout(widget_2);
    verticalLayout->setObjectName("verticalLayout");
    verticalLayout->setSpacing(0);
    verticalLayout->setContentsMargins(0, 0, 0, 0);
    widget = new QWidget(widget_2);
    widget->setObjectName("widget");
    widget->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    horizontalLayout = new QHBoxLayout(widget);
    horizontalLayout->setObjectName("horizontalLayout");
    horizontalLayout->setSpacing(0);
    horizontalLayout->setContentsMargins(0, 0, 0, 0);
    txtKeyword = new QLineEdit(widget);
    txtKeyword->setObjectName("txtKeyword");
    horizontalLayout->addWidget(txtKeyword);
    btnSearch = new QToolButton(widget);
    btnSearch->setObjectName("btnSearch");
    btnSearch->setIcon(QIcon(QStringLiteral(":/res/search.png")));
    horizontalLayout->addWidget(btnSearch);
    verticalLayout->addWidget(widget);
    treeContacts = new MyTreeView(widget_2);
    treeContacts->setObjectName("treeContacts");
    treeContacts->setStyleSheet(QString());
    treeContacts->setSelectionMode(QAbstractItemView::ExtendedSelection);
    treeContacts->setIndentation(0);
    verticalLayout->addWidget(treeContacts);
    lbCount = new QLabel(widget_2);
    lbCount->setObjectName("lbCount");
    lbCount->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    lbCount->setMinimumSize(25, 25);
    lbCount->setSizeIncrement(25, 25);
    lbCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    verticalLayout->addWidget(lbCount);
    splitter->addWidget(widget_2);
    wdContactInfo = new ContactDisplayer(splitter);
    wdContactInfo->setObjectName("wdContactInfo");
    wdContactInfo->setStyleSheet(QStringLiteral("background-color:#F1F5FB;\nborder:none;"));
    splitter->addWidget(wdContactInfo);
    verticalLayout_2->addWidget(splitter);
    retranslateUi(form);
    QMetaObject::connectSlotsByName(form);
}

void Ui_ContactsMainForm::retranslateUi(QWidget* form)
{
    form->setWindowTitle(QCoreApplication::translate("ContactsMainForm", "Form"));
    btnSearch->setText(QCoreApplication::translate("ContactsMainForm", "..."));
    lbCount->setText(QCoreApplication::translate("ContactsMainForm", "Total:0"));
}

ContactsMainForm::ContactsMainForm(
    QSharedPointer<IContactsDb> contactsDb, const BackupManifest* manifest, QWidget* parent)
    : QWidget(parent)
    , ui(new Ui_ContactsMainForm)
    , manifest(manifest)
    , contactsDb(std::move(contactsDb))
    , m_load(manifest, ItemModelBK::KindContacts)
    , m_read(new PageRead(this))
{
    ui->setupUi(this);
    setStyleSheet(getStyleSheet());
    ui->treeContacts->setModel(&model);
    connect(ui->treeContacts, &MyTreeView::onSelectionChanged, this,
        &ContactsMainForm::onContactsTreeItemSelected);
    connect(ui->btnSearch, &QToolButton::pressed, this, &ContactsMainForm::onBtnSearchPressed);
    connect(ui->txtKeyword, &QLineEdit::returnPressed, this, &ContactsMainForm::onBtnSearchPressed);
    connect(ui->treeContacts, &MyTreeView::createContextMenu, this, &ContactsMainForm::contextMenu);
    loadContacts();
}

ContactsMainForm::~ContactsMainForm()
{
    m_read->end();
    delete ui;
}

void ContactsMainForm::loadContacts()
{
    auto contacts = std::make_shared<QList<pim::_Contact>>();
    m_load.startReading();
    ui->lbCount->setText(tr("Total:%1").arg(m_load.shownCount(0)));
    m_read->start([db = contactsDb, contacts] { *contacts = db->contacts(); },
        [this, contacts](const QString& failure) {
            model.loadContacts(*contacts);
            // The reload empties the selection, so the card goes too (a deleted contact is not shown).
            ui->wdContactInfo->clear();
            m_load.setReadFailure(failure);
            m_read->tellFailure(failure);
            ui->lbCount->setText(tr("Total:%1").arg(m_load.shownCount(contacts->size())));
        });
}

QList<QAction*> ContactsMainForm::toolbarActions()
{
    struct Entry {
        bool present;
        const char* icon;
        const char* key;
        void (ContactsMainForm::*slot)();
    };
    const Entry entries[] = { { manifest != nullptr, ":/res/save-to-database.png", "IDS_MI_BACKUP_CONTACTS",
                                  &ContactsMainForm::miToolbarBackup },
        { true, ":/res/db2i.png", "IDS_MI_RESTORE_CONTACTS", &ContactsMainForm::miToolbarRestore },
        { true, ":/res/mi_export-sms.png", "IDS_MI_EXPORT_CONTACTS", &ContactsMainForm::miToolbarExport },
        { true, ":/res/mi_print.png", "IDS_MI_PRINT_CONTACTS", &ContactsMainForm::miToolbarPrint },
        { manifest == nullptr, ":/res/mi_delete.png", "IDS_MI_DELETE_CONTACTS",
            &ContactsMainForm::miToolbarDelete } };
    QList<QAction*> actions;
    for (const Entry& e : entries) {
        if (!e.present)
            continue;
        auto* action = new QAction(QIcon(QLatin1String(e.icon)), tr(e.key), this);
        connect(action, &QAction::triggered, this, e.slot);
        actions.append(action);
    }
    return actions;
}

QList<pim::_Contact> ContactsMainForm::getSelections() const
{
    QList<pim::_Contact> list;
    for (const QModelIndex& index : ui->treeContacts->selectionModel()->selectedRows(0))
        if (const pim::_Contact* c = ItemModelContacts::contactOf(index))
            list.append(*c);
    return list;
}

bool ContactsMainForm::hasSelection() const
{
    return !ui->treeContacts->selectionModel()->selectedRows(0).isEmpty();
}

void ContactsMainForm::onContactsTreeItemSelected(const QItemSelection& selected, const QItemSelection&)
{
    const QModelIndexList indexes = selected.indexes();
    const pim::_Contact* c = indexes.isEmpty() ? nullptr : ItemModelContacts::contactOf(indexes.first());
    if (c)
        ui->wdContactInfo->showContact(c);
    else
        ui->wdContactInfo->clear();
}

void ContactsMainForm::contextMenu()
{
    if (getSelections().isEmpty())
        return;
    QMenu menu(this);
    if (manifest)
        menu.addAction(QIcon(":/res/save-to-database.png"), tr("IDS_MI_BACKUP_CONTACTS"), this,
            &ContactsMainForm::miBackup);
    menu.addAction(
        QIcon(":/res/db2i.png"), tr("IDS_MI_RESTORE_CONTACTS"), this, &ContactsMainForm::miRestore);
    menu.addAction(
        QIcon(":/res/mi_export-sms.png"), tr("IDS_MI_EXPORT_CONTACTS"), this, &ContactsMainForm::miExport);
    menu.addAction(QIcon(":/res/mi_print.png"), tr("IDS_MI_PRINT"), this, &ContactsMainForm::miPrint);
    if (!manifest)
        menu.addAction(QIcon(":/res/mi_delete.png"), tr("IDS_MI_DELETE"), this, &ContactsMainForm::miDelete);
    menu.exec(QCursor::pos());
}

void ContactsMainForm::miBackup()
{
    backupContacts(getSelections());
}
void ContactsMainForm::miRestore()
{
    restoreContacts(getSelections());
}
void ContactsMainForm::miExport()
{
    exportContacts(getSelections());
}
void ContactsMainForm::miPrint()
{
    printContacts(getSelections());
}

void ContactsMainForm::miToolbarBackup()
{
    if (hasSelection())
        miBackup();
    else
        backupContacts(model.contacts);
}

void ContactsMainForm::miToolbarRestore()
{
    if (hasSelection())
        miRestore();
    else
        restoreContacts(model.contacts);
}

void ContactsMainForm::miToolbarExport()
{
    if (hasSelection())
        miExport();
    else
        exportContacts(model.contacts);
}

void ContactsMainForm::miToolbarPrint()
{
    if (hasSelection())
        miPrint();
    else
        printContacts(model.contacts);
}

void ContactsMainForm::resizeEvent(QResizeEvent* event)
{
    const double w = event->size().width();
    ui->splitter->setSizes({ int(0.6 * w), int(0.4 * w) });
    const int l = int(0.6 * w - 23.0);
    QHeaderView* header = ui->treeContacts->header();
    header->resizeSection(0, int(0.4 * l));
    for (int i = 1; i <= 3; ++i)
        header->resizeSection(i, int(0.2 * l));
}

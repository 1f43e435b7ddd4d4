#pragma once

#include "app/ui/shared/PageLoad.h"
#include "contacts/store/IContactsDb.h"
#include "contacts/ui/ItemModelContacts.h"

#include <QItemSelection>
#include <QList>
#include <QSharedPointer>
#include <QWidget>

class BackupManifest;
class ContactDisplayer;
class MyTreeView;
class PageRead;
class QAction;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QSplitter;
class QToolButton;
class QVBoxLayout;

// The widget set of the contacts page.
struct Ui_ContactsMainForm {
    QVBoxLayout* verticalLayout_2 = nullptr;
    QSplitter* splitter = nullptr;
    QWidget* widget_2 = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    QWidget* widget = nullptr;
    QHBoxLayout* horizontalLayout = nullptr;
    QLineEdit* txtKeyword = nullptr;
    QToolButton* btnSearch = nullptr;
    MyTreeView* treeContacts = nullptr;
    QLabel* lbCount = nullptr;
    ContactDisplayer* wdContactInfo = nullptr;

    void setupUi(QWidget* form);
    void retranslateUi(QWidget* form);
};

// The contacts page over any contact source: the list with a keyword search and a count, the card
// of the selected contact, and the actions save to a local database (backups only), restore to a
// device, export, print and delete (local databases only), in the tool bar and the context menu.
class ContactsMainForm : public QWidget
{
    Q_OBJECT
public:
    // manifest is null for a local contacts store (whose source must then be a LocalContactsDb).
    ContactsMainForm(
        QSharedPointer<IContactsDb> contactsDb, const BackupManifest* manifest, QWidget* parent = nullptr);
    ~ContactsMainForm() override;

    // Reads the contacts beside the window; the list fills once they are read.
    void loadContacts();
    QList<QAction*> toolbarActions();
    QList<pim::_Contact> getSelections() const;

    void backupContacts(const QList<pim::_Contact>& contacts);
    void exportContacts(const QList<pim::_Contact>& contacts);
    void printContacts(const QList<pim::_Contact>& contacts);
    void restoreContacts(const QList<pim::_Contact>& contacts);

    // The export of the chosen filter index (0 vCard ... 5 PDF) into path, as the export action
    // runs it after its save dialog.
    void exportContactsTo(const QList<pim::_Contact>& contacts, int filterIndex, QString path);
    static QStringList exportFilters();
    // The device name with the characters a folder name cannot hold removed.
    static QString cleanedDbName(const QString& deviceName);

    Ui_ContactsMainForm* ui;
    ItemModelContacts model;

signals:
    void backupFinished(const QString& dbName);
    // Records of the page's local database were deleted: its counts changed.
    void localDbChanged();

protected slots:
    void onContactsTreeItemSelected(const QItemSelection& selected, const QItemSelection& deselected);
    void onBtnSearchPressed();
    void contextMenu();
    void miBackup();
    void miRestore();
    void miExport();
    void miPrint();
    void miDelete();
    void miToolbarBackup();
    void miToolbarRestore();
    void miToolbarExport();
    void miToolbarPrint();
    void miToolbarDelete();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    const BackupManifest* manifest;
    QSharedPointer<IContactsDb> contactsDb;
    PageLoad m_load;
    PageRead* m_read;

    bool hasSelection() const;
    static bool matches(const pim::_Contact& c, const QString& keyword);
};

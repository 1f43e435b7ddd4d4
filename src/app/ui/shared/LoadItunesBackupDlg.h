#pragma once

#include <QDialog>
#include <QList>
#include <QSharedPointer>

class BackupManifest;
class QLabel;
class QPushButton;
class ItemModelLoadBk;
class QTreeView;

// Lists the backups the computer keeps (the backup folder under Application Support) and those in
// folders the user adds; after exec() returned 1, `manifest` is the chosen backup with its
// Manifest.plist read.
class LoadItunesBackupDlg : public QDialog
{
    Q_OBJECT
public:
    explicit LoadItunesBackupDlg(QWidget* parent = nullptr);

    QSharedPointer<BackupManifest> manifest;

    // The folders searched for backups when the dialog opens.
    static QStringList systemBackupRoots();

    // Adds a backup folder, or every backup inside a folder of backups. Problems are shown in a
    // message box when `report` is set, else in the note under the list; returns the number of
    // backups listed from the folder.
    int addFolder(const QString& path, bool report = true);
    // The backups listed, in row order.
    const QList<QSharedPointer<BackupManifest>>& backups() const { return m_backups; }

    QLabel* lbTitle;
    QTreeView* twBackups;
    QLabel* lbLeftOut; // what the scan of the computer's backups left out, and why; hidden when nothing
    ItemModelLoadBk* model;
    QPushButton* btnAddFolder;
    QPushButton* btnOK;
    QPushButton* btnClose;

public Q_SLOTS:
    void onBtnOkPressed();
    void onBtnAddFolderPressed();

private:
    // Lists one backup folder; returns its row, or -1 when it is not a readable backup.
    int addBackup(const QString& path, QString* error);
    // Shows text in a message box when report is set, else adds it to the note under the list.
    void tell(const QString& text, bool report);

    QList<QSharedPointer<BackupManifest>> m_backups;
};

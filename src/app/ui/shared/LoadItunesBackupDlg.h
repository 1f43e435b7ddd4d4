#pragma once

#include <QDialog>
#include <QList>
#include <QSet>
#include <QSharedPointer>
#include <QStringList>
#include <map>

class BackupFolderListing;
class BackupManifest;
class ListedBackupReads;
class ManifestInfoThread;
class QLabel;
class QPushButton;
class ItemModelLoadBk;
class QTreeView;

// Lists the backups the computer keeps (the backup folder under Application Support) and those in
// folders the user adds; after exec() returned 1, `manifest` is the chosen backup with its
// Manifest.plist read. The computer's folder of backups is listed on a thread of its own
// (BackupFolderListing), and each backup is read on a thread of its own (ListedBackupReads): the
// dialog answers meanwhile, and its row shows that it is being read, then the backup or why it is
// not readable.
class LoadItunesBackupDlg : public QDialog
{
    Q_OBJECT
public:
    explicit LoadItunesBackupDlg(QWidget* parent = nullptr);

    QSharedPointer<BackupManifest> manifest;

    // The folders searched for backups when the dialog opens.
    static QStringList systemBackupRoots();

    // Adds a backup folder, or every backup inside a folder of backups. The folder is looked at and
    // listed off this thread, as the computer's is: folderListed() follows, then folderAdded() once
    // every read of it has ended. Problems are shown in a message box when `report` is set, else in
    // the note under the list, those of the reads once every read of the folder has ended.
    void addFolder(const QString& path, bool report = true);
    // The backups listed and read, in row order.
    QList<QSharedPointer<BackupManifest>> backups() const;
    // Whether a backup listed is still being read.
    bool reading() const;

    QLabel* lbTitle;
    QTreeView* twBackups;
    QLabel* lbListing; // "Reading..." while the computer's folder of backups is being listed
    QLabel* lbLeftOut; // what the scan of the computer's backups left out, and why; hidden when nothing
    ItemModelLoadBk* model;
    QPushButton* btnAddFolder;
    QPushButton* btnOK;
    QPushButton* btnClose;

Q_SIGNALS:
    // The folder added has been looked at and its rows are listed (a backup added is current).
    void folderListed(const QString& path);
    // Every read of the folder added has ended: listed backups came from it, read or not readable.
    void folderAdded(const QString& path, int listed);

public Q_SLOTS:
    void onBtnOkPressed();
    void onBtnAddFolderPressed();

private:
    // The backups of one addFolder() call whose reads are under way, told together once they end.
    struct Batch {
        QString folder;
        bool report = false;
        bool single = false; // the folder is the backup, not a folder of backups
        bool added = false; // added by the user, not the computer's folder
        int pending = 0;
        int listed = 0; // entries that are backups, read or not readable
        QStringList unreadable;
        QList<quint64> unreadableReads;
    };

    // Lists one backup folder and starts its read (again, for one that could not be read), as part
    // of the batch; returns its row. An entry of a folder listed off this thread is looked into by
    // its read, and its row goes when it is no backup.
    int addBackup(const QString& path, int batch, bool entry = false);
    // Lists a folder of backups (or, added, a backup) on a thread of its own; its entries are added
    // as a batch once it has ended, the dialog saying meanwhile that it is being read.
    void listFolder(const QString& folder, bool added, bool report);
    void onListed(const BackupFolderListing& listing, bool report);
    // Tells a batch whose reads have all ended.
    void endBatch(const Batch& batch);
    // Chooses the only row once nothing more is listed, when none is chosen.
    void chooseOnlyRow();
    void onRead(quint64 read, const ManifestInfoThread& thread);
    void tellBatch(const Batch& batch);
    // Shows text in a message box when report is set, else adds it to the note under the list.
    void tell(const QString& text, bool report);

    ListedBackupReads* m_reads;
    std::map<int, Batch> m_batches;
    std::map<quint64, int> m_batchOf; // read -> batch
    int m_lastBatch = 0;
    int m_listings = 0; // listings of folders of backups under way
    QSet<quint64> m_toldInBox; // reads whose failure a box has told
};

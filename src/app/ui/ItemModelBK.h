#pragma once

#include "app/AbsTreeItemModel.h"

#include <QDir>
#include <QSharedPointer>

class BackupManifest;

// The model of the main window's tree of data sources: the roots of the backups and of the local
// databases, one node per backup and per local database folder under them, and under each of
// those one node per data kind labelled with its count.
class ItemModelBK : public AbsTreeItemModel
{
    Q_OBJECT
public:
    // Node kinds; the main window switches on them.
    enum Kind {
        KindBkRoot = 1,
        KindLocalDbRoot = 2,
        KindBackup = 3,
        KindLocalDb = 4,
        KindSms = 5,
        KindContacts = 6,
        KindVoicemail = 7,
        KindCalendar = 8,
        KindNotes = 9,
        KindCallHistory = 10,
        KindRecordings = 11,
        KindBookmarks = 12,
        KindFileSystem = 13,
        KindPhotos = 14,
        KindVideos = 15,
    };

    // The counts of one local database; one not made is negative (DataSources::kUnknownCount).
    struct _LocalDbStat {
        qint64 messageCount = 0;
        qint64 contactCount = 0;
        qint64 calendarCount = 0;
        qint64 noteCount = 0;
        qint64 bookmarkCount = 0;
        qint64 callCount = 0;
    };

    // One backup; shares the backup object with the main window. A backup listed again at start is
    // shown by its folder until its Manifest.plist is read: meanwhile it has no backup object.
    class _BKItemNode : public _ItemNode
    {
    public:
        _BKItemNode(QSharedPointer<BackupManifest> manifest, _ItemNode* parent);
        ~_BKItemNode() override;
        QSharedPointer<BackupManifest> manifest;
        QString path; // the backup folder
        QString listUid; // its entry in the list of remembered backups; empty when not from there
        quint64 read = 0; // the read of its Manifest.plist under way (ListedBackupReads), 0 when none
        QString unreadable; // why its Manifest.plist could not be read; empty when it was
    };

    // One local database folder with its counts.
    class _LocalDbItemNode : public _ItemNode
    {
    public:
        _LocalDbItemNode(const QDir& dir, const _LocalDbStat& stat, _ItemNode* parent);
        QDir dir;
        _LocalDbStat stat;
    };

    explicit ItemModelBK(QObject* parent = nullptr);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // A childless node for the backup, last under the backup root; no model signal.
    _BKItemNode* addBackup(QSharedPointer<BackupManifest> manifest);
    // A childless node for a remembered backup whose Manifest.plist read is under way, named by its
    // folder until then, last under the backup root; no model signal.
    _BKItemNode* addListedBackup(const QString& path, const QString& listUid, quint64 read);
    // The node says its backup's records are being read, or names the backup again.
    void showRecordsBeingRead(_BKItemNode* node, bool reading);
    // The read has ended: the node stands for the backup, or says that it is not readable and why.
    void showRead(_BKItemNode* node, QSharedPointer<BackupManifest> manifest);
    void showUnreadable(_BKItemNode* node, const QString& why);
    // Adds the eleven data-kind children of a backup once; later calls change nothing.
    void showBackupNode(_BKItemNode* node);
    // A childless node for the folder, last under the local-database root; no model signal.
    _LocalDbItemNode* addLocalDb(const QDir& dir, const _LocalDbStat& stat);
    // Rebuilds the six data-kind children of a local database from its counts.
    void showLocalDbNode(_LocalDbItemNode* node);

    // The icon resource of a kind, empty outside 1 to 15.
    static QString iconPath(int kind);
    // A count as the tree and the description pages show it: "?" for one that was not made (a
    // negative count, as DataSources gives one it could not make), never 0.
    static QString countText(qint64 count);

    _ItemNode* bkRoot;
    _ItemNode* localDbRoot;

private:
    // A backup's tooltip says what became of the read of its Manifest.plist; others show the text.
    QString toolTip(const _ItemNode& node) const;
    void addKindNode(_ItemNode* parent, int kind, const QString& text);
};

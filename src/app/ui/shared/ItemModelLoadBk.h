#pragma once

#include "app/AbsTreeItemModel.h"

#include <QSharedPointer>
#include <QStringList>

class BackupManifest;

// The list model of the backup-loading dialog: one row per backup found, columns name, device,
// version, date and state (encrypted or not). A row whose Manifest.plist is being read shows its
// folder until then, and one that could not be read says so and why.
class ItemModelLoadBk : public AbsTreeItemModel
{
    Q_OBJECT
public:
    class _LoadBkItemNode : public _ItemNode
    {
    public:
        _LoadBkItemNode(const QString& path, quint64 read);
        QSharedPointer<BackupManifest> manifest; // null until its Manifest.plist is read
        QString path; // the backup folder
        quint64 read = 0; // the read under way (ListedBackupReads), 0 when none
        QString unreadable; // why the folder could not be read; empty when it was
    };

    explicit ItemModelLoadBk(QObject* parent = nullptr);

    // Appends a row for a backup folder whose Manifest.plist read is under way; returns its row.
    int addReading(const QString& path, quint64 read);
    // The row's read has ended (showRead, showUnreadable) or is under way again (showReading).
    void showRead(int row, const QSharedPointer<BackupManifest>& manifest);
    void showUnreadable(int row, const QString& why);
    void showReading(int row, quint64 read);
    // The row of the backup folder at path, or of a read; -1 when there is none.
    int rowOf(const QString& path) const;
    int rowOfRead(quint64 read) const;
    // The backup of a row, null for a row that does not exist or was not read.
    QSharedPointer<BackupManifest> backupAt(int row) const;
    // The row's node; null for a row that does not exist.
    const _LoadBkItemNode* nodeAt(int row) const;

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QString cellText(const BackupManifest& m, int column) const;
    QVariant unreadData(const _LoadBkItemNode& node, int column, int role) const;
    _LoadBkItemNode* node(int row) const;
    void rowChanged(int row);

    const QStringList m_headers; // translated once, like the dialog's other texts
};

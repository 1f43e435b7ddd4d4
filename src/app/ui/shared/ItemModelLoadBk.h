#pragma once

#include "app/AbsTreeItemModel.h"

#include <QSharedPointer>
#include <QStringList>

class BackupManifest;

// The list model of the backup-loading dialog: one row per backup found, columns name, device,
// version, date and state (encrypted or not).
class ItemModelLoadBk : public AbsTreeItemModel
{
    Q_OBJECT
public:
    class _LoadBkItemNode : public _ItemNode
    {
    public:
        explicit _LoadBkItemNode(QSharedPointer<BackupManifest> manifest);
        QSharedPointer<BackupManifest> manifest;
    };

    explicit ItemModelLoadBk(QObject* parent = nullptr);

    // Appends a row for a backup whose Manifest.plist was read; returns its row.
    int addBackup(const QSharedPointer<BackupManifest>& manifest);
    // The backup of a row, null for a row that does not exist.
    QSharedPointer<BackupManifest> backupAt(int row) const;

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QString cellText(const BackupManifest& m, int column) const;

    const QStringList m_headers; // translated once, like the dialog's other texts
};

#pragma once

#include "app/AbsTreeItemModel.h"
#include "backup/BackupManifest.h"

// The lazily filled tree model of a backup's file tree: columns "Name", "Date modified", "Type"
// and "Size". It always holds one level more than has been opened, so every folder with contents
// shows its expand mark; loadGrandson fills the next level when a folder is opened.
class ItemModelFileSys : public AbsTreeItemModel
{
    Q_OBJECT
public:
    class _FileNodeItemNode : public _ItemNode
    {
    public:
        _FileNodeItemNode(const BackupManifest::_FileNode* fileNode, _ItemNode* parent);
        const BackupManifest::_FileNode* fileNode; // not owned
        bool grandsonLoaded = false;
    };

    ItemModelFileSys(const BackupManifest* manifest, QObject* parent = nullptr);

    // Gives each child of node (of the roots when null) the nodes of its own children.
    void loadGrandson(_FileNodeItemNode* node);
    static const BackupManifest::_FileNode* fileNodeOf(const QModelIndex& index);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    static void appendChildren(_ItemNode* itemNode, QList<_ItemNode*>& list);
    QString cellText(const BackupManifest::_FileNode* node, int column) const;

    const BackupManifest* m_manifest;
};

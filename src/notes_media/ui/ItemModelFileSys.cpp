#include "notes_media/ui/ItemModelFileSys.h"

#include "app/ShownText.h"

#include <QDateTime>
#include <QIcon>
#include <QLocale>
#include <algorithm>

namespace
{

QList<const BackupManifest::_FileNode*> sortedByName(const QList<BackupManifest::_FileNode*>& nodes)
{
    QList<std::pair<QString, const BackupManifest::_FileNode*>> keyed;
    keyed.reserve(nodes.size());
    for (const BackupManifest::_FileNode* n : nodes)
        keyed.append({ n->name().toLower(), n });
    std::stable_sort(
        keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<const BackupManifest::_FileNode*> out;
    out.reserve(keyed.size());
    for (const auto& k : keyed)
        out.append(k.second);
    return out;
}

} // namespace

ItemModelFileSys::_FileNodeItemNode::_FileNodeItemNode(
    const BackupManifest::_FileNode* fileNode, _ItemNode* parent)
    : _ItemNode(0, fileNode->name(), parent)
    , fileNode(fileNode)
{
}

ItemModelFileSys::ItemModelFileSys(const BackupManifest* manifest, QObject* parent)
    : AbsTreeItemModel(parent)
    , m_manifest(manifest)
{
    for (const BackupManifest::_FileNode* n : sortedByName(manifest->rootNode()->children))
        roots.append(new _FileNodeItemNode(n, nullptr));
    loadGrandson(nullptr);
}

void ItemModelFileSys::appendChildren(_ItemNode* itemNode, QList<_ItemNode*>& list)
{
    const auto* fileNode = static_cast<_FileNodeItemNode*>(itemNode)->fileNode;
    for (const BackupManifest::_FileNode* n : sortedByName(fileNode->children))
        list.append(new _FileNodeItemNode(n, itemNode));
}

void ItemModelFileSys::loadGrandson(_FileNodeItemNode* node)
{
    const QList<_ItemNode*>& children = node ? node->children : roots;
    for (_ItemNode* child : children) {
        if (!child->children.isEmpty())
            continue;
        const auto* fileNode = static_cast<_FileNodeItemNode*>(child)->fileNode;
        if (fileNode->children.isEmpty())
            continue;
        const QModelIndex parentIndex = indexOfItemNode(child);
        beginInsertRows(parentIndex, 0, int(fileNode->children.size()) - 1);
        appendChildren(child, child->children);
        endInsertRows();
    }
    if (node)
        node->grandsonLoaded = true;
    contentsUpdate();
}

const BackupManifest::_FileNode* ItemModelFileSys::fileNodeOf(const QModelIndex& index)
{
    const auto* node = static_cast<const _FileNodeItemNode*>(nodeOf(index));
    return node ? node->fileNode : nullptr;
}

int ItemModelFileSys::columnCount(const QModelIndex&) const
{
    return 4;
}

QVariant ItemModelFileSys::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case 0:
        return tr("Name");
    case 1:
        return tr("Date modified");
    case 2:
        return tr("Type");
    case 3:
        return tr("Size");
    default:
        return {};
    }
}

QString ItemModelFileSys::cellText(const BackupManifest::_FileNode* node, int column) const
{
    const bool folder = node->item.isFolder();
    switch (column) {
    case 0:
        return ShownText::line(node->name());
    case 1:
        return node->item.mtime == 0
            ? QString()
            : QLocale::system().toString(
                QDateTime::fromSecsSinceEpoch(node->item.mtime), QLocale::ShortFormat);
    case 2:
        return folder ? tr("File Folder") : tr("File");
    case 3:
        if (folder)
            return QString();
        // A record may give no size a file can have: unknown, not 0.
        return node->item.size < 0 ? tr("? KB") : tr("%L1 KB").arg(node->item.size / 1024);
    default:
        return {};
    }
}

QVariant ItemModelFileSys::data(const QModelIndex& index, int role) const
{
    const BackupManifest::_FileNode* node = fileNodeOf(index);
    if (!node)
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return cellText(node, index.column());
    if (role == Qt::DecorationRole && index.column() == 0)
        return QIcon(
            node->item.isFolder() ? QStringLiteral(":/res/folder.png") : QStringLiteral(":/res/file.png"));
    return {};
}

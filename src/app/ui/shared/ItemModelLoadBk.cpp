#include "app/ui/shared/ItemModelLoadBk.h"

#include "app/ShownText.h"
#include "backup/BackupManifest.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLocale>

ItemModelLoadBk::_LoadBkItemNode::_LoadBkItemNode(const QString& path, quint64 read)
    : _ItemNode(0, QFileInfo(path).fileName(), nullptr)
    , path(path)
    , read(read)
{
}

ItemModelLoadBk::ItemModelLoadBk(QObject* parent)
    : AbsTreeItemModel(parent)
    , m_headers { tr("IDS_BK_COL_NAME"), tr("IDS_BK_COL_DEVICE"), tr("IDS_BK_COL_VERSION"),
        tr("IDS_BK_COL_DATE"), tr("IDS_BK_COL_STATUS") }
{
}

int ItemModelLoadBk::addReading(const QString& path, quint64 read)
{
    const int row = int(roots.size());
    beginInsertRows(QModelIndex(), row, row);
    roots.append(new _LoadBkItemNode(path, read));
    endInsertRows();
    return row;
}

void ItemModelLoadBk::showRead(int row, const QSharedPointer<BackupManifest>& manifest)
{
    _LoadBkItemNode* n = node(row);
    if (!n)
        return;
    n->manifest = manifest;
    n->text = manifest->displayName;
    n->read = 0;
    n->unreadable.clear();
    rowChanged(row);
}

void ItemModelLoadBk::showUnreadable(int row, const QString& why)
{
    _LoadBkItemNode* n = node(row);
    if (!n)
        return;
    n->read = 0;
    n->unreadable = why;
    rowChanged(row);
}

void ItemModelLoadBk::showReading(int row, quint64 read)
{
    _LoadBkItemNode* n = node(row);
    if (!n)
        return;
    n->manifest.reset();
    n->read = read;
    n->unreadable.clear();
    rowChanged(row);
}

int ItemModelLoadBk::rowOf(const QString& path) const
{
    for (int row = 0; row < roots.size(); ++row) {
        if (node(row)->path == path)
            return row;
    }
    return -1;
}

int ItemModelLoadBk::rowOfRead(quint64 read) const
{
    for (int row = 0; read != 0 && row < roots.size(); ++row) {
        if (node(row)->read == read)
            return row;
    }
    return -1;
}

QSharedPointer<BackupManifest> ItemModelLoadBk::backupAt(int row) const
{
    const _LoadBkItemNode* n = node(row);
    return n ? n->manifest : QSharedPointer<BackupManifest>();
}

const ItemModelLoadBk::_LoadBkItemNode* ItemModelLoadBk::nodeAt(int row) const
{
    return node(row);
}

ItemModelLoadBk::_LoadBkItemNode* ItemModelLoadBk::node(int row) const
{
    return row >= 0 && row < roots.size() ? static_cast<_LoadBkItemNode*>(roots.at(row)) : nullptr;
}

void ItemModelLoadBk::rowChanged(int row)
{
    Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
}

int ItemModelLoadBk::columnCount(const QModelIndex&) const
{
    return int(m_headers.size());
}

QVariant ItemModelLoadBk::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0
        || section >= m_headers.size())
        return {};
    return m_headers.at(section);
}

QString ItemModelLoadBk::cellText(const BackupManifest& m, int column) const
{
    switch (column) {
    case 0:
        return ShownText::line(m.displayName);
    case 1:
        return ShownText::line(m.ProductType);
    case 2:
        return ShownText::line(m.ProductVersion);
    case 3:
        return QLocale::system().toString(m.date, QLocale::ShortFormat);
    case 4:
        return m.IsEncrypted ? tr("Encrypted") : tr("Normal");
    default:
        return QString();
    }
}

QVariant ItemModelLoadBk::data(const QModelIndex& index, int role) const
{
    const auto* node = static_cast<const _LoadBkItemNode*>(nodeOf(index));
    if (!node)
        return {};
    if (!node->manifest)
        return unreadData(*node, index.column(), role);
    const BackupManifest& m = *node->manifest;
    if (role == Qt::DisplayRole)
        return cellText(m, index.column());
    if (role == Qt::ToolTipRole && index.column() == 0)
        return ShownText::line(m.dir.absolutePath());
    if (role == Qt::DecorationRole && index.column() == 0)
        return QIcon(m.ProductType.startsWith(QLatin1String("ipad"), Qt::CaseInsensitive)
                ? QStringLiteral(":/res/ipad.png")
                : QStringLiteral(":/res/iphone.png"));
    return {};
}

QVariant ItemModelLoadBk::unreadData(const _LoadBkItemNode& node, int column, int role) const
{
    const bool reading = node.read != 0;
    if (role == Qt::DisplayRole && column == 0)
        return ShownText::line(node.text);
    if (role == Qt::DecorationRole && column == 0)
        return QIcon(QStringLiteral(":/res/iphone.png")); // which device is not known yet
    if (role == Qt::DisplayRole && column == 4)
        return reading ? tr("IDS_BK_STATUS_READING") : tr("IDS_BK_STATUS_NOT_READABLE");
    if (role == Qt::ToolTipRole) {
        const QString folder = QDir::toNativeSeparators(node.path);
        return ShownText::line(reading ? tr("IDS_READING_BACKUP_%1").arg(folder)
                                       : tr("IDS_BACKUP_UNREADABLE_%1_%2").arg(folder, node.unreadable));
    }
    return {};
}

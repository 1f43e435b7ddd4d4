#include "app/ui/shared/ItemModelLoadBk.h"

#include "backup/BackupManifest.h"

#include <QIcon>
#include <QLocale>

ItemModelLoadBk::_LoadBkItemNode::_LoadBkItemNode(QSharedPointer<BackupManifest> manifest)
    : _ItemNode(0, manifest->displayName, nullptr)
    , manifest(std::move(manifest))
{
}

ItemModelLoadBk::ItemModelLoadBk(QObject* parent)
    : AbsTreeItemModel(parent)
    , m_headers { tr("IDS_BK_COL_NAME"), tr("IDS_BK_COL_DEVICE"), tr("IDS_BK_COL_VERSION"),
        tr("IDS_BK_COL_DATE"), tr("IDS_BK_COL_STATUS") }
{
}

int ItemModelLoadBk::addBackup(const QSharedPointer<BackupManifest>& manifest)
{
    const int row = int(roots.size());
    beginInsertRows(QModelIndex(), row, row);
    roots.append(new _LoadBkItemNode(manifest));
    endInsertRows();
    return row;
}

QSharedPointer<BackupManifest> ItemModelLoadBk::backupAt(int row) const
{
    if (row < 0 || row >= roots.size())
        return {};
    return static_cast<const _LoadBkItemNode*>(roots.at(row))->manifest;
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
        return m.displayName;
    case 1:
        return m.ProductType;
    case 2:
        return m.ProductVersion;
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
    const BackupManifest& m = *node->manifest;
    if (role == Qt::DisplayRole)
        return cellText(m, index.column());
    if (role == Qt::ToolTipRole && index.column() == 0)
        return m.dir.absolutePath();
    if (role == Qt::DecorationRole && index.column() == 0)
        return QIcon(m.ProductType.startsWith(QLatin1String("ipad"), Qt::CaseInsensitive)
                ? QStringLiteral(":/res/ipad.png")
                : QStringLiteral(":/res/iphone.png"));
    return {};
}

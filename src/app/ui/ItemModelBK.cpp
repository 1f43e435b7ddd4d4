#include "app/ui/ItemModelBK.h"

#include "app/ShownText.h"
#include "backup/BackupManifest.h"

#include <QFileInfo>
#include <QPixmap>
#include <QSize>

ItemModelBK::_BKItemNode::_BKItemNode(QSharedPointer<BackupManifest> m, _ItemNode* parent)
    : _ItemNode(KindBackup, m ? m->displayName : QString(), parent)
    , manifest(std::move(m))
    , path(manifest ? manifest->dir.absolutePath() : QString())
{
}

ItemModelBK::_BKItemNode::~_BKItemNode() = default;

ItemModelBK::_LocalDbItemNode::_LocalDbItemNode(const QDir& d, const _LocalDbStat& s, _ItemNode* parent)
    : _ItemNode(KindLocalDb, d.dirName(), parent)
    , dir(d)
    , stat(s)
{
}

ItemModelBK::ItemModelBK(QObject* parent)
    : AbsTreeItemModel(parent)
{
    bkRoot = new _ItemNode(KindBkRoot, tr("IDS_ROOT_BK"), nullptr);
    roots.append(bkRoot);
    localDbRoot = new _ItemNode(KindLocalDbRoot, tr("IDS_ROOT_LOCALDB"), nullptr);
    roots.append(localDbRoot);
}

int ItemModelBK::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant ItemModelBK::headerData(int, Qt::Orientation, int) const
{
    return QVariant();
}

QString ItemModelBK::iconPath(int kind)
{
    static const char* const paths[] = {
        ":/res/bk.png",
        ":/res/databases.png",
        nullptr,
        ":/res/database.png",
        ":/res/sms.png",
        ":/res/contacts.png",
        ":/res/voicemail.png",
        ":/res/calendar.png",
        ":/res/notes.png",
        ":/res/call.png",
        ":/res/recording.png",
        ":/res/bookmark.png",
        ":/res/filesys.png",
        ":/res/photo.png",
        ":/res/video.png",
    };
    if (kind < 1 || kind > 15 || !paths[kind - 1])
        return QString();
    return QString::fromLatin1(paths[kind - 1]);
}

QVariant ItemModelBK::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.model() != this || role >= 14)
        return QVariant();
    const _ItemNode* node = nodeOf(index);
    switch (role) {
    case Qt::DisplayRole:
        return node ? QVariant(ShownText::line(node->text)) : QVariant();
    case Qt::ToolTipRole:
        return node ? QVariant(ShownText::line(toolTip(*node))) : QVariant();
    case Qt::DecorationRole: {
        // Made on first use and kept for the whole run; index 0 is the iPad picture.
        static QList<QPixmap> pixmaps;
        if (pixmaps.isEmpty()) {
            pixmaps.append(QPixmap(":/res/ipad.png").scaledToWidth(18, Qt::FastTransformation));
            for (int kind = 1; kind <= 15; ++kind) {
                const QString path = kind == KindBackup ? QStringLiteral(":/res/iphone.png") : iconPath(kind);
                pixmaps.append(QPixmap(path).scaledToWidth(18, Qt::FastTransformation));
            }
        }
        if (!node || node->kind < 1 || node->kind > 15)
            return QVariant();
        if (node->kind == KindBackup) {
            auto* bk = static_cast<const _BKItemNode*>(node);
            if (bk->manifest && bk->manifest->ProductType.startsWith("ipad", Qt::CaseInsensitive))
                return pixmaps.at(0);
        }
        return pixmaps.at(node->kind);
    }
    case Qt::SizeHintRole:
        return QSize(0, 25);
    default:
        return QVariant();
    }
}

ItemModelBK::_BKItemNode* ItemModelBK::addBackup(QSharedPointer<BackupManifest> manifest)
{
    auto* node = new _BKItemNode(std::move(manifest), bkRoot);
    bkRoot->children.append(node);
    return node;
}

ItemModelBK::_BKItemNode* ItemModelBK::addListedBackup(
    const QString& path, const QString& listUid, quint64 read)
{
    _BKItemNode* node = addBackup(nullptr);
    node->path = path;
    node->listUid = listUid;
    node->read = read;
    node->text = tr("IDS_BACKUP_BEING_READ_%1").arg(QFileInfo(path).fileName());
    return node;
}

void ItemModelBK::showRead(_BKItemNode* node, QSharedPointer<BackupManifest> manifest)
{
    node->manifest = std::move(manifest);
    node->path = node->manifest->dir.absolutePath();
    node->read = 0;
    node->unreadable.clear();
    node->text = node->manifest->displayName;
    invokeDataChanged(node);
}

void ItemModelBK::showRecordsBeingRead(_BKItemNode* node, bool reading)
{
    node->text = reading ? tr("IDS_BACKUP_BEING_READ_%1").arg(QFileInfo(node->path).fileName())
                         : node->manifest->displayName;
    invokeDataChanged(node);
}

void ItemModelBK::showUnreadable(_BKItemNode* node, const QString& why)
{
    node->read = 0;
    node->unreadable = why;
    node->text = tr("IDS_BACKUP_NOT_READABLE_%1").arg(QFileInfo(node->path).fileName());
    invokeDataChanged(node);
}

QString ItemModelBK::toolTip(const _ItemNode& node) const
{
    if (node.kind != KindBackup)
        return node.text;
    const auto& bk = static_cast<const _BKItemNode&>(node);
    const QString folder = QDir::toNativeSeparators(bk.path);
    if (bk.read != 0)
        return tr("IDS_READING_BACKUP_%1").arg(folder);
    if (!bk.unreadable.isEmpty())
        return tr("IDS_BACKUP_UNREADABLE_%1_%2").arg(folder, bk.unreadable);
    return node.text;
}

QString ItemModelBK::countText(qint64 count)
{
    return count < 0 ? QStringLiteral("?") : QString::number(count);
}

void ItemModelBK::addKindNode(_ItemNode* parent, int kind, const QString& text)
{
    parent->children.append(new _ItemNode(kind, text, parent));
}

void ItemModelBK::showBackupNode(_BKItemNode* node)
{
    if (!node || !node->children.isEmpty())
        return;
    const BackupManifest& m = *node->manifest;
    addKindNode(node, KindPhotos, QStringLiteral("Photos(%1)").arg(countText(m.photoList.size())));
    addKindNode(node, KindVideos, QStringLiteral("Videos(%1)").arg(countText(m.videoList.size())));
    addKindNode(node, KindSms, QStringLiteral("SMS(%1)").arg(countText(m.msgCount)));
    addKindNode(node, KindContacts, QStringLiteral("Contacts(%1)").arg(countText(m.contactsCount)));
    addKindNode(node, KindVoicemail, QStringLiteral("Voicemail(%1)").arg(countText(m.voicemailCount)));
    addKindNode(node, KindCalendar, QStringLiteral("Calendar(%1)").arg(countText(m.calendarEventCount)));
    addKindNode(node, KindNotes, QStringLiteral("Notes(%1)").arg(countText(m.notesCount)));
    addKindNode(node, KindCallHistory, QStringLiteral("Call History(%1)").arg(countText(m.callHistoryCount)));
    addKindNode(node, KindRecordings, QStringLiteral("Recordings(%1)").arg(countText(m.recordingsCount)));
    addKindNode(node, KindBookmarks, QStringLiteral("Bookmarks(%1)").arg(countText(m.bookmarksCount)));
    addKindNode(node, KindFileSystem, QStringLiteral("File System"));
    Q_EMIT layoutChanged();
}

ItemModelBK::_LocalDbItemNode* ItemModelBK::addLocalDb(const QDir& dir, const _LocalDbStat& stat)
{
    auto* node = new _LocalDbItemNode(dir, stat, localDbRoot);
    localDbRoot->children.append(node);
    return node;
}

void ItemModelBK::showLocalDbNode(_LocalDbItemNode* node)
{
    if (!node)
        return;
    const _LocalDbStat& s = node->stat;
    const auto text = [](const char* kind, qint64 count) {
        return QStringLiteral("%1(%2)").arg(QLatin1String(kind), countText(count));
    };
    const QList<QPair<int, QString>> kinds { { KindSms, text("SMS", s.messageCount) },
        { KindContacts, text("Contacts", s.contactCount) },
        { KindCalendar, text("Calendar", s.calendarCount) }, { KindNotes, text("Notes", s.noteCount) },
        { KindBookmarks, text("Bookmarks", s.bookmarkCount) },
        { KindCallHistory, text("Call History", s.callCount) } };
    // Counts of a shown database change in place, so that its open page and selection stay.
    if (node->children.size() == kinds.size()) {
        for (int i = 0; i < kinds.size(); ++i)
            node->children.at(i)->text = kinds.at(i).second;
        const QModelIndex first = indexOfItemNode(node->children.first());
        Q_EMIT dataChanged(first, first.siblingAtRow(int(kinds.size()) - 1));
        return;
    }
    if (!node->children.isEmpty())
        clearChilds(node);
    for (const auto& kind : kinds)
        addKindNode(node, kind.first, kind.second);
    Q_EMIT layoutChanged();
}

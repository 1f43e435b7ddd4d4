#include "notes_media/ui/ItemModelPhotoIcon.h"

#include "app/ShownText.h"

#include <QDateTime>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>

namespace
{
// Pictures held at once: a few screens of the largest grid.
constexpr int kHeldPictures = 1500;

// Opaque on the grid's white, like the thumbnails: opaque pictures are copied onto the screen,
// where transparent ones would be blended.
QPixmap framed(const QColor& fill)
{
    QImage pm(ItemModelPhotoIcon::kThumbSide, ItemModelPhotoIcon::kThumbSide, QImage::Format_RGB32);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0xc8, 0xc8, 0xc8));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(pm.rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    p.end();
    return QPixmap::fromImage(pm);
}
} // namespace

ItemModelPhotoIcon::_PhotoItemNode::_PhotoItemNode(const BackupManifest::_FileNode* f)
    : _ItemNode(0, f->name(), nullptr)
    , file(f)
    , video(isVideoName(f->name()))
{
}

ItemModelPhotoIcon::ItemModelPhotoIcon(const QList<const BackupManifest::_FileNode*>& files, QObject* parent)
    : AbsTreeItemModel(parent)
    , m_pictures(kHeldPictures)
    , m_loading(framed(QColor(0xf2, 0xf2, 0xf2)))
{
    roots.reserve(files.size());
    for (const BackupManifest::_FileNode* f : files)
        roots.append(new _PhotoItemNode(f));
}

int ItemModelPhotoIcon::columnCount(const QModelIndex&) const
{
    return 1;
}

bool ItemModelPhotoIcon::isVideoName(const QString& name)
{
    static const QStringList videos = { "mov", "mp4", "m4v", "3gp", "avi" };
    return videos.contains(QFileInfo(name).suffix().toLower());
}

QString ItemModelPhotoIcon::dateText(quint32 mtime)
{
    return mtime == 0
        ? QString()
        : QLocale::system().toString(QDateTime::fromSecsSinceEpoch(mtime), QLocale::ShortFormat);
}

QString ItemModelPhotoIcon::sizeText(qint64 bytes)
{
    return bytes < 0 ? tr("? KB") : tr("%L1 KB").arg(bytes / 1024);
}

ItemModelPhotoIcon::_PhotoItemNode* ItemModelPhotoIcon::nodeAt(int row) const
{
    return row >= 0 && row < roots.size() ? static_cast<_PhotoItemNode*>(roots.at(row)) : nullptr;
}

const BackupManifest::_FileNode* ItemModelPhotoIcon::fileOf(int row) const
{
    const _PhotoItemNode* node = nodeAt(row);
    return node ? node->file : nullptr;
}

bool ItemModelPhotoIcon::hasPicture(int row) const
{
    return m_pictures.contains(row);
}

QVariant ItemModelPhotoIcon::data(const QModelIndex& index, int role) const
{
    const _PhotoItemNode* node = nodeAt(index.row());
    if (!node || index.parent().isValid())
        return QVariant();
    const MBDBParser::_MBDBItem& item = node->file->item;
    switch (role) {
    case Qt::DisplayRole:
        return QStringLiteral("%1\n%2\n%3")
            .arg(ShownText::line(node->text), dateText(item.mtime), sizeText(item.size));
    case Qt::ToolTipRole: {
        const QString text
            = QStringLiteral("%1\n%2\n%3")
                  .arg(ShownText::line(item.relativePath()), dateText(item.mtime), sizeText(item.size));
        const QString why = ShownText::line(m_unread.value(index.row()));
        return why.isEmpty() ? text : text + QLatin1Char('\n') + why;
    }
    case Qt::DecorationRole:
        return pictureOf(index.row());
    default:
        return QVariant();
    }
}

QVariant ItemModelPhotoIcon::pictureOf(int row) const
{
    if (const QPixmap* held = m_pictures.object(row))
        return *held;
    const _PhotoItemNode* node = nodeAt(row);
    if (node->video) {
        m_pictures.insert(row, new QPixmap(placeholder(node)));
        return *m_pictures.object(row);
    }
    if (!m_inFlight.contains(row)) {
        m_inFlight.insert(row);
        if (m_asked.isEmpty())
            QMetaObject::invokeMethod(
                const_cast<ItemModelPhotoIcon*>(this), "flushWanted", Qt::QueuedConnection);
        m_asked.append(row);
    }
    return m_loading;
}

void ItemModelPhotoIcon::flushWanted()
{
    const QList<int> rows = std::exchange(m_asked, {});
    if (!rows.isEmpty())
        emit thumbnailsWanted(rows);
}

void ItemModelPhotoIcon::setThumbnail(int row, const QImage& picture, const QString& why)
{
    const _PhotoItemNode* node = nodeAt(row);
    if (!node)
        return;
    m_inFlight.remove(row);
    if (why.isEmpty())
        m_unread.remove(row);
    else
        m_unread.insert(row, why);
    m_pictures.insert(row, new QPixmap(picture.isNull() ? placeholder(node) : QPixmap::fromImage(picture)));
    const QModelIndex i = index(row, 0);
    emit dataChanged(i, i, { Qt::DecorationRole, Qt::ToolTipRole });
}

// A light tile with the kind's symbol and the file's name, for what has no picture of its own.
QPixmap ItemModelPhotoIcon::placeholder(const _PhotoItemNode* node) const
{
    QPixmap pm = framed(QColor(0xe6, 0xe9, 0xee));
    QPainter p(&pm);
    const QPixmap symbol(node->video ? QStringLiteral(":/res/video.png") : QStringLiteral(":/res/photo.png"));
    if (!symbol.isNull()) {
        const QPixmap s = symbol.scaled(48, 48, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        p.drawPixmap((kThumbSide - s.width()) / 2, 28, s);
    }
    QFont font = p.font();
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(QColor(0x40, 0x40, 0x40));
    const QRect textBox(6, 84, kThumbSide - 12, 30);
    p.drawText(textBox, Qt::AlignHCenter | Qt::AlignTop,
        QFontMetrics(font).elidedText(ShownText::line(node->text), Qt::ElideMiddle, textBox.width()));
    return pm;
}

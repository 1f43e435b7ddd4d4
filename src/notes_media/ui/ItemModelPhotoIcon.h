#pragma once

#include "app/AbsTreeItemModel.h"
#include "backup/BackupManifest.h"

#include <QCache>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QSet>

// The grid of a backup's photos or videos: one row per file with its name, date and size as the
// text and its thumbnail as the picture. Thumbnails are not made here: the rows whose picture a
// view asks for and that have none yet are announced, batched, by thumbnailsWanted, and the
// pictures come back through setThumbnail. Only recently used pictures are held, so a list of
// tens of thousands of photos stays small; a dropped one is asked for again when shown again.
// Videos, and pictures that cannot be shown, get a placeholder with their name.
class ItemModelPhotoIcon : public AbsTreeItemModel
{
    Q_OBJECT
public:
    class _PhotoItemNode : public _ItemNode
    {
    public:
        explicit _PhotoItemNode(const BackupManifest::_FileNode* file);
        const BackupManifest::_FileNode* file; // not owned
        bool video;
    };

    static constexpr int kThumbSide = 128;

    ItemModelPhotoIcon(const QList<const BackupManifest::_FileNode*>& files, QObject* parent = nullptr);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    const BackupManifest::_FileNode* fileOf(int row) const;
    // Whether the row's picture (thumbnail or placeholder) is at hand.
    bool hasPicture(int row) const;
    // The texts of a row: file name, modification date in the system's short form, size.
    static QString dateText(quint32 mtime);
    static QString sizeText(qint64 bytes);
    static bool isVideoName(const QString& name);

public slots:
    // A picture made for the row; a null picture gives the row the placeholder, and why (what kept
    // the file from being read, if that did) to its tooltip.
    void setThumbnail(int row, const QImage& picture, const QString& why = QString());

signals:
    void thumbnailsWanted(const QList<int>& rows);

private slots:
    void flushWanted();

private:
    _PhotoItemNode* nodeAt(int row) const;
    QPixmap placeholder(const _PhotoItemNode* node) const;
    QVariant pictureOf(int row) const;

    mutable QCache<int, QPixmap> m_pictures;
    mutable QSet<int> m_inFlight; // asked for and not answered yet
    mutable QList<int> m_asked; // asked for since the last flush, in the order asked
    QHash<int, QString> m_unread; // why a row's file could not be read, by row
    QPixmap m_loading;
};

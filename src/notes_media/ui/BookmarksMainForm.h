#pragma once

#include "app/ui/shared/PageLoad.h"
#include "notes_media/IBookmarkDb.h"
#include "notes_media/ui/ItemModelBookmark.h"

#include <QList>
#include <QSharedPointer>
#include <QWidget>

class BackupManifest;
class Ui_BookmarksMainForm;
class PageRead;
class QAction;

// The bookmarks page: the bookmark tree of a backup or of a local store, with search, count,
// and the export, save (backup source), restore and delete (local source) operations.
class BookmarksMainForm : public QWidget
{
    Q_OBJECT
public:
    BookmarksMainForm(
        QSharedPointer<IBookmarkDb> db, const BackupManifest* manifest, QWidget* parent = nullptr);
    ~BookmarksMainForm() override;

    // Reads the bookmarks beside the window; the tree fills once they are read.
    void reload();
    QList<QAction*> toolbarActions();
    void expandUntilShowNode(const AbsTreeItemModel::_ItemNode* node);
    QList<_Bookmark*> getSelections() const;
    void exportBookmarks(QList<_Bookmark*> list);
    void backupBookmarks(QList<_Bookmark*> list);
    void restoreBookmarks(QList<_Bookmark*> list);
    // Only http and https addresses with a host are opened on double-click.
    static bool isWebAddress(const QString& address);

    Ui_BookmarksMainForm* ui;
    ItemModelBookmark model;

signals:
    void backupFinished(QString name);
    // Records of the page's local database were deleted: its counts changed.
    void localDbChanged();

public slots:
    void bookmarkDoubleClicked();
    void contextMenu();
    void btnSearchClicked();
    void miExport();
    void miBackup();
    void miRestore();
    void miDelete();
    void miToolbarExport();
    void miToolbarBackup();
    void miToolbarRestore();
    void miToolbarDelete();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Operation;
    QList<Operation> operations() const;
    bool hasSelection() const;

    QSharedPointer<IBookmarkDb> bookmarkDb;
    const BackupManifest* m_manifest;
    QList<_Bookmark*> m_bookmarks; // owned roots
    PageLoad m_load;
    PageRead* m_read;
};

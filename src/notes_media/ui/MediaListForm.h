#pragma once

#include "app/ui/shared/PageLoad.h"
#include "backup/BackupManifest.h"

#include <QDir>
#include <QList>
#include <QWidget>
#include <functional>

class MyTreeView;
class PageRead;
class QAbstractItemModel;
class QAction;
class QLabel;

// What the pages that list a backup's audio files share: the list with its count under it, one
// export action in the tool bar and in the context menu, and the extraction into a chosen folder.
// A page gives its rows, its column widths and its texts.
class MediaListForm : public QWidget
{
    Q_OBJECT
public:
    // Reads the rows beside the window; the list fills once they are read.
    void reload();
    QList<QAction*> toolbarActions();

    QLabel* lbCount;

public slots:
    void contextMenu();
    void miExport();
    void miToolbarExport();

protected:
    // kind: the page's ItemModelBK::Kind...
    MediaListForm(const BackupManifest* manifest, int kind, const QString& name, QWidget* parent);

    // The first step of a page's destructor: its reading fills what the page holds.
    void endReading();

    // Builds the list over the page's model, with the count under it; the page calls it once.
    MyTreeView* buildList(const QString& name, QAbstractItemModel* model);
    // The selected row numbers in list order, only those below rowCount.
    QList<int> selectedRowNumbers(int rowCount) const;
    // The selected rows in list order, or all of them when withAll and nothing is selected.
    template <class Row> QList<Row> selectedOf(const QList<Row>& rows, bool withAll) const
    {
        const QList<int> numbers = selectedRowNumbers(rows.size());
        if (numbers.isEmpty() && withAll)
            return rows;
        QList<Row> chosen;
        for (int r : numbers)
            chosen.append(rows.at(r));
        return chosen;
    }
    // The backup's records of the rows' audio files in the domain, in row order; rows without a
    // record are left out and added to notStored when given.
    template <class Row>
    static QList<const BackupManifest::_FileNode*> audioNodesOf(
        const BackupManifest* manifest, const QString& domain, const QList<Row>& rows, qint64* notStored)
    {
        QStringList paths;
        for (const Row& row : rows)
            paths.append(row.audioPath());
        return nodesIn(manifest, domain, paths, notStored);
    }
    // Extracts the files with a progress titled title: the file count, or -1 after an error or a
    // cancel; files without a stored copy are added to notStored when given.
    qint64 extractNodes(const QString& title, const QList<const BackupManifest::_FileNode*>& nodes,
        const QDir& dest, qint64* notStored);
    // Asks for a folder, runs extractTo on it and tells how many files were written, and how many
    // of the chosen ones the backup does not store.
    void exportWith(const std::function<qint64(const QDir&, qint64* notStored)>& extractTo);

    // Reads the rows on the reading's worker (touching nothing the window uses) and returns what
    // shows them in the model on the window's thread, with their count; failures throw.
    virtual std::function<int()> readRows() = 0;
    virtual QList<int> columnWidths() const = 0;
    // The text of the export action.
    virtual QString exportText() const = 0;
    virtual QString exportedText(qint64 count) const = 0;
    // Exports the selection (or everything, when withAll and nothing is selected).
    virtual void exportSelection(bool withAll) = 0;

    const BackupManifest* m_manifest;

private:
    static QList<const BackupManifest::_FileNode*> nodesIn(
        const BackupManifest* manifest, const QString& domain, const QStringList& paths, qint64* notStored);

    MyTreeView* m_list = nullptr;
    PageLoad m_load;
    PageRead* m_read;
};

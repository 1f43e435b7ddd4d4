#pragma once

#include "app/AbsTreeItemModel.h"
#include "notes_media/_Notes.h"

// The list model of the notes page: one row per note, columns "Title", "Date modified" and
// "Summary".
class ItemModelNotes : public AbsTreeItemModel
{
    Q_OBJECT
public:
    class _NotesItemNode : public _ItemNode
    {
    public:
        explicit _NotesItemNode(const _Notes& note);
        _Notes note;
    };

    explicit ItemModelNotes(QObject* parent = nullptr);

    // Drops every row, then shows the notes in the given order.
    void loadNotes(const QList<_Notes>& notes);
    static const _Notes* noteOf(const QModelIndex& index);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};

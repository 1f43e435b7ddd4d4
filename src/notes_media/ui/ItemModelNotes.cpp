#include "notes_media/ui/ItemModelNotes.h"

#include "app/ShownText.h"

#include <QIcon>
#include <QLocale>

ItemModelNotes::_NotesItemNode::_NotesItemNode(const _Notes& note)
    : _ItemNode(0, note.title, nullptr)
    , note(note)
{
}

ItemModelNotes::ItemModelNotes(QObject* parent)
    : AbsTreeItemModel(parent)
{
}

void ItemModelNotes::loadNotes(const QList<_Notes>& notes)
{
    beginResetModel();
    qDeleteAll(roots);
    roots.clear();
    for (const _Notes& n : notes)
        roots.append(new _NotesItemNode(n));
    endResetModel();
}

const _Notes* ItemModelNotes::noteOf(const QModelIndex& index)
{
    const auto* node = static_cast<const _NotesItemNode*>(nodeOf(index));
    return node ? &node->note : nullptr;
}

int ItemModelNotes::columnCount(const QModelIndex&) const
{
    return 3;
}

QVariant ItemModelNotes::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case 0:
        return tr("Title");
    case 1:
        return tr("Date modified");
    case 2:
        return tr("Summary");
    default:
        return {};
    }
}

QVariant ItemModelNotes::data(const QModelIndex& index, int role) const
{
    const _Notes* n = noteOf(index);
    if (!n)
        return {};
    if (role == Qt::DecorationRole && index.column() == 0)
        return QIcon(QStringLiteral(":/res/notes.png"));
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case 0:
        return ShownText::line(n->title);
    case 1:
        return QLocale::system().toString(n->modifiedDate.toLocalTime(), QLocale::ShortFormat);
    case 2:
        return ShownText::line(n->summary);
    default:
        return {};
    }
}

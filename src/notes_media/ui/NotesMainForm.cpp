#include "notes_media/ui/NotesMainForm.h"

#include "app/StyleSheet.h"
#include "app/ui/ItemModelBK.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/shared/PageActions.h"
#include "app/ui/shared/PageRead.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/Tips.h"
#include "backup/BackupManifest.h"
#include "notes_media/LocalNotesDb.h"
#include "notes_media/ui/BackupNotesThread.h"
#include "notes_media/ui/ExportNotesThread.h"

#include <QAction>
#include <QCursor>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

NotesMainForm::NotesMainForm(QSharedPointer<INotesDb> source, const BackupManifest* manifest, QWidget* parent)
    : QWidget(parent)
    , m_source(std::move(source))
    , m_manifest(manifest)
    , m_model(new ItemModelNotes(this))
    , m_load(manifest, ItemModelBK::KindNotes)
    , m_read(new PageRead(this))
{
    setObjectName("NotesMainForm");
    resize(951, 640);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    listNotes = new MyTreeView(this);
    listNotes->setObjectName("listNotes");
    listNotes->setStyleSheet(QStringLiteral("border:none;"));
    listNotes->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listNotes->setRootIsDecorated(false);
    listNotes->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listNotes->setModel(m_model);
    layout->addWidget(listNotes);
    lbCount = new QLabel(tr("Total: 0"), this);
    lbCount->setObjectName("lbCount");
    lbCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(lbCount);
    setStyleSheet(getStyleSheet());
    connect(listNotes, &MyTreeView::createContextMenu, this, &NotesMainForm::contextMenu);
    reload();
}

NotesMainForm::~NotesMainForm()
{
    m_read->end();
}

void NotesMainForm::reload()
{
    auto notes = std::make_shared<QList<_Notes>>();
    m_load.startReading();
    lbCount->setText(tr("Total:%1").arg(m_load.shownCount(0)));
    m_read->start([source = m_source, notes] { *notes = source->notes(); },
        [this, notes](const QString& failure) {
            m_notes = *notes;
            m_load.setReadFailure(failure);
            m_model->loadNotes(m_notes);
            listNotes->header()->resizeSection(0, 300);
            listNotes->header()->resizeSection(1, 160);
            m_read->tellFailure(failure);
            lbCount->setText(tr("Total:%1").arg(m_load.shownCount(m_notes.size())));
        });
}

QList<QAction*> NotesMainForm::toolbarActions()
{
    QList<QAction*> actions;
    if (m_manifest) {
        auto* save
            = new QAction(QIcon(QStringLiteral(":/res/save-to-database.png")), tr("IDS_BACKUP_NOTES"), this);
        connect(save, &QAction::triggered, this, &NotesMainForm::miToolbarBackup);
        actions.append(save);
    }
    auto* exp = new QAction(QIcon(QStringLiteral(":/res/mi_export-sms.png")), tr("IDS_EXPORT_NOTES"), this);
    connect(exp, &QAction::triggered, this, &NotesMainForm::miToolbarExport);
    actions.append(exp);
    return actions;
}

QList<_Notes> NotesMainForm::selectedNotes(bool withAll) const
{
    QList<int> rows;
    for (const QModelIndex& index : listNotes->selectionModel()->selectedRows(0))
        rows.append(index.row());
    if (rows.isEmpty() && withAll)
        return m_notes;
    std::sort(rows.begin(), rows.end());
    QList<_Notes> chosen;
    for (int r : std::as_const(rows))
        if (r >= 0 && r < m_notes.size())
            chosen.append(m_notes.at(r));
    return chosen;
}

void NotesMainForm::contextMenu()
{
    if (selectedNotes(false).isEmpty())
        return;
    QMenu menu(this);
    if (m_manifest)
        connect(menu.addAction(QIcon(QStringLiteral(":/res/save-to-database.png")), tr("IDS_BACKUP_NOTES")),
            &QAction::triggered, this, &NotesMainForm::miBackup);
    connect(menu.addAction(QIcon(QStringLiteral(":/res/mi_export-sms.png")), tr("IDS_EXPORT_NOTES")),
        &QAction::triggered, this, &NotesMainForm::miExport);
    menu.exec(QCursor::pos());
}

void NotesMainForm::backupNotes(QList<_Notes> notes)
{
    const std::optional<QDir> folder = PageActions::chooseLocalDb(this, m_manifest);
    if (!folder)
        return;
    LocalNotesDb store(folder->absoluteFilePath(QStringLiteral("notes.db")));
    if (PageActions::runWorker(this, tr("IDS_TITLE_BACKUPING_NOTES"), [&](ProgressForm& form) {
            return std::make_unique<BackupNotesThread>(&store, notes, &form, this);
        }))
        emit backupFinished(folder->dirName());
}

void NotesMainForm::exportNotes(QList<_Notes> notes)
{
    if (!m_load.exportable())
        return;
    const QString proposed = PageActions::proposedExportPath(QStringLiteral("notes-"));
    const QString path = QFileDialog::getSaveFileName(this, QString(), proposed, QString());
    if (path.isEmpty())
        return;
    PageActions::runWorker(this, tr("IDS_TITLE_EXPORT_NOTES"),
        [&](ProgressForm& form) { return std::make_unique<ExportNotesThread>(notes, path, &form, this); });
}

void NotesMainForm::miBackup()
{
    backupNotes(selectedNotes(false));
}

void NotesMainForm::miExport()
{
    exportNotes(selectedNotes(false));
}

void NotesMainForm::miToolbarBackup()
{
    backupNotes(selectedNotes(true));
}

void NotesMainForm::miToolbarExport()
{
    exportNotes(selectedNotes(true));
}

#include "app/ui/shared/LoadItunesBackupDlg.h"

#include "app/DataPaths.h"
#include "app/StyleSheet.h"
#include "app/ui/shared/BackupFolderListing.h"
#include "app/ui/shared/ItemModelLoadBk.h"
#include "app/ui/shared/ListedBackupReads.h"
#include "app/ui/shared/ManifestInfoThread.h"
#include "app/ui/shared/Tips.h"
#include "app/ui/shared/WinMovable.h"
#include "backup/BackupManifest.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

LoadItunesBackupDlg::LoadItunesBackupDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("LoadItunesBackupDlg");
    m_reads = new ListedBackupReads(this);
    connect(m_reads, &ListedBackupReads::ended, this, &LoadItunesBackupDlg::onRead);
    setWindowTitle(tr("IDS_MI_LOAD_BACKUP"));
    resize(720, 400);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(10);
    lbTitle = new QLabel(tr("IDS_SELECT_ITUNES_BACKUP"), this);
    lbTitle->setObjectName("lbTitle");
    layout->addWidget(lbTitle);

    model = new ItemModelLoadBk(this);
    twBackups = new QTreeView(this);
    twBackups->setObjectName("twBackups");
    twBackups->setModel(model);
    twBackups->setSelectionBehavior(QAbstractItemView::SelectRows);
    twBackups->setRootIsDecorated(false);
    twBackups->setAlternatingRowColors(true);
    twBackups->setUniformRowHeights(true);
    twBackups->setIconSize(QSize(18, 18));
    twBackups->header()->setStretchLastSection(false);
    twBackups->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int c = 1; c < 5; ++c)
        twBackups->header()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    layout->addWidget(twBackups, 1);
    lbLeftOut = new QLabel(this);
    lbLeftOut->setObjectName("lbLeftOut");
    lbLeftOut->setTextFormat(Qt::PlainText);
    lbLeftOut->setWordWrap(true);
    lbLeftOut->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbLeftOut->hide();
    layout->addWidget(lbLeftOut);

    auto* buttons = new QHBoxLayout;
    buttons->setObjectName("horizontalLayout");
    buttons->setSpacing(6);
    btnAddFolder = new QPushButton(tr("IDS_ADD_BACKUP_FOLDER"), this);
    btnAddFolder->setObjectName("btnAddFolder");
    btnAddFolder->setAutoDefault(false);
    buttons->addWidget(btnAddFolder);
    buttons->addStretch(1);
    btnOK = new QPushButton(tr("IDS_LOAD"), this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    buttons->addWidget(btnOK);
    btnClose = new QPushButton(tr("取消"), this);
    btnClose->setObjectName("btnClose");
    btnClose->setAutoDefault(false);
    buttons->addWidget(btnClose);
    layout->addLayout(buttons);

    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet());
    new WinMovable(this);
    connect(btnOK, &QPushButton::pressed, this, &LoadItunesBackupDlg::onBtnOkPressed);
    connect(btnAddFolder, &QPushButton::pressed, this, &LoadItunesBackupDlg::onBtnAddFolderPressed);
    connect(btnClose, &QPushButton::pressed, this, &QDialog::reject);
    connect(twBackups, &QTreeView::doubleClicked, this, &LoadItunesBackupDlg::onBtnOkPressed);

    lbListing = new QLabel(tr("IDS_BK_STATUS_READING"), this);
    lbListing->setObjectName("lbListing");
    lbListing->hide();
    layout->insertWidget(1, lbListing);
    for (const QString& root : systemBackupRoots())
        listFolder(root, false, false);
}

void LoadItunesBackupDlg::listFolder(const QString& folder, bool added, bool report)
{
    // Listed on a thread of its own, never waited for: the folder, or a link in it, may be on a
    // disk that stopped answering. The dialog may be closed before it ends.
    auto* listing = new BackupFolderListing(folder, added);
    connect(listing, &QThread::finished, this, [this, listing, report] { onListed(*listing, report); });
    // After the outcome is taken, as both are queued to this thread in this order.
    connect(listing, &QThread::finished, listing, &QObject::deleteLater);
    ++m_listings;
    lbListing->show();
    listing->start();
}

void LoadItunesBackupDlg::onListed(const BackupFolderListing& listing, bool report)
{
    --m_listings;
    lbListing->setVisible(m_listings > 0);
    const QString& folder = listing.folder();
    if (!listing.why().isEmpty()) {
        tell(listing.why(), report);
        if (listing.added()) {
            Q_EMIT folderListed(folder);
            Q_EMIT folderAdded(folder, 0);
        }
        return;
    }
    const int batch = ++m_lastBatch;
    m_batches[batch] = Batch { folder, report, listing.isBackup(), listing.added(), 0, 0, {}, {} };
    if (listing.isBackup()) {
        twBackups->setCurrentIndex(model->index(addBackup(folder, batch), 0));
        m_batches[batch].listed = m_batches[batch].pending == 0 ? 1 : 0;
    } else {
        for (const QString& entry : listing.entries()) {
            const int pending = m_batches[batch].pending;
            addBackup(entry, batch, true);
            // One listed already counts as it stands.
            if (m_batches[batch].pending == pending)
                ++m_batches[batch].listed;
        }
    }
    chooseOnlyRow();
    if (listing.added())
        Q_EMIT folderListed(folder);
    if (m_batches[batch].pending == 0) {
        const Batch ended = m_batches[batch];
        m_batches.erase(batch);
        endBatch(ended);
    }
}

QStringList LoadItunesBackupDlg::systemBackupRoots()
{
    return { g_osAppDir().absoluteFilePath("MobileSync/Backup") };
}

QList<QSharedPointer<BackupManifest>> LoadItunesBackupDlg::backups() const
{
    QList<QSharedPointer<BackupManifest>> read;
    for (int row = 0; row < model->rowCount(); ++row) {
        if (QSharedPointer<BackupManifest> backup = model->backupAt(row))
            read.append(backup);
    }
    return read;
}

bool LoadItunesBackupDlg::reading() const
{
    return m_listings > 0 || m_reads->anyUnderWay();
}

int LoadItunesBackupDlg::addBackup(const QString& path, int batch, bool entry)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    int row = model->rowOf(absolute);
    const ItemModelLoadBk::_LoadBkItemNode* listed = model->nodeAt(row);
    if (listed && (listed->read != 0 || listed->manifest))
        return row;
    const quint64 read = m_reads->start(absolute, entry);
    if (listed)
        model->showReading(row, read);
    else
        row = model->addReading(absolute, read);
    m_batchOf[read] = batch;
    ++m_batches[batch].pending;
    return row;
}

void LoadItunesBackupDlg::addFolder(const QString& path, bool report)
{
    listFolder(path, true, report);
}

void LoadItunesBackupDlg::chooseOnlyRow()
{
    // The only backup the computer keeps is chosen, so that Load takes it at once.
    if (m_listings == 0 && model->rowCount() == 1 && !twBackups->currentIndex().isValid())
        twBackups->setCurrentIndex(model->index(0, 0));
}

void LoadItunesBackupDlg::onRead(quint64 read, const ManifestInfoThread& thread)
{
    const int row = model->rowOfRead(read);
    const bool noBackup = thread.outcome() == ManifestInfoThread::Outcome::NotBackup;
    if (noBackup) {
        model->removeNode(model->nodeAt(row));
        chooseOnlyRow();
    } else if (QSharedPointer<BackupManifest> backup = thread.manifest()) {
        model->showRead(row, backup);
    } else {
        model->showUnreadable(row, thread.why());
    }
    const auto of = m_batchOf.find(read);
    if (of == m_batchOf.end())
        return;
    const auto it = m_batches.find(of->second);
    m_batchOf.erase(of);
    if (it == m_batches.end())
        return;
    Batch& batch = it->second;
    if (!noBackup)
        ++batch.listed;
    if (!thread.manifest() && !noBackup) {
        batch.unreadable.append(
            batch.single ? thread.why() : QFileInfo(thread.path()).fileName() + ": " + thread.why());
        batch.unreadableReads.append(read);
    }
    if (--batch.pending > 0)
        return;
    const Batch ended = batch;
    m_batches.erase(it);
    endBatch(ended);
}

void LoadItunesBackupDlg::endBatch(const Batch& batch)
{
    tellBatch(batch);
    if (!batch.added)
        return;
    if (batch.report && batch.listed == 0)
        Tips::warning(tr("IDS_NOT_ITUNES_BACKUP_FOLDER_%1").arg(QDir::toNativeSeparators(batch.folder)));
    Q_EMIT folderAdded(batch.folder, batch.listed);
}

void LoadItunesBackupDlg::tellBatch(const Batch& batch)
{
    if (batch.unreadable.isEmpty())
        return;
    if (batch.report) {
        for (const quint64 read : batch.unreadableReads)
            m_toldInBox.insert(read);
    }
    if (batch.single) {
        if (batch.report)
            Tips::error(tr("IDS_BACKUP_UNREADABLE_%1_%2")
                            .arg(QDir::toNativeSeparators(batch.folder), batch.unreadable.first()));
        return;
    }
    if (!batch.report)
        qWarning("Backups not readable: %s", qUtf8Printable(batch.unreadable.join("; ")));
    tell(tr("IDS_BACKUPS_SKIPPED_%1_%2")
             .arg(QDir::toNativeSeparators(batch.folder), batch.unreadable.join("\n")),
        batch.report);
}

void LoadItunesBackupDlg::tell(const QString& text, bool report)
{
    if (report) {
        Tips::error(text);
        return;
    }
    const QString shown = lbLeftOut->text();
    lbLeftOut->setText(shown.isEmpty() ? text : shown + QLatin1Char('\n') + text);
    lbLeftOut->show();
}

void LoadItunesBackupDlg::onBtnAddFolderPressed()
{
    const QString path
        = QFileDialog::getExistingDirectory(this, tr("IDS_ADD_BACKUP_FOLDER"), QDir::homePath());
    if (!path.isEmpty())
        addFolder(path, true);
}

void LoadItunesBackupDlg::onBtnOkPressed()
{
    const QModelIndex current = twBackups->currentIndex();
    const int row = current.isValid() ? current.row() : -1;
    const ItemModelLoadBk::_LoadBkItemNode* chosen = model->nodeAt(row);
    if (!chosen) {
        Tips::warning(tr("IDS_PLEASE_SELECT_ONE_ITUNES_BACKUP"));
        return;
    }
    const quint64 read = chosen->read;
    if (read != 0 && !m_reads->waitFor(read, this))
        return; // the user stopped waiting: the dialog stays, and the read goes on
    // Rows stay while the dialog lasts; the wait has given this one its outcome.
    chosen = model->nodeAt(row);
    if (chosen->manifest) {
        manifest = chosen->manifest;
        accept();
        return;
    }
    // A read that ended during this wait and was told in a box already is not told twice.
    if (read == 0 || !m_toldInBox.contains(read))
        Tips::error(tr("IDS_BACKUP_UNREADABLE_%1_%2")
                        .arg(QDir::toNativeSeparators(chosen->path), chosen->unreadable));
}

#include "app/ui/shared/LoadItunesBackupDlg.h"

#include "app/DataPaths.h"
#include "app/FolderAccess.h"
#include "app/StyleSheet.h"
#include "app/ui/shared/ItemModelLoadBk.h"
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
#include <exception>

namespace
{

// Whether a folder inside a folder of backups is taken for a backup: one that lost its
// Manifest.plist is named among those left out, not passed over, and so is one the user may not
// look into.
bool mayBeBackup(const QString& path)
{
    const QDir dir(path);
    for (const char* name :
        { "Manifest.plist", "Manifest.db", "Manifest.mbdb", "Info.plist", "Status.plist" }) {
        if (dir.exists(QLatin1String(name)))
            return true;
    }
    return FolderAccess::stateOf(path) == FolderAccess::State::Refused;
}

} // namespace

LoadItunesBackupDlg::LoadItunesBackupDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("LoadItunesBackupDlg");
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

    for (const QString& root : systemBackupRoots()) {
        if (FolderAccess::stateOf(root) != FolderAccess::State::Missing)
            addFolder(root, false);
    }
    if (model->rowCount() == 1)
        twBackups->setCurrentIndex(model->index(0, 0));
}

QStringList LoadItunesBackupDlg::systemBackupRoots()
{
    return { g_osAppDir().absoluteFilePath("MobileSync/Backup") };
}

int LoadItunesBackupDlg::addBackup(const QString& path, QString* error)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    for (int row = 0; row < m_backups.size(); ++row) {
        if (m_backups[row]->dir.absolutePath() == absolute)
            return row;
    }
    QSharedPointer<BackupManifest> backup(new BackupManifest(absolute, nullptr));
    try {
        backup->readManifestInfo();
    } catch (const std::exception& e) {
        if (error)
            *error = QString::fromUtf8(e.what());
        return -1;
    }
    model->addBackup(backup);
    m_backups.append(backup);
    return int(m_backups.size()) - 1;
}

int LoadItunesBackupDlg::addFolder(const QString& path, bool report)
{
    const QDir dir(path);
    QString error;
    // A folder the user may not read looks empty: it may be a backup or hold some. One that is no
    // backup is listed for the backups it holds.
    const bool backup = dir.exists("Manifest.plist");
    if (FolderAccess::stateOf(path, &error, !backup) == FolderAccess::State::Refused) {
        tell(error, report);
        return 0;
    }
    if (backup) {
        const int row = addBackup(path, &error);
        if (row < 0) {
            if (report)
                Tips::error(tr("IDS_BACKUP_UNREADABLE_%1_%2").arg(QDir::toNativeSeparators(path), error));
            return 0;
        }
        twBackups->setCurrentIndex(model->index(row, 0));
        return 1;
    }
    // A folder of backups, like the one the computer keeps.
    int added = 0;
    QStringList unreadable;
    const QFileInfoList subfolders = dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& sub : subfolders) {
        if (!mayBeBackup(sub.absoluteFilePath()))
            continue;
        if (addBackup(sub.absoluteFilePath(), &error) >= 0)
            ++added;
        else
            unreadable.append(sub.fileName() + ": " + error);
    }
    if (report && added == 0 && unreadable.isEmpty())
        Tips::warning(tr("IDS_NOT_ITUNES_BACKUP_FOLDER_%1").arg(QDir::toNativeSeparators(path)));
    if (unreadable.isEmpty())
        return added;
    if (!report)
        qWarning("Backups not listed: %s", qUtf8Printable(unreadable.join("; ")));
    tell(tr("IDS_BACKUPS_SKIPPED_%1_%2").arg(QDir::toNativeSeparators(path), unreadable.join("\n")), report);
    return added;
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
    if (row < 0 || row >= m_backups.size()) {
        Tips::warning(tr("IDS_PLEASE_SELECT_ONE_ITUNES_BACKUP"));
        return;
    }
    manifest = m_backups.at(row);
    accept();
}

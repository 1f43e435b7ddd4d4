#include "app/ui/shared/LocalDbSelForm.h"

#include "app/DataPaths.h"
#include "app/MadeFolders.h"
#include "app/ui/shared/Tips.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>

LocalDbSelForm::LocalDbSelForm(QWidget* parent, const QString& presetName)
    : QDialog(parent)
    , dbDir(QString())
{
    setupUi(this);
    connect(btnOK, &QPushButton::pressed, this, &LocalDbSelForm::onBtnOkPress);
    connect(btnClose, &QPushButton::pressed, this, &QDialog::reject);

    const QFileInfoList folders
        = g_localDbDir().entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
    cbLocalDbNames->addItem(QString());
    for (const QFileInfo& folder : folders)
        cbLocalDbNames->addItem(folder.fileName());
    cbLocalDbNames->setCurrentIndex(-1);
    if (!presetName.isEmpty())
        cbLocalDbNames->setEditText(presetName);
}

bool LocalDbSelForm::isValidName(const QString& name)
{
    static const QRegularExpression forbidden(QStringLiteral("[\\\\/:*?\"<>|\\n\\r\\t]+"));
    const QString trimmed = name.trimmed();
    if (trimmed.contains(forbidden))
        return false;
    // "." and ".." (and longer runs of dots) would name the parent folders or a hidden entry.
    static const QRegularExpression onlyDots(QStringLiteral("^\\.+$"));
    return !onlyDots.match(trimmed).hasMatch();
}

void LocalDbSelForm::onBtnOkPress()
{
    const QString name = cbLocalDbNames->currentText().trimmed();
    if (name.isEmpty()) {
        Tips::warning(tr("IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME"));
        return;
    }
    if (!isValidName(name)) {
        Tips::warning(tr("IDS_INVALID_LOCALDB_NAME"));
        return;
    }
    // A folder that cannot be made (a full disk) is told here, with the system's reason.
    QString why;
    dbDir = QDir(g_localDbDir(&why).absoluteFilePath(name));
    if (!why.isEmpty() || !MadeFolders::makePath(dbDir.absolutePath(), &why)) {
        Tips::warning(why);
        return;
    }
    accept();
}

#include "app/ui/shared/LocalDbSelForm.h"

#include "app/DataPaths.h"
#include "app/ui/shared/FramelessOkCancel.h"
#include "app/ui/shared/Tips.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>

LocalDbSelForm::LocalDbSelForm(QWidget* parent, const QString& presetName)
    : QDialog(parent)
    , dbDir(QString())
{
    setObjectName("LocalDbSelForm");
    setFixedSize(423, 156);
    setWindowTitle(tr("选择要备份到哪个数据库"));

    label = new QLabel(tr("选择或输入新的数据库名称:"), this);
    label->setObjectName("label");
    label->setGeometry(10, 20, 401, 16);

    cbLocalDbNames = new QComboBox(this);
    cbLocalDbNames->setObjectName("cbLocalDbNames");
    cbLocalDbNames->setGeometry(10, 40, 401, 22);
    cbLocalDbNames->setEditable(true);
    cbLocalDbNames->setInsertPolicy(QComboBox::NoInsert);
    cbLocalDbNames->setToolTip(tr("选择现有的数据库会将短信息附加到里面,输入新的名字会创建新的本地数据库."));

    const FramelessOkCancel buttons = setUpFramelessOkCancel(this, QRect(100, 120, 211, 25));
    btnOK = buttons.ok;
    btnClose = buttons.cancel;
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
    const QDir root = g_localDbDir();
    dbDir = QDir(root.absoluteFilePath(name));
    if (!dbDir.exists())
        root.mkpath(name);
    accept();
}

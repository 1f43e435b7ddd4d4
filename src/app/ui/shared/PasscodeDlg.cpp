#include "app/ui/shared/PasscodeDlg.h"

#include "app/ShownText.h"
#include "app/StyleSheet.h"
#include "app/ui/shared/Tips.h"
#include "app/ui/shared/WinMovable.h"
#include "backup/BackupManifest.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>

PasscodeDlg::PasscodeDlg(BackupManifest* manifest, QWidget* parent)
    : QDialog(parent)
    , m_manifest(manifest)
{
    setObjectName("PasscodeDlg");
    setWindowTitle(tr("IDS_BACKUP_PASSWORD"));
    setFixedSize(423, 170);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(8);

    auto* header = new QHBoxLayout;
    header->setSpacing(12);
    auto* icon = new QLabel(this);
    icon->setObjectName("lbIcon");
    icon->setPixmap(QPixmap(":/res/bk_big.png").scaledToHeight(48, Qt::SmoothTransformation));
    header->addWidget(icon, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    lbBackup = new QLabel(this);
    lbBackup->setObjectName("lbBackup");
    lbBackup->setTextFormat(Qt::PlainText);
    lbBackup->setStyleSheet("font-size:16px; font-weight:bold;");
    if (manifest)
        lbBackup->setText(ShownText::line(manifest->displayName));
    texts->addWidget(lbBackup);
    lbTitle = new QLabel(tr("IDS_BACKUP_IS_ENCRYPTED"), this);
    lbTitle->setObjectName("lbTitle");
    lbTitle->setWordWrap(true);
    texts->addWidget(lbTitle);
    header->addLayout(texts, 1);
    layout->addLayout(header);

    edPassword = new QLineEdit(this);
    edPassword->setObjectName("edPassword");
    edPassword->setEchoMode(QLineEdit::Password);
    edPassword->setPlaceholderText(tr("IDS_BACKUP_PASSWORD"));
    layout->addWidget(edPassword);
    layout->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->setObjectName("horizontalLayout");
    buttons->setSpacing(6);
    buttons->addStretch(1);
    btnOK = new QPushButton(tr("确定"), this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    buttons->addWidget(btnOK);
    btnClose = new QPushButton(tr("取消"), this);
    btnClose->setObjectName("btnClose");
    buttons->addWidget(btnClose);
    layout->addLayout(buttons);

    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet());
    new WinMovable(this);
    connect(btnOK, &QPushButton::pressed, this, &PasscodeDlg::onBtnOkPressed);
    connect(btnClose, &QPushButton::pressed, this, &QDialog::reject);
    edPassword->setFocus();
}

void PasscodeDlg::onBtnOkPressed()
{
    const QString text = edPassword->text();
    if (text.isEmpty()) {
        Tips::warning(tr("IDS_PWD_IS_NULL"));
        return;
    }
    bool unlocked = false;
    try {
        unlocked = m_manifest && m_manifest->setPasscode(text);
    } catch (const BackupKeyBag::Cancelled&) {
        // The user stopped the check: the backup stays locked and the password can be tried again.
        edPassword->setFocus();
        return;
    } catch (const std::exception& e) {
        // A damaged keybag or manifest: no password can help, so the dialog gives up.
        Tips::plainError(QString::fromUtf8(e.what()));
        reject();
        return;
    }
    if (!unlocked) {
        Tips::warning(tr("IDS_INVALID_PASSWORD"));
        edPassword->clear();
        edPassword->setFocus();
        return;
    }
    password = text;
    accept();
}

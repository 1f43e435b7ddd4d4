#include "app/ui/shared/Ui_LocalDbSelForm.h"

#include "app/ui/shared/FramelessOkCancel.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>

void Ui_LocalDbSelForm::setupUi(QDialog* LocalDbSelForm)
{
    if (LocalDbSelForm->objectName().isEmpty())
        LocalDbSelForm->setObjectName("LocalDbSelForm");
    LocalDbSelForm->setFixedSize(423, 156);

    label = new QLabel(LocalDbSelForm);
    label->setObjectName("label");
    label->setGeometry(10, 20, 401, 16);

    cbLocalDbNames = new QComboBox(LocalDbSelForm);
    cbLocalDbNames->setObjectName("cbLocalDbNames");
    cbLocalDbNames->setGeometry(10, 40, 401, 22);
    cbLocalDbNames->setEditable(true);
    cbLocalDbNames->setInsertPolicy(QComboBox::NoInsert);

    const FramelessOkCancel buttons = setUpFramelessOkCancel(LocalDbSelForm, QRect(100, 120, 211, 25));
    btnOK = buttons.ok;
    btnClose = buttons.cancel;
    retranslateUi(LocalDbSelForm);
}

void Ui_LocalDbSelForm::retranslateUi(QDialog* LocalDbSelForm)
{
    LocalDbSelForm->setWindowTitle(QCoreApplication::translate("LocalDbSelForm", "选择要备份到哪个数据库"));
    label->setText(QCoreApplication::translate("LocalDbSelForm", "选择或输入新的数据库名称:"));
    cbLocalDbNames->setToolTip(QCoreApplication::translate(
        "LocalDbSelForm", "选择现有的数据库会将短信息附加到里面,输入新的名字会创建新的本地数据库."));
    btnOK->setText(QCoreApplication::translate("LocalDbSelForm", "确定"));
    btnClose->setText(QCoreApplication::translate("LocalDbSelForm", "取消"));
}

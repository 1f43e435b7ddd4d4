#include "app/ui/shared/Ui_DataSourceSelForm.h"

#include "app/ui/shared/FramelessOkCancel.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>

void Ui_DataSourceSelForm::setupUi(QDialog* DataSourceSelForm)
{
    if (DataSourceSelForm->objectName().isEmpty())
        DataSourceSelForm->setObjectName("DataSourceSelForm");
    DataSourceSelForm->resize(427, 138);

    lbSelDevice = new QLabel(DataSourceSelForm);
    lbSelDevice->setObjectName("lbSelDevice");
    lbSelDevice->setGeometry(10, 10, 401, 16);
    cbDevice = new QComboBox(DataSourceSelForm);
    cbDevice->setObjectName("cbDevice");
    cbDevice->setGeometry(10, 40, 401, 22);
    cbDevice->setEditable(false);

    const FramelessOkCancel buttons = setUpFramelessOkCancel(DataSourceSelForm, QRect(100, 100, 211, 25));
    btnOK = buttons.ok;
    btnClose = buttons.cancel;
    retranslateUi(DataSourceSelForm);
}

void Ui_DataSourceSelForm::retranslateUi(QDialog* DataSourceSelForm)
{
    DataSourceSelForm->setWindowTitle(QStringLiteral("DataSourceSelForm"));
    lbSelDevice->setText(QCoreApplication::translate("DataSourceSelForm", "IDS_PLEASE_SELECT_ONE_DEVICE"));
    cbDevice->setToolTip(QString());
    btnOK->setText(QCoreApplication::translate("DataSourceSelForm", "确定"));
    btnClose->setText(QCoreApplication::translate("DataSourceSelForm", "取消"));
}

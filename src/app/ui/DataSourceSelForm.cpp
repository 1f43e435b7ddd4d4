#include "app/ui/DataSourceSelForm.h"

#include "app/StyleSheet.h"
#include "app/ui/Tips.h"
#include "app/ui/WinMovable.h"
#include "device/IOSDeviceMonitor.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

DataSourceSelForm::DataSourceSelForm(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("DataSourceSelForm");
    setWindowTitle("DataSourceSelForm");
    resize(427, 138);

    lbSelDevice = new QLabel(tr("IDS_PLEASE_SELECT_ONE_DEVICE"), this);
    lbSelDevice->setObjectName("lbSelDevice");
    lbSelDevice->setGeometry(10, 10, 401, 16);
    cbDevice = new QComboBox(this);
    cbDevice->setObjectName("cbDevice");
    cbDevice->setGeometry(10, 40, 401, 22);
    cbDevice->setEditable(false);
    cbDevice->setToolTip(QString());

    auto* layoutWidget = new QWidget(this);
    layoutWidget->setObjectName("layoutWidget");
    layoutWidget->setGeometry(100, 100, 211, 25);
    auto* horizontalLayout = new QHBoxLayout(layoutWidget);
    horizontalLayout->setObjectName("horizontalLayout");
    horizontalLayout->setSpacing(6);
    horizontalLayout->setContentsMargins(0, 0, 0, 0);
    btnOK = new QPushButton(tr("确定"), layoutWidget);
    btnOK->setObjectName("btnOK");
    horizontalLayout->addWidget(btnOK);
    horizontalLayout->addStretch(1);
    btnClose = new QPushButton(tr("取消"), layoutWidget);
    btnClose->setObjectName("btnClose");
    horizontalLayout->addWidget(btnClose);

    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet());
    new WinMovable(this);

    IOSDeviceMonitor* monitor = IOSDeviceMonitor::getInstance();
    connect(btnOK, &QPushButton::pressed, this, &DataSourceSelForm::onBtnOkPressed);
    connect(btnClose, &QPushButton::pressed, this, &QDialog::reject);
    connect(monitor, &IOSDeviceMonitor::deviceConnected, this, &DataSourceSelForm::onIOSDeviceConnected);
    connect(
        monitor, &IOSDeviceMonitor::deviceDisconnected, this, &DataSourceSelForm::onIOSDeviceDisconnected);

    const auto& devices = monitor->devices;
    for (auto it = devices.cbegin(); it != devices.cend(); ++it)
        cbDevice->addItem(it.value()->deviceName, it.key());
    cbDevice->setCurrentIndex(devices.size() == 1 ? 0 : -1);
}

void DataSourceSelForm::onIOSDeviceConnected(const QString& id)
{
    if (cbDevice->findData(id) >= 0)
        return;
    const auto& devices = IOSDeviceMonitor::getInstance()->devices;
    const auto it = devices.constFind(id);
    if (it == devices.cend())
        return;
    const bool wasEmpty = cbDevice->count() == 0;
    cbDevice->addItem(it.value()->deviceName, id);
    if (wasEmpty)
        cbDevice->setCurrentIndex(0);
}

void DataSourceSelForm::onIOSDeviceDisconnected(const QString& id)
{
    const int row = cbDevice->findData(id);
    if (row >= 0)
        cbDevice->removeItem(row);
}

void DataSourceSelForm::onBtnOkPressed()
{
    if (cbDevice->currentIndex() < 0) {
        Tips::warning(tr("IDS_PLEASE_SELECT_ONE_DATASOURCE"));
        return;
    }
    udid = cbDevice->currentData().toString();
    accept();
}

#include "app/ui/shared/DataSourceSelForm.h"

#include "app/ui/shared/Tips.h"
#include "device/IOSDeviceMonitor.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

DataSourceSelForm::DataSourceSelForm(QWidget* parent)
    : QDialog(parent)
{
    setupUi(this);

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

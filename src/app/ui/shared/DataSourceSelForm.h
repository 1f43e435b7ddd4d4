#pragma once

#include "app/ui/shared/Ui_DataSourceSelForm.h"

#include <QDialog>

// Lets the user pick one connected device by name before data is written to it. The list follows
// devices being plugged in and out while the dialog is open. After exec(), `udid` is the chosen
// device's UDID, or empty when the dialog was closed without a choice.
class DataSourceSelForm : public QDialog, public Ui_DataSourceSelForm
{
    Q_OBJECT
public:
    explicit DataSourceSelForm(QWidget* parent = nullptr);

    QString udid;

public Q_SLOTS:
    void onBtnOkPressed();
    void onIOSDeviceConnected(const QString& udid);
    void onIOSDeviceDisconnected(const QString& udid);
};

#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

// Lets the user pick one connected device by name before data is written to it. The list follows
// devices being plugged in and out while the dialog is open. After exec(), `udid` is the chosen
// device's UDID, or empty when the dialog was closed without a choice.
class DataSourceSelForm : public QDialog
{
    Q_OBJECT
public:
    explicit DataSourceSelForm(QWidget* parent = nullptr);

    QString udid;

    QLabel* lbSelDevice;
    QComboBox* cbDevice;
    QPushButton* btnOK;
    QPushButton* btnClose;

public Q_SLOTS:
    void onBtnOkPressed();
    void onIOSDeviceConnected(const QString& udid);
    void onIOSDeviceDisconnected(const QString& udid);
};

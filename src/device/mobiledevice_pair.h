#pragma once

#include <QCoreApplication>
#include <QString>

// Pairs the computer with a device (the device must trust it).
class mobiledevice_pair
{
    Q_DECLARE_TR_FUNCTIONS(mobiledevice_pair)
public:
    explicit mobiledevice_pair(const QString& udid);
    // True when the device trusts the computer; on false `errorText` holds a rich-text message.
    bool pair();

    QString udid;
    QString errorText;
};

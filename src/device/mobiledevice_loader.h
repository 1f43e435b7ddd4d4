#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The check that the platform's device support is usable, with the remembered iTunes path. On this
// platform nothing needs loading: the result is always 1.
int mobiledevice_loader_ini(QString& message, const QString& uwpiTunesPath, const QStringList& arguments);
QString mobiledevice_loader_ini_uwpiTunesPath();
// The full path of a program inside the system's AppleMobileDeviceHelper.app.
QString mobiledevice_exe32_path(const QString& name, QProcessEnvironment& environment);

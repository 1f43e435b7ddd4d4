#pragma once

#include <QDateTime>
#include <QString>

// The details of one device path as the AFC service reports them.
struct _AfcFileInfo {
    _AfcFileInfo();
    explicit _AfcFileInfo(const QString& name);

    bool isValid() const;
    bool isFile() const;
    bool isDir() const;
    bool isLink() const;

    QString name; // the full device path that was queried
    qint64 size = 0;
    QDateTime mtime; // null when the device did not report it
    QString ifmt; // "S_IFREG", "S_IFDIR", "S_IFLNK"...; empty in an invalid record
};

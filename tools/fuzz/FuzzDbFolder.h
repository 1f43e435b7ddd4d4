#pragma once

// Shared by the fuzz entry points that read a database through its reader: the input becomes the
// only file of one temporary folder, under the name the reader looks for.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

inline QDir fuzzDbFolder(const uint8_t* data, size_t size, const QString& name)
{
    static QTemporaryDir dir;
    QDir folder(dir.path());
    // Whatever the last input left (journals, other names) goes first.
    for (const QString& f : folder.entryList(QDir::Files | QDir::Hidden))
        folder.remove(f);
    QFile out(folder.absoluteFilePath(name));
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        out.write(reinterpret_cast<const char*>(data), qint64(size));
    return folder;
}

#pragma once

#include "backup/BackupManifest.h"

#include <QDir>
#include <QList>
#include <QStringList>

class QWidget;

// The extraction of a media page (voicemail, recordings): the chosen audio files of the backup
// written into a folder by the file tree's extraction worker, so names, collisions and file times
// are those of the file tree.
class MediaExtract
{
public:
    // The destination folder, asked as the file tree asks; empty when the user cancels.
    static QString chooseFolder(QWidget* parent);
    // The file nodes of domain for the given relative paths, in that order; paths the backup has no
    // record of, and empty paths, are left out and added to notStored when given.
    static QList<const BackupManifest::_FileNode*> nodes(const BackupManifest* manifest,
        const QString& domain, const QStringList& paths, qint64* notStored = nullptr);
    // Runs the worker under a progress dialog titled title; the extracted file count, or -1 when
    // the run ended in an error or a cancel (after a cancel, how many files it wrote is told here).
    // Without a backup nothing runs and the count is 0. The files the worker found without a
    // stored copy are added to notStored when given.
    static qint64 run(QWidget* parent, const QString& title, const BackupManifest* manifest,
        const QList<const BackupManifest::_FileNode*>& nodes, const QDir& dest, qint64* notStored = nullptr);
};

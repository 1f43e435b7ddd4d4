#pragma once

#include "backup/ContentDigest.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QThread>

class BackupManifest;
class ProgressForm;

// Writes files into a backup under their hashed names (encrypted when the backup is), adds or
// updates their records and saves the manifest in the backup's own format. Nothing in the backup
// changes unless every file and the new manifest were prepared.
class IOSMergeWAFiles2iTunesBKThread : public QThread
{
    Q_OBJECT
public:
    struct _Item {
        _Item() = default;
        _Item(
            QString domain, QString sourceFile, QString relativePath, bool overwrite, bool useSecondClassKey)
            : domain(std::move(domain))
            , sourceFile(std::move(sourceFile))
            , relativePath(std::move(relativePath))
            , overwrite(overwrite)
            , useSecondClassKey(useSecondClassKey)
        {
        }
        QString domain;
        QString sourceFile;
        QString relativePath;
        // Replace a file already in the backup; without it such an item is left out.
        bool overwrite = false;
        // New records get protection class 3 with it, 4 without; a replaced record keeps its class.
        bool useSecondClassKey = false;
    };

    IOSMergeWAFiles2iTunesBKThread(
        BackupManifest& manifest, const QList<_Item>& items, ProgressForm& form, QObject* parent = nullptr);

    // What the stored files the road read held then, by file name: an item that replaces one of
    // them (or its log) is written only while that file still holds it, else the write fails
    // with nothing written (another program changed it meanwhile).
    void setExpected(QHash<QString, ContentDigest::Sum> read) { m_expected = std::move(read); }

protected:
    void run() override;

private:
    BackupManifest& m_manifest;
    QList<_Item> m_items;
    ProgressForm& m_form;
    QHash<QString, ContentDigest::Sum> m_expected;
};

#pragma once

#include <QDir>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class AbsLocalDb;
class BackupManifest;
class ProgressForm;
class QThread;
class QWidget;

// The steps the data pages share around their save, export and delete operations.
class PageActions
{
public:
    using MakeWorker = std::function<std::unique_ptr<QThread>(ProgressForm&)>;

    // Runs the worker made for a progress dialog titled title until the dialog closes; true when it
    // ended in success rather than in an error or a cancel.
    static bool runWorker(QWidget* parent, const QString& title, const MakeWorker& make);

    // Asks for the local database to save into, its name preset from the backup's device name
    // (characters a folder name cannot hold removed); empty when the user cancels.
    static std::optional<QDir> chooseLocalDb(QWidget* parent, const BackupManifest* manifest);

    // The proposed export file in the home folder: stem, a time stamp of now, then suffix.
    static QString proposedExportPath(const QString& stem, const QString& suffix = QString());

    // Runs work in one edit of store; when anything fails, the edit is rolled back and the failure
    // passed on.
    static void inOneEdit(AbsLocalDb& store, const std::function<void()>& work);

    // Asks question; once confirmed, runs remove on a worker under a progress dialog titled title,
    // and tells the user its failure or the success text. remove returns false when it has nothing
    // to delete from (nothing is told then). True when remove succeeded.
    static bool confirmedDelete(QWidget* parent, const QString& title, const QString& question,
        const std::function<bool()>& remove, const QString& success);
};

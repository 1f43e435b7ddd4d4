#pragma once

#include "backup/BackupWriteJournal.h"
#include "backup/BackupWriteRecord.h"

#include <QDir>
#include <QString>
#include <memory>
#include <vector>

class BackupWritePlace;

// What settling does with the write a record describes, decided in one place from what the folder
// holds, then carried out. The content of the manifest in place tells whether the write was
// committed: it is the staged one (finish), the replaced one (undo) or another program's. Each file
// is then judged by what its names hold, never by a name, a time or a missing temporary: a target
// is put back, removed or given its staged file only when it holds what the record says it should,
// and an old file kept aside goes only when it holds what the target held before. A write that
// cannot be undone, as a target holds what it staged and its old content is nowhere, is finished
// instead (its staged manifest is the only one that describes that file); one that can be neither
// keeps its record, nothing changes, and the log says why.
class BackupWriteSettlement
{
public:
    using Outcome = BackupWriteJournal::Outcome;
    // What becomes of a target.
    enum class Action { None, PutBack, PutStaged, Remove };
    // One recorded file, and what becomes of it and of its old file and temporary.
    struct File {
        const BackupWriteJournal::Entry* entry = nullptr;
        std::unique_ptr<BackupWritePlace> place;
        Action action = Action::None;
        bool removeAside = false;
        bool removeTemp = false;
        QString log; // said when the decision is carried out
    };

    BackupWriteSettlement(const QDir& dir, const BackupWriteRecord& record);
    ~BackupWriteSettlement();
    BackupWriteSettlement(const BackupWriteSettlement&) = delete;
    BackupWriteSettlement& operator=(const BackupWriteSettlement&) = delete;

    // Reads what the folder holds and decides what becomes of the write and of each of its files;
    // committed when the caller has just committed the write itself. Kept: nothing is to change.
    Outcome decide(bool committed);
    const std::vector<File>& files() const { return m_files; }
    // Carries the decision out, the folders it changed on the disk; false when something could not
    // be changed, or the record is kept.
    bool apply();

private:
    Outcome manifestSays();
    bool undoFile(File& f);
    bool finishFile(File& f, bool strict);
    void leaveFile(File& f);
    void decideTemp(File& f);
    void decideManifestTemp();
    bool undoAll();
    bool finishAll(bool strict);
    bool undoOrFinish();
    bool stagedManifestWaits();
    bool notCommitted();
    Outcome keep(const QString& why);
    bool act(File& f);
    bool syncAll();
    QString where() const;

    QDir m_dir;
    const BackupWriteRecord& m_record;
    std::vector<File> m_files;
    std::unique_ptr<BackupWritePlace> m_manifest;
    Outcome m_outcome = Outcome::Kept;
    bool m_commitManifest = false; // settling itself puts the staged manifest in place
    bool m_removeManifestTemp = false;
    bool m_failed = false;
};

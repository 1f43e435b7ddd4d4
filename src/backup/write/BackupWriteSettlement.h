#pragma once

#include "backup/write/BackupWriteNames.h"
#include "backup/write/BackupWriteRecord.h"

#include <QDir>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class BackupWriteFolder;
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
    // Finishes or undoes the write a record in dir describes (or leaves its files as they are when
    // another program has written the backup since), then removes the record. False when something
    // could not be put back or the write can be neither finished nor undone; a record of a version
    // this build does not know, of a size no write into dir makes, or not well-formed in every line
    // and whole (empty, cut short, damaged), is kept and nothing of it followed, with a line in the
    // log that says why.
    static bool settle(const QDir& dir);
    // settle for the write this process makes in the folder it holds, from its own record (never
    // another write's that took its place), without reading the manifest again when committed: the
    // writer has just committed it.
    static bool settleOwn(const BackupWriteFolder& folder, const BackupWriteRecord& record, bool committed);
    // Settles a write an earlier run left in dir (stopped by a crash or a forced quit) before
    // anything reads the backup, and logs in one line what became of it. False when it could not
    // (the log says why; the caller tells the user), with in named the files its record names that
    // do not hold what the manifest in place describes, as settling found them (every file it names
    // when that cannot be told; none when the record cannot be read).
    static bool settleLeftover(const QDir& dir, QStringList* named = nullptr);
    // The error of a backup whose earlier write cannot be settled.
    static QString unsettledText(const QDir& dir);

private:
    // What settling does with a recorded write: finish it, undo it, undo only the files that still
    // hold what the write staged (it was not committed, and another program's manifest does not
    // describe them), leave the files as they are (another program has written the backup since it
    // was committed), or keep the record, changing nothing, as it can be neither finished nor undone.
    enum class Outcome { NoRecord, Finished, Undone, UndoneWhereStaged, LeftAsIs, Kept };
    // What becomes of a target.
    enum class Action { None, PutBack, PutBackExchanged, PutStaged, Remove };
    // One recorded file, and what becomes of it and of its old file and temporary.
    struct File {
        const BackupWriteRecord::Entry* entry = nullptr;
        std::unique_ptr<BackupWritePlace> place;
        Action action = Action::None;
        bool removeAside = false;
        bool removeTemp = false;
        QString log; // said when the decision is carried out
    };

    BackupWriteSettlement(const BackupWriteFolder& folder, const BackupWriteRecord& record);
    ~BackupWriteSettlement();
    BackupWriteSettlement(const BackupWriteSettlement&) = delete;
    BackupWriteSettlement& operator=(const BackupWriteSettlement&) = delete;

    // Reads what the folder holds and decides what becomes of the write and of each of its files;
    // committed when the caller has just committed the write itself. Kept: nothing is to change.
    Outcome decide(bool committed);
    // The write's own undo after another settled or removed its record: it then changes only a
    // target that holds the very file the write put there (Entry::placed), never another write's
    // file of the same content.
    void touchOnlyPlaced() { m_onlyPlaced = true; }
    // Carries the decision out, the folders it changed on the disk; false when something could not
    // be changed, or the record is kept.
    bool apply();

    // settle, telling what became of the write.
    static bool settleRecord(const QDir& dir, Outcome& outcome, QStringList* named = nullptr);
    static bool carryOut(const BackupWriteFolder& folder, const BackupWriteRecord& r, Outcome& outcome,
        bool committed, bool own, QStringList* unsettled = nullptr);
    QStringList unsettledTargets() const;
    Outcome manifestSays();
    bool undoFile(File& f);
    bool finishFile(File& f, bool strict);
    void leaveFile(File& f);
    void decideTemp(File& f, bool oldKept);
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

    const BackupWriteFolder& m_folder;
    QDir m_dir;
    const BackupWriteRecord& m_record;
    std::vector<File> m_files;
    std::unique_ptr<BackupWritePlace> m_manifest;
    Outcome m_outcome = Outcome::Kept;
    bool m_commitManifest = false; // settling itself puts the staged manifest in place
    bool m_removeManifestTemp = false;
    bool m_failed = false;
    bool m_onlyPlaced = false;
};

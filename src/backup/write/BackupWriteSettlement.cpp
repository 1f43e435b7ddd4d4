#include "backup/write/BackupWriteSettlement.h"

#include "backup/write/BackupWriteFolder.h"
#include "backup/write/BackupWriteNames.h"
#include "backup/write/BackupWritePlace.h"

#include <QSet>
#include <cerrno>
#include <cstring>

namespace
{

using Entry = BackupWriteRecord::Entry;
using Place = BackupWritePlace;
constexpr const char* kTarget = BackupWritePlace::kTarget;
constexpr const char* kTemp = BackupWritePlace::kTemp;
constexpr const char* kAside = BackupWritePlace::kAside;

// What one recorded file's names hold, read when first asked, by the means the record's version
// gives: contents, or for the oldest records the inode numbers of the temporaries.
class Seen
{
public:
    Seen(Place& p, const Entry& e, const BackupWriteRecord& r)
        : m_p(p)
        , m_e(e)
        , m_r(r)
    {
    }

    // The write takes the file away (the log of a plain manifest, whose rows the staged one holds).
    bool removedByWrite() const
    {
        return m_e.existed && !m_e.staged.known() && m_e.tempId == 0 && m_r.manifestStaged.known();
    }
    bool targetStaged() { return removedByWrite() ? vacant() : holdsStaged(kTarget); }
    // The target holds what it held before the write: its old content, or no file for a new one.
    bool targetOld() { return m_e.existed ? holdsOld(kTarget) : vacant(); }
    // What the write changed: the target holds what it staged, not what it held before.
    bool changed() { return targetStaged() && !targetOld(); }
    bool vacant() { return !m_p.has(kTarget); }
    bool asideOld() { return m_p.changeable(kAside) && holdsOld(kAside); }
    bool asideSecondName() { return m_p.sameFile(kAside, kTarget); }
    bool tempStaged() { return m_p.has(kTemp) && holdsStaged(kTemp); }
    // What the target held before, at the temporary's name: the write exchanged the two names, and
    // the old file stands there (a second name of the one kept aside) until it goes.
    bool tempOld()
    {
        return (m_p.sameFile(kTemp, kAside) && asideOld()) || (m_p.has(kTemp) && holdsOld(kTemp));
    }
    // A temporary whose content the record does not give: the write stopped while staging it (or the
    // record is of the version without contents). It is the write's own, made after the record.
    bool tempOwn() const { return m_r.version < 2 || (!m_e.staged.known() && !m_r.manifestStaged.known()); }

private:
    bool holdsStaged(const char* suffix)
    {
        if (m_r.version < 2)
            return m_e.tempId != 0 && m_p.inode(suffix) == m_e.tempId
                && (std::strcmp(suffix, kTarget) != 0 || m_p.inode(kTemp) == 0);
        return m_e.staged.known() && m_p.sum(suffix, m_e.staged.kind) == m_e.staged;
    }
    bool holdsOld(const char* suffix)
    {
        if (!m_e.existed)
            return false;
        if (m_e.old.known())
            return m_p.sum(suffix, m_e.old.kind) == m_e.old;
        // A record without old contents: the old file kept aside is taken for what it says it is.
        return std::strcmp(suffix, kAside) == 0;
    }

    Place& m_p;
    const Entry& m_e;
    const BackupWriteRecord& m_r;
};

QString text(const char* format, const QString& a, const QString& b)
{
    return QString::fromUtf8(format).arg(a, b);
}

} // namespace

BackupWriteSettlement::BackupWriteSettlement(const BackupWriteFolder& folder, const BackupWriteRecord& record)
    : m_folder(folder)
    , m_dir(folder.dir())
    , m_record(record)
{
}

BackupWriteSettlement::~BackupWriteSettlement() = default;

QString BackupWriteSettlement::where() const
{
    return m_dir.absolutePath();
}

BackupWriteSettlement::Outcome BackupWriteSettlement::keep(const QString& why)
{
    qWarning("Kept the record of the write into %s that was stopped before it ended: %s",
        qUtf8Printable(where()), qUtf8Printable(why));
    for (File& f : m_files) {
        f.action = Action::None;
        f.removeAside = f.removeTemp = false;
        f.log.clear();
    }
    m_commitManifest = m_removeManifestTemp = false;
    return m_outcome = Outcome::Kept;
}

BackupWriteSettlement::Outcome BackupWriteSettlement::decide(bool committed)
{
    bool blocked = false;
    // While it stages, a write may have made a temporary of any file its record names.
    const bool staging = m_record.version >= 2 && !m_record.manifestStaged.known();
    for (const Entry& e : m_record.files) {
        File f;
        f.entry = &e;
        f.place = std::make_unique<Place>(m_folder, e.target, BackupWriteNames::tempSuffix(m_record.id));
        // Behind a link the write may have left its files: they cannot be settled from here.
        blocked = blocked || (f.place->blocked() && (e.staged.known() || e.tempId != 0 || staging));
        m_files.push_back(std::move(f));
    }
    if (!m_record.manifest.isEmpty())
        m_manifest
            = std::make_unique<Place>(m_folder, m_record.manifest, BackupWriteNames::tempSuffix(m_record.id));
    if (blocked || m_record.unreachable)
        return keep(QStringLiteral("a file it may have changed cannot be reached from the backup folder."));
    m_outcome = committed ? Outcome::Finished : manifestSays();
    bool ok = true;
    if (m_outcome == Outcome::Finished)
        ok = finishAll(false);
    else if (m_outcome == Outcome::Undone)
        ok = undoOrFinish();
    else if (m_outcome == Outcome::LeftAsIs && notCommitted()) {
        m_outcome = Outcome::UndoneWhereStaged;
        ok = undoAll();
        if (!ok)
            return keep(QStringLiteral("what it put in place is described only by its own manifest, "
                                       "which another program's has replaced."));
    } else if (m_outcome == Outcome::LeftAsIs)
        for (File& f : m_files)
            leaveFile(f);
    if (ok && m_outcome != Outcome::Kept)
        decideManifestTemp();
    for (const File& f : m_files)
        m_failed = m_failed || f.place->failed();
    if (m_failed || (m_manifest && m_manifest->failed()))
        return keep(QStringLiteral("what its files hold cannot be read."));
    return ok ? m_outcome : keep(QStringLiteral("it can be neither finished nor undone."));
}

// Whether the write was committed, told by the content of the manifest in place. A record of the
// version without contents has inode numbers, which a copy changes: there the staged manifest has
// left its temporary's name only by the commit's rename.
BackupWriteSettlement::Outcome BackupWriteSettlement::manifestSays()
{
    if (!m_manifest)
        return m_record.version < 2 ? Outcome::Undone : Outcome::LeftAsIs;
    if (m_record.version < 2) {
        const bool committed
            = m_record.manifestId != 0 && m_manifest->reached() && m_manifest->inode(kTemp) == 0;
        return committed ? Outcome::Finished : Outcome::Undone;
    }
    const ContentDigest::Sum& staged = m_record.manifestStaged;
    const ContentDigest::Sum now
        = m_manifest->sum(kTarget, (staged.known() ? staged : m_record.manifestReplaced).kind);
    return now == staged                   ? Outcome::Finished
        : now == m_record.manifestReplaced ? Outcome::Undone
                                           : Outcome::LeftAsIs;
}

// Undone where possible; where a target holds what the write staged and its old content is
// nowhere, the write is finished instead, when every file and the manifest it staged are there.
bool BackupWriteSettlement::undoOrFinish()
{
    if (undoAll())
        return true;
    QStringList stranded;
    for (File& f : m_files) {
        Seen s(*f.place, *f.entry, m_record);
        if (f.place->reached() && f.entry->existed && s.changed() && !s.asideOld() && !s.tempOld())
            stranded << f.place->relative();
    }
    const bool staged = stagedManifestWaits();
    if (staged && finishAll(true)) {
        m_outcome = Outcome::Finished;
        m_commitManifest = true;
        for (const QString& name : std::as_const(stranded))
            qInfo("%s holds what the write into %s that was stopped before it ended put there, and what "
                  "it held before is nowhere to be found: the write is finished instead of undone.",
                qUtf8Printable(name), qUtf8Printable(where()));
        return true;
    }
    for (const QString& name : std::as_const(stranded))
        qWarning("%s holds what the write into %s put there, and what it held before is nowhere to be found.",
            qUtf8Printable(name), qUtf8Printable(where()));
    if (!staged)
        qWarning(
            "The manifest the write into %s staged is not beside the one in place.", qUtf8Printable(where()));
    return false;
}

bool BackupWriteSettlement::undoAll()
{
    bool ok = true;
    for (auto it = m_files.rbegin(); it != m_files.rend(); ++it)
        ok = undoFile(*it) && ok;
    return ok;
}

bool BackupWriteSettlement::finishAll(bool strict)
{
    bool ok = true;
    for (File& f : m_files) {
        f.action = Action::None;
        f.removeAside = f.removeTemp = false;
        f.log.clear();
        ok = finishFile(f, strict) && ok;
    }
    return ok;
}

// Puts back what stood at the target before: the old file kept aside when it holds the recorded
// old content, or no file at all where there was none. False when the target holds what the write
// staged and what it held before is nowhere.
bool BackupWriteSettlement::undoFile(File& f)
{
    Place& p = *f.place;
    Seen s(p, *f.entry, m_record);
    if (!p.reached())
        return true;
    // The old log of a plain manifest belongs to the manifest the write replaced: beside another
    // program's, that one would read it as its own log, and be damaged.
    if (m_outcome == Outcome::UndoneWhereStaged && s.removedByWrite()) {
        if (s.asideOld())
            f.log = QStringLiteral("Kept %1, what %2 held before the write: another program has written %3 "
                                   "since, which that log would damage.")
                        .arg(p.relative(kAside), p.relative(), m_manifest->relative());
        return true;
    }
    if (s.changed() && m_onlyPlaced && p.inode(kTarget) != f.entry->placed)
        return true; // another write's file of the same content: that write's record tells it
    if (s.changed()) {
        if (s.asideOld())
            f.action = Action::PutBack;
        else if (s.tempOld())
            f.action = Action::PutBackExchanged; // what an exchange took out, its kept copy gone
        else if (!f.entry->existed)
            f.action = Action::Remove;
        else
            return false;
        if (m_outcome == Outcome::UndoneWhereStaged)
            f.log = text("Putting back what %1 held before the write into %2 that was stopped before it "
                         "ended: the manifest another program has written since does not describe what "
                         "that write put there.",
                p.relative(), where());
    } else if (s.vacant() && s.asideOld())
        f.action = Action::PutBack; // moved aside where there are no links, and nothing took its place
    else if (s.asideSecondName() || (s.asideOld() && s.targetOld()))
        f.removeAside = true; // a second name or a copy of what is in place
    else if (p.changeable(kAside))
        f.log = s.asideOld()
            ? text("Kept %1, what %2 held before the write: another program has written %2 since.",
                p.relative(kAside), p.relative())
            : text(
                "Kept %1: it does not hold what %2 held before the write.", p.relative(kAside), p.relative());
    decideTemp(f, f.action == Action::PutBack || s.targetOld() || (s.asideOld() && !f.removeAside));
    return true;
}

// After the commit: the staged file in place where its rename did not reach the disk, and the old
// file kept aside removed when it holds the recorded old content. Strict: the write is not committed
// yet, and every target must end with what it staged.
bool BackupWriteSettlement::finishFile(File& f, bool strict)
{
    Place& p = *f.place;
    Seen s(p, *f.entry, m_record);
    if (!p.reached())
        return !strict || !f.entry->staged.known();
    if (s.tempStaged()) {
        if (s.targetStaged())
            f.removeTemp = true;
        else if (s.targetOld() || s.vacant() || s.asideSecondName()) {
            f.action = Action::PutStaged;
            f.log
                = text("Put what the write into %1 that was stopped before it ended staged for %2 in place.",
                    where(), p.relative());
        } else {
            qWarning("%s holds neither what the write into %s put there nor what it held before, and what "
                     "the write staged stays beside it.",
                qUtf8Printable(p.relative()), qUtf8Printable(where()));
            return false;
        }
    } else
        decideTemp(f, true);
    if (s.removedByWrite() && !s.vacant() && s.targetOld())
        f.action = Action::Remove; // the old log: its rows are in the staged manifest
    if (strict && f.action == Action::None && !s.targetStaged()) {
        qWarning("What the write into %s staged for %s is nowhere to be found.", qUtf8Printable(where()),
            qUtf8Printable(p.relative()));
        return false;
    }
    if (s.asideOld() || (f.action != Action::PutStaged && s.asideSecondName()))
        f.removeAside = true;
    else if (p.changeable(kAside))
        f.log = text(
            "Kept %1: it does not hold what %2 held before the write.", p.relative(kAside), p.relative());
    return true;
}

// Another program has written the manifest since a commit: what it describes is not known, and
// every file stays; only a second name or a copy of what is in place goes.
void BackupWriteSettlement::leaveFile(File& f)
{
    Seen s(*f.place, *f.entry, m_record);
    if (!f.place->reached())
        return;
    if (s.asideSecondName() || (s.asideOld() && s.targetOld()))
        f.removeAside = true;
    decideTemp(f, s.targetOld() || (s.asideOld() && !f.removeAside));
}

// A temporary goes when it holds what the write staged, or is the write's own unfinished one, or
// holds what an exchange took out of the target while that stays elsewhere (oldKept) or is no
// longer needed.
void BackupWriteSettlement::decideTemp(File& f, bool oldKept)
{
    Place& p = *f.place;
    Seen s(p, *f.entry, m_record);
    if (!p.has(kTemp) || f.action == Action::PutStaged || f.action == Action::PutBackExchanged)
        return;
    if (s.tempOwn() || s.tempStaged() || (oldKept && s.tempOld()))
        f.removeTemp = true;
    else if (p.changeable(kTemp))
        qWarning("Kept %s: it does not hold what the write into %s staged there.",
            qUtf8Printable(p.relative(kTemp)), qUtf8Printable(where()));
}

void BackupWriteSettlement::decideManifestTemp()
{
    if (!m_manifest || m_commitManifest || !m_manifest->has(kTemp))
        return;
    const ContentDigest::Sum& staged = m_record.manifestStaged;
    const ContentDigest::Sum& replaced = m_record.manifestReplaced;
    if (m_record.version < 2 || !staged.known() || m_manifest->sum(kTemp, staged.kind) == staged
        || (replaced.known() && m_manifest->sum(kTemp, replaced.kind) == replaced))
        m_removeManifestTemp = true;
    else if (m_manifest->changeable(kTemp))
        qWarning("Kept %s: it does not hold what the write into %s staged there.",
            qUtf8Printable(m_manifest->relative(kTemp)), qUtf8Printable(where()));
}

// The manifest the write staged is beside the one in place, whole.
bool BackupWriteSettlement::stagedManifestWaits()
{
    const ContentDigest::Sum& staged = m_record.manifestStaged;
    return m_manifest && staged.known() && m_manifest->sum(kTemp, staged.kind) == staged;
}

// When the manifest in place is another program's: the write was not committed when what it
// staged is still beside its target (the commit moves every temporary before the manifest), or
// nothing was staged yet.
bool BackupWriteSettlement::notCommitted()
{
    if (m_record.version < 2 || !m_manifest)
        return false;
    if (!m_record.manifestStaged.known() || stagedManifestWaits())
        return true;
    for (File& f : m_files)
        if (f.place->reached() && Seen(*f.place, *f.entry, m_record).tempStaged())
            return true;
    return false;
}

bool BackupWriteSettlement::act(File& f)
{
    switch (f.action) {
    case Action::PutBack:
        return f.place->putBack();
    case Action::PutBackExchanged:
    case Action::PutStaged:
        return f.place->move(kTemp, kTarget);
    case Action::Remove:
        return f.place->remove(kTarget);
    case Action::None:
        break;
    }
    return true;
}

bool BackupWriteSettlement::syncAll()
{
    QSet<QString> done;
    bool ok = true;
    for (const File& f : m_files)
        if (f.place->reached() && !done.contains(f.place->folder())) {
            done.insert(f.place->folder());
            ok = f.place->sync() && ok;
        }
    return (!m_manifest || m_manifest->sync()) && ok;
}

bool BackupWriteSettlement::apply()
{
    if (m_outcome == Outcome::Kept)
        return false;
    for (const File& f : m_files)
        if (!f.log.isEmpty())
            qInfo("%s", qUtf8Printable(f.log));
    bool ok = true;
    bool acted = false;
    const bool forward = m_outcome == Outcome::Finished;
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        File& f = m_files[forward ? i : m_files.size() - 1 - i];
        acted = acted || f.action != Action::None;
        ok = act(f) && ok;
    }
    // Each step on the disk before the one that depends on it: the files before the manifest that
    // describes them, the manifest before the old files go.
    ok = ok && (!acted || syncAll());
    if (ok && m_commitManifest)
        ok = m_manifest->move(kTemp, kTarget) && m_manifest->sync();
    if (!ok)
        return false;
    for (File& f : m_files) {
        if (f.removeAside)
            ok = f.place->remove(kAside) && ok;
        if (f.removeTemp)
            ok = f.place->remove(kTemp) && ok;
    }
    if (m_removeManifestTemp)
        ok = m_manifest->remove(kTemp) && ok;
    if (m_outcome == Outcome::Undone || m_outcome == Outcome::UndoneWhereStaged)
        for (auto it = m_record.folders.crbegin(); it != m_record.folders.crend(); ++it)
            Place(m_folder, *it).removeFolder();
    return syncAll() && ok;
}

// The targets that do not hold what the manifest in place describes: those settling had to change,
// every one when it would have put the staged manifest in place or could decide nothing. One the
// write left as the manifest in place describes it reads as it should.
QStringList BackupWriteSettlement::unsettledTargets() const
{
    QStringList targets;
    const bool all = m_outcome == Outcome::Kept || m_commitManifest;
    for (const File& f : m_files)
        if (all || f.action != Action::None)
            targets.append(f.entry->target);
    return targets;
}

bool BackupWriteSettlement::settle(const QDir& dir)
{
    Outcome outcome = Outcome::NoRecord;
    return settleRecord(dir, outcome);
}

bool BackupWriteSettlement::settleOwn(
    const BackupWriteFolder& folder, const BackupWriteRecord& record, bool committed)
{
    Outcome outcome = Outcome::NoRecord;
    return carryOut(folder, record, outcome, committed, true);
}

bool BackupWriteSettlement::settleLeftover(const QDir& dir, QStringList* named)
{
    Outcome outcome = Outcome::NoRecord;
    const bool ok = settleRecord(dir, outcome, named);
    if (ok && named)
        named->clear();
    const QByteArray where = dir.absolutePath().toUtf8();
    if (ok && outcome == Outcome::LeftAsIs)
        qWarning("Left the files of the write into %s that was stopped before it ended as they are: "
                 "another program has written the backup since. The old files it kept stay beside "
                 "theirs as .qmold files.",
            where.constData());
    else if (ok && outcome == Outcome::UndoneWhereStaged)
        qInfo("Undid the write into %s that was stopped before it ended where its files still held what "
              "it put there: another program has written the backup since.",
            where.constData());
    else if (ok && outcome != Outcome::NoRecord)
        qInfo("%s the write into %s that was stopped before it ended.",
            outcome == Outcome::Finished ? "Finished" : "Undid", where.constData());
    // Without a record nothing was changed (the beginning of one is removed).
    return ok || outcome == Outcome::NoRecord;
}

QString BackupWriteSettlement::unsettledText(const QDir& dir)
{
    return QStringLiteral("Cannot finish or undo the earlier write into %1.").arg(dir.absolutePath());
}

bool BackupWriteSettlement::settleRecord(const QDir& dir, Outcome& outcome, QStringList* named)
{
    const BackupWriteFolder folder(dir);
    if (!folder.isOpen() && !BackupWriteRecord::pending(dir))
        return true; // nothing to settle
    if (!folder.isOpen()) {
        outcome = Outcome::Kept;
        qWarning("%s", qUtf8Printable(folder.whyNotOpen()));
        return false;
    }
    const QString path = dir.absoluteFilePath(BackupWriteRecord::fileName());
    if (!folder.present(path)) {
        bool ok = true; // the beginnings of records: nothing was changed
        for (const QString& temp : BackupWriteRecord::beginnings(dir))
            ok = folder.removeIfPresent(temp) && ok;
        return ok;
    }
    outcome = Outcome::Kept; // until decided
    QByteArray text;
    if (!BackupWriteRecord::readText(folder, path, text))
        return false;
    const BackupWriteRecord r = BackupWriteRecord::read(dir, text);
    if (!r.readable()) {
        qWarning("Left %s as it is: %s", qUtf8Printable(path), qUtf8Printable(r.why));
        return false;
    }
    return carryOut(folder, r, outcome, false, false, named);
}

// Settles the write r describes, then removes its record: the one read, or the writer's own while
// it is still the one in place (another write's that replaced it stays).
bool BackupWriteSettlement::carryOut(const BackupWriteFolder& folder, const BackupWriteRecord& r,
    Outcome& outcome, bool committed, bool own, QStringList* unsettled)
{
    BackupWriteSettlement settlement(folder, r);
    if (own && !r.inPlace(folder))
        settlement.touchOnlyPlaced();
    outcome = settlement.decide(committed);
    if (!settlement.apply()) {
        if (unsettled)
            *unsettled = settlement.unsettledTargets();
        return false;
    }
    const QDir& dir = folder.dir();
    folder.syncFolder(dir.absolutePath());
    const QString path = dir.absoluteFilePath(BackupWriteRecord::fileName());
    const QStringList names
        = own && !r.inPlace(folder) ? QStringList { r.tempOf(path) } : QStringList { path, r.tempOf(path) };
    for (const QString& name : names)
        if (!folder.removeIfPresent(name)) {
            qWarning("Cannot remove %s. %s", qUtf8Printable(name), std::strerror(errno));
            return false;
        }
    return true;
}

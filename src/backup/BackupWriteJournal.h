#pragma once

#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// What a write into a backup folder records there before it changes anything, so that a write
// stopped at any point (a crash, a forced quit) is finished or undone by the next one: the files it
// puts in place with the identity of each temporary that replaces them, the folders it makes and
// the manifest whose replacement commits it. The write is committed once the manifest in the
// folder is the recorded temporary; before that it is undone. Only what the record names is ever
// touched, and only inside the backup folder, so the rest of the user's files stay as they are.
class BackupWriteJournal
{
public:
    // One file of the write: where it goes and the identity (inode) of its staged temporary, 0
    // while it is not yet staged.
    struct Entry {
        QString target;
        quint64 tempId = 0;
    };

    static QString tempOf(const QString& target);
    // The old file kept while the write is not committed.
    static QString asideOf(const QString& target);
    // The identity of a file (its inode, links not followed); 0 when there is none.
    static quint64 fileId(const QString& path);

    BackupWriteJournal(const QDir& dir, QString manifestName);

    QList<Entry> files;
    QStringList folders; // folders the write makes, removed again on undo when empty
    quint64 manifestTempId = 0;

    // Puts the record in the folder, on the disk before anything it describes happens.
    void writeThrow() const;
    // Finishes or undoes the write a record in dir describes, then removes the record. False, with
    // the record kept, when something could not be put back.
    static bool settle(const QDir& dir);
    // Settles a write an earlier run left in dir (stopped by a crash or a forced quit) before
    // anything reads the backup, and logs in one line what became of it. False, without a word,
    // when it could not: the caller tells the user.
    static bool settleLeftover(const QDir& dir);
    // The error of a backup whose earlier write cannot be settled.
    static QString unsettledText(const QDir& dir);
    // Whether dir holds the record of a write: one under way, or one stopped before it ended.
    static bool pending(const QDir& dir);

    // Changes of names inside the backup; each reports itself to the hook first. False with errno
    // set on failure.
    static bool rename(const QString& from, const QString& to);
    static bool link(const QString& from, const QString& to);
    static bool removeIfPresent(const QString& path);
    // Called before each change a write makes inside a backup folder (tests stop the process there).
    static void setBeforeChange(std::function<void()> hook);

private:
    // settle, telling whether there was a record and whether its write was committed.
    static bool settleRecord(const QDir& dir, bool& found, bool& committed);
    static bool undoFile(const Entry& e);
    static bool finishFile(const Entry& e);

    QDir m_dir;
    QString m_manifestName;
};

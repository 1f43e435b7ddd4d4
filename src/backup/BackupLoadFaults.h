#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <exception>

// What a load of a backup's files could not copy as the phone wrote them: for each stored file, by
// its name in the backup, why, as the load told it. One file has one text, however many roads of the
// load copied it. A text that says bytes were written to a copy (BackupManifest::NotAsWritten) says
// so only while that copy is there; once it is gone, it says they were not kept.
class BackupLoadFaults
{
public:
    // Notes text for the stored file name; copy is the copy it says bytes were written to, if any.
    // A file already noted keeps its first text.
    void add(const QString& name, const QString& text, const QString& copy = QString());
    // Notes e for name: the copy of a BackupManifest::NotAsWritten is taken from it.
    void add(const QString& name, const QString& prefix, const std::exception& e, const QString& suffix);
    void add(const BackupLoadFaults& other);

    // Notes that the reader of a noted file could not read what the load copied of it, or found no
    // copy: whatever a page that reads it says of it is that fault again.
    void markUnread(const QString& name);

    bool isEmpty() const { return m_faults.isEmpty(); }
    bool contains(const QString& name) const { return find(name) != nullptr; }
    bool unread(const QString& name) const;
    // Why name could not be copied as the phone wrote it, as it holds now; empty when it was.
    QString of(const QString& name) const;
    // Every file's text as it holds now, in the order noted.
    QStringList texts() const;

private:
    struct Fault {
        QString name;
        QString text;
        QString copy;
        bool unread = false;
    };
    const Fault* find(const QString& name) const;

    QList<Fault> m_faults;
};

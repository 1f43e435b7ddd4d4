#pragma once

#include "app/sqlite/Sqlite3DB.h"
#include "calls_calendars/ICallHistoryDb.h"

#include <QDir>
#include <QHash>
#include <QSharedPointer>
#include <QString>

class AbsCallsDbCore;

// The number suffix that matches numbers to contacts: a text with an ASCII letter unchanged, else
// its digits, the last 9 when there are more.
QString message_numberSuffix(const QString& text);

// The call history of a backup, over a folder holding the backup's files under their hashed ids
// (its cache folder). Chooses the newer call store when present, else the older database, and
// takes contact names from the backup's address book. Also the writer of the merge road.
class IOSCallHistoryDb : public ICallHistoryDb
{
public:
    static constexpr const char* kStoreFile = "5a4935c78a5255723f707230a451d79c540d2741";
    static constexpr const char* kOldDbFile = "2b2b0084a1bc3a5ac8c27afdf14afb42c61a19ca";
    static constexpr const char* kAddressBookFile = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";

    // encrypted: the backup is encrypted, so a missing call database is said to be missing rather
    // than blamed on encryption being off.
    explicit IOSCallHistoryDb(const QDir& folder, bool encrypted = false);
    ~IOSCallHistoryDb() override;

    void openCheck();
    bool openContactsDbCheck();
    QList<_CallHistory> callHistories() override;
    qint64 total();
    qint64 contactIdByNumber(const QString& number, qint64 def);

    void beginSave();
    qint64 saveCall(const _CallHistory& call);
    void endSaveCommit();
    void cancelSave();
    void close();

    // The contact name for an address; empty when none (always for an address without digits).
    QString personFor(const QString& address) const;
    const QString& dbFileName() const { return m_dbFileName; }
    bool inSave() const;

private:
    void loadNames();

    QDir m_folder;
    bool m_encrypted;
    QSharedPointer<AbsCallsDbCore> m_core;
    Sqlite3DB m_contacts;
    QHash<QString, QString> m_numberToName;
    // Set once the address book failed: the calls go on without names, the error logged once.
    bool m_contactsUnreadable = false;
    QString m_dbFileName;
    QString m_openError;
};

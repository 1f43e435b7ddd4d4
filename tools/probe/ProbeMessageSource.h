#pragma once

#include "messages/store/AbsMessageDb.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>

class MsgData;

// A message source named on the probe's command line (a cache or local database folder, an
// unencrypted backup, an sms.db or a chat.db), read from a private copy so that nothing beside the
// given files is ever written. Throws when the path holds no message database.
class ProbeMessageSource
{
public:
    // A command that only reads the file through read-only, unchanging opens (deleted-message
    // recovery) may take an sms.db in place: it is linked, not copied, when it is in rollback mode
    // and has no log or journal beside it, so no open of it ever writes.
    enum class Access { Copy, LinkUnloggedSmsDb };

    explicit ProbeMessageSource(const QString& path, Access access = Access::Copy);

    // Reads every message; attachments of a cache folder point at the files in that folder, and
    // know which of them the backup's load found not to be what the phone wrote.
    void load(MsgData& data);

    QTemporaryDir work;
    QString kind; // "ios5", "ios6" or "mac"
    std::unique_ptr<AbsMessageDb> reader;

private:
    void takeSmsDb(const QString& src, const QString& dest);

    QString sourceRelay;
    QString sourceFolder; // the cache folder given, when one was
    // The folder given is a store of the program's own: no backup's load keeps records of copies there.
    bool ownStore = false;
    Access access;
};

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
    explicit ProbeMessageSource(const QString& path);

    // Reads every message; attachments of a cache folder point at the files in that folder.
    void load(MsgData& data);

    QTemporaryDir work;
    QString kind; // "ios5", "ios6" or "mac"
    std::unique_ptr<AbsMessageDb> reader;

private:
    QString sourceRelay;
};

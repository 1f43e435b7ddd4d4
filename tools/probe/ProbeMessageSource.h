#pragma once

#include "messages/store/AbsMessageDb.h"

#include <QDir>
#include <QString>
#include <memory>

// Opens the message database that PATH names (a cache or local database folder, an unencrypted
// backup folder, an sms.db file, a folder with chat.db or a chat.db file) over a private copy
// made in work, so the given files are never opened. kind becomes "ios5", "ios6" or "mac".
// Attachments of a cache-layout folder keep pointing into the given folder.
std::unique_ptr<AbsMessageDb> probeOpenMessages(const QString& path, const QDir& work, QString& kind);

// After loading: attachment paths under work's "file-relay" folder re-pointed to the same place
// in the given cache-layout folder, where the files are.
void probeRepointAttachments(MsgData& data, const QString& path, const QDir& work);

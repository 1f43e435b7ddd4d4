#pragma once

#include "app/NamedCount.h"

#include <QString>

class _MsgAttachment;

// The attachments a road could not read for what it shows of them (a picture's preview, a text, a
// contact card). Each costs only its own bubble, which says why in its place; the road goes on
// and names them, by their record's path, in the text it ends with instead of its success.
class UnreadAttachments
{
public:
    // Notes attachment, whose read failed for why.
    void add(const _MsgAttachment& attachment, const QString& why);
    // Notes those other noted, after these.
    void add(const UnreadAttachments& other);

    bool isEmpty() const { return m_unread.isEmpty(); }
    // "<count> attachments could not be read:", a line "<record path>: <why>" for each of the first
    // of them and "... and <n> more." for the others; empty when none was noted.
    QString text() const;

private:
    NamedCount m_unread;
};

#pragma once

#include "app/NamedCount.h"

#include <QList>
#include <QString>
#include <QStringList>

class _MsgAttachment;
class _MsgMessage;

// The attachments a road took although their copies are not what the phone wrote (the marks a
// backup's load left on them): counted, the first of them named with why, and told in the text
// the road then ends with instead of its success. Extraction, exports, saving and restoring say
// it in the same words.
class NotAsWrittenAttachments
{
public:
    // Notes a marked attachment under name (where its bytes went), or under its device file name
    // when name is empty. An attachment without a mark is not noted.
    void add(const _MsgAttachment& attachment, const QString& name = QString());
    // Notes every marked attachment of messages under its device file name, in the messages' order.
    void addMarkedOf(const QList<_MsgMessage*>& messages);

    bool isEmpty() const { return m_marked.isEmpty(); }
    // "<count> of the attachments are not what the phone wrote:", a line "<name>: <why>" for each
    // one named, "... and <n> more." for the others, then closing; empty when none was noted.
    QString text(const QString& closing) const;

    // The last part of an attachment's device file name.
    static QString fileNameOf(const _MsgAttachment& attachment);

private:
    NamedCount m_marked; // each with why
};

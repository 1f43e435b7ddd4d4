#pragma once

#include <QByteArray>
#include <QString>

// One attachment of the message model. _path is where the file lies on this computer.
class _MsgAttachment
{
public:
    _MsgAttachment() = default;

    // Path of a small cached preview of an image attachment (made on first use, kept across runs)
    // in the program's private temporary folder. Returned even when no preview could be made.
    QString thumbnail() const;

    qint64 rowid = 0;
    QString guid;
    int created_date = 0;
    int start_date = 0;
    QString filename;
    QString uti;
    QString mime_type;
    int transfer_state = 5;
    int is_outgoing = 0;
    QByteArray user_info;
    QString transfer_name;
    qint64 total_bytes = 0;
    QString _path;
};

// Orders attachments by rowid, oldest row first.
bool compareMsgAttachmentAsc(const _MsgAttachment* a, const _MsgAttachment* b);

#pragma once

#include "messages/store/MsgText.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class Sqlite3Cursor;

// One attachment of the message model. _path is where the file lies on this computer.
class _MsgAttachment
{
public:
    _MsgAttachment() = default;

    // The most of a plain-text attachment that is read and shown.
    static constexpr qint64 kMaxPlainText = kMaxShownText;

    // Path of a small cached preview of an image attachment (made on first use, kept across runs)
    // in the program's private temporary folder. Returned even when no preview could be made; empty
    // for a copy that is not what the phone wrote, from which no preview is ever drawn. The picture
    // is read within PictureDecoder's limits, so a picture larger than a phone keeps, or one asking
    // more work than they allow, gets none. A preview is kept only for the very copy it was drawn
    // from (PreviewOrigin), and so is a picture found to give none: neither is decoded again until
    // another copy stands at _path. When a read fails, *why is set ("Cannot read <path>. <the
    // system's reason>") and none is made; a decoding the thread's task cancelled makes none either.
    // Safe on any thread: two threads making the same preview at once each write it whole.
    QString thumbnail(QString* why = nullptr) const;
    // The text of a plain-text attachment: the bytes of the file at _path up to its first NUL, as
    // UTF-8, and no more than its first kMaxPlainText bytes: a longer text is cut there, between two
    // characters, and a line after it says so. False when there is no regular file there or it
    // cannot be opened (nothing to show), and false with *why set ("Cannot read <path>. <the
    // system's reason>") when a read fails part-way: what a failing disk gave is not the text.
    bool plainText(QString* text, QString* why) const;

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
    // Why the file at _path is not what the phone wrote (its stored copy was cut short or is under
    // another key), as the backup's load found it; empty when nothing is known against it.
    QString _notAsWritten;
};

// Orders attachments by rowid, oldest row first.
bool compareMsgAttachmentAsc(const _MsgAttachment* a, const _MsgAttachment* b);

// Copies the current row of a query over the attachment table (rowid to total_bytes) into
// attachment, the file name as stored; a column the result lacks reads 0 or empty. _path is left alone.
void fillMsgAttachment(_MsgAttachment& attachment, const Sqlite3Cursor& cursor);
// The columns fillMsgAttachment reads, for the select list of its query.
const QStringList& msgAttachmentColumns();

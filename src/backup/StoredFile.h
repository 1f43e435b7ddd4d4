#pragma once

#include <QByteArray>
#include <QString>

class QFileDevice;

// A file as a backup folder stores it: whether it is there to read, and what the bytes of one of
// an encrypted backup say about how it is stored. The phone pads every file it encrypts, so an
// encrypted copy is whole blocks, longer than its record's size, and decrypts to valid padding.
class StoredFile
{
public:
    // Whether the stored file at path may be read: Missing when the backup folder lacks it,
    // Unreadable when the system refuses it (a folder the user may not read) or it is no regular
    // file, with *text the error that names it and the reason.
    enum class State { Readable, Missing, Unreadable };
    static State stateOf(const QString& path, QString* text = nullptr);

    // Whether in holds its record's file as it stands, decrypted in place by another tool: its
    // length is the record's size, which no encrypted copy has, and it begins as a file of a phone
    // begins, while it is not whole blocks, does not decrypt to valid padding, or decrypts to bytes
    // that begin as no file does. in is left at its start.
    static bool decryptedInPlace(QFileDevice& in, const QByteArray& key, qint64 recordSize);
    // Whether head, the first bytes of a file, begins as a database, property list, picture,
    // movie, sound or text does; bytes that are encrypted never do.
    static bool beginsAsAFile(const QByteArray& head);
    // Whether head begins as a picture, movie or sound does: files the phone writes once and never
    // changes in place, so their records' sizes are their lengths.
    static bool beginsAsMedia(const QByteArray& head);
    // The length of the SQLite database whose first 100 bytes or more are head, as its own header
    // gives it: page size times page count, the count taken only where the header says it is
    // current. 0 when head is no database's or its header tells no length.
    static qint64 databaseLength(const QByteArray& head);
    // The page size of the SQLite database whose first 100 bytes or more are head; 0 when head is no
    // database's or gives no valid size.
    static quint32 databasePageSize(const QByteArray& head);
    // Whether head, all there is of a file, begins as a database does but ends inside the 100 bytes
    // of its header: no database is that short.
    static bool databaseHeaderCut(const QByteArray& head);
};

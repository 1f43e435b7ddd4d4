#include "backup/StoredFile.h"

#include "app/RegularFile.h"
#include "backup/BackupCrypto.h"

#include <QFile>
#include <QStringDecoder>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr int kHead = 512;
const QByteArrayView kDatabaseMagic("SQLite format 3\0", 16);

// How the kinds of files a phone keeps begin: bytes at an offset (a movie's first box begins with
// its length), and whether they begin a picture, movie or sound.
struct Signature {
    int offset;
    QByteArrayView bytes;
    bool media;
};

const Signature kSignatures[] = { { 0, "SQLite format 3", false }, { 0, "bplist00", false },
    { 0, "<?xml", false }, { 0, "\xff\xd8\xff", true }, { 0, "\x89PNG\r\n\x1a\n", true }, { 0, "GIF8", true },
    { 0, "II*", true }, { 0, QByteArrayView("MM\0*", 4), true }, { 4, "ftyp", true }, { 4, "moov", true },
    { 4, "mdat", true }, { 4, "wide", true }, { 0, "#!AMR", true }, { 0, "caff", true },
    { 0, "PK\x03\x04", false }, { 0, "ID3", true }, { 0, "RIFF", true }, { 0, "%PDF-", false } };

bool matches(const Signature& s, const QByteArray& head)
{
    return head.size() >= s.offset + s.bytes.size()
        && QByteArrayView(head).sliced(s.offset, s.bytes.size()) == s.bytes;
}

// Text in UTF-8: no control characters but white space, no invalid sequence (one cut off at the
// end of head is fine).
bool isText(const QByteArray& head)
{
    if (head.isEmpty())
        return false;
    QStringDecoder decoder(QStringConverter::Utf8);
    const QString text = decoder(head);
    if (decoder.hasError())
        return false;
    for (const QChar c : text)
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r' && c != u'\f')
            return false;
    return true;
}

QString unreadableText(const QString& path, const QString& why)
{
    return QStringLiteral("can not open %1. %2").arg(path, why);
}

} // namespace

bool StoredFile::beginsAsAFile(const QByteArray& head)
{
    for (const Signature& s : kSignatures)
        if (matches(s, head))
            return true;
    return isText(head.left(kHead));
}

bool StoredFile::beginsAsMedia(const QByteArray& head)
{
    for (const Signature& s : kSignatures)
        if (s.media && matches(s, head))
            return true;
    return false;
}

quint32 StoredFile::databasePageSize(const QByteArray& head)
{
    if (head.size() < 100 || !head.startsWith(kDatabaseMagic))
        return 0;
    const quint32 size = qFromBigEndian<quint16>(head.constData() + 16);
    const quint32 pageSize = size == 1 ? 65536 : size;
    return pageSize >= 512 && (pageSize & (pageSize - 1)) == 0 ? pageSize : 0;
}

qint64 StoredFile::databaseLength(const QByteArray& head)
{
    const quint32 pageSize = databasePageSize(head);
    const auto number = [&](int at) { return qFromBigEndian<quint32>(head.constData() + at); };
    // The count is that of the last writer that knew it only when the number at 92 is the change
    // counter at 24; older writers left it stale.
    if (pageSize == 0 || number(28) == 0 || number(92) != number(24))
        return 0;
    return qint64(pageSize) * number(28);
}

bool StoredFile::databaseHeaderCut(const QByteArray& head)
{
    return head.size() < 100 && head.startsWith(kDatabaseMagic);
}

bool StoredFile::decryptedInPlace(QFileDevice& in, const QByteArray& key, qint64 recordSize)
{
    const qint64 length = in.size();
    if (recordSize <= 0 || length != recordSize || !in.seek(0))
        return false;
    const QByteArray head = in.read(kHead);
    bool plain = beginsAsAFile(head);
    // Plain bytes end in what reads as padding once in 256 files: then what they decrypt to decides.
    if (plain && length % 16 == 0) {
        const qint64 tail = qMin<qint64>(length, 32);
        plain = !in.seek(length - tail) || !BackupCrypto::endsPadded(key, in.read(tail))
            || !beginsAsAFile(BackupCrypto::cbcDecrypt(key, head));
    }
    in.seek(0);
    return plain;
}

StoredFile::State StoredFile::stateOf(const QString& path, QString* text)
{
    // A FIFO or device in a stored file's place is there, but no file the phone wrote: reading it
    // would wait or never end.
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (text)
            *text = unreadableText(path, RegularFile::notRegularText());
        return State::Unreadable;
    }
    if (::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), R_OK, AT_EACCESS) == 0)
        return State::Readable;
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR)
        return State::Missing;
    if (text)
        *text = unreadableText(path, QString::fromLocal8Bit(std::strerror(error)));
    return State::Unreadable;
}

#include "backup/MBDBParser.h"

#include "app/MadeFolders.h"
#include "app/RegularFile.h"
#include "backup/ContentDigest.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QIODevice>
#include <stdexcept>

namespace
{

const char kHeader[6] = { 'm', 'b', 'd', 'b', 5, 0 };
constexpr qsizetype kBlock = 1024 * 1024; // read from a file at a time

// Where a record list stops being one: the file ends inside a record, or a record is impossible.
struct Damage {
    QString what;
    qint64 at; // the byte the damaged record starts at
};

// The bytes of a record list as the records are read: all in memory, or a block at a time from a
// file, so that memory follows the records read and never the size of the file.
class Reader
{
public:
    Reader(const QByteArray& d, const QString& s)
        : data(d)
        , source(s)
    {
    }
    Reader(QIODevice& in, const QString& s, ContentDigest* read)
        : source(s)
        , m_in(&in)
        , m_read(read)
    {
    }

    [[noreturn]] void fail(const QString& what) const { throw Damage { what, m_base + m_record }; }
    void need(qsizetype n)
    {
        while (data.size() - pos < n)
            if (!more())
                fail(QStringLiteral("the file ends inside a record"));
    }
    quint64 uint(int bytes)
    {
        need(bytes);
        const auto* p = reinterpret_cast<const uchar*>(data.constData()) + pos;
        quint64 v = 0;
        for (int i = 0; i < bytes; ++i)
            v = v << 8 | p[i];
        pos += bytes;
        return v;
    }
    // Returns false for an absent (0xFFFF) string.
    bool string(QByteArray& out)
    {
        const quint64 len = uint(2);
        if (len == 0xFFFF) {
            out.clear();
            return false;
        }
        need(qsizetype(len));
        out = data.mid(pos, qsizetype(len));
        pos += qsizetype(len);
        return true;
    }
    // Notes the start of the next record; true when there is none.
    bool atEnd()
    {
        m_record = pos;
        return pos >= data.size() && !more();
    }

    QByteArray data;
    QString source;
    qsizetype pos = 0;

private:
    // Reads the next block of the file in place of the records read whole; false at its end.
    bool more()
    {
        if (!m_in)
            return false;
        data.remove(0, m_record);
        pos -= m_record;
        m_base += m_record;
        m_record = 0;
        const qsizetype had = data.size();
        data.resize(had + kBlock);
        const qint64 got = m_in->read(data.data() + had, kBlock);
        data.resize(had + std::max<qint64>(got, 0));
        // A read that fails (a failing disk) is told as such, never as records cut short.
        if (got < 0)
            throw std::runtime_error(
                QStringLiteral("Cannot read %1. %2").arg(source, m_in->errorString()).toStdString());
        if (m_read)
            m_read->add(data.constData() + had, got);
        return got > 0;
    }

    QIODevice* m_in = nullptr;
    ContentDigest* m_read = nullptr;
    qint64 m_base = 0; // the file's byte at data[0]
    qsizetype m_record = 0; // where the record being read starts in data
};

void putUint(QByteArray& out, quint64 v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char(v >> (8 * i)));
}

void putString(QByteArray& out, const QByteArray& s, bool null)
{
    if (null) {
        putUint(out, 0xFFFF, 2);
        return;
    }
    const qsizetype len = std::min<qsizetype>(s.size(), 0xFFFE);
    putUint(out, quint64(len), 2);
    out.append(s.constData(), len);
}

} // namespace

QString MBDBParser::_MBDBItem::backupFileName() const
{
    QCryptographicHash h(QCryptographicHash::Sha1);
    h.addData(domain.toUtf8());
    h.addData("-", 1);
    h.addData(pathUtf8);
    return QString::fromLatin1(h.result().toHex());
}

MBDBParser::_MBDBExtra& MBDBParser::_MBDBItem::mutableExtra()
{
    auto copy = extra ? std::make_shared<_MBDBExtra>(*extra) : std::make_shared<_MBDBExtra>();
    _MBDBExtra& ref = *copy;
    extra = copy;
    return ref;
}

QString MBDBParser::backupFileName(const QString& domain, const QString& relativePath)
{
    return QString::fromLatin1(QCryptographicHash::hash(
        (domain + QLatin1Char('-') + relativePath).toUtf8(), QCryptographicHash::Sha1)
                                   .toHex());
}

namespace
{

// Reads one record after another; the texts of domains are shared between records.
class RecordReader
{
public:
    explicit RecordReader(Reader& r)
        : m_r(r)
    {
    }
    void next(MBDBParser::_MBDBItem& it)
    {
        it.domainNull = !m_r.string(domain);
        it.pathNull = !m_r.string(it.pathUtf8);
        // What follows the last record of a file padded with zeros reads as records without names.
        if (domain.isEmpty() && it.pathUtf8.isEmpty())
            m_r.fail(QStringLiteral("a record has neither a domain nor a path"));
        const bool hasLink = m_r.string(link);
        const bool hasHash = m_r.string(hash);
        const bool hasKey = m_r.string(key);
        auto d = domains.constFind(domain);
        if (d == domains.constEnd())
            d = domains.insert(domain, QString::fromUtf8(domain));
        it.domain = *d;
        it.mode = quint16(m_r.uint(2));
        auto extra = std::make_shared<MBDBParser::_MBDBExtra>();
        extra->inode = m_r.uint(8);
        extra->uid = quint32(m_r.uint(4));
        extra->gid = quint32(m_r.uint(4));
        it.mtime = quint32(m_r.uint(4));
        extra->atime = quint32(m_r.uint(4));
        extra->ctime = quint32(m_r.uint(4));
        it.size = qint64(m_r.uint(8));
        it.protectionClass = quint8(m_r.uint(1));
        const int props = int(m_r.uint(1));
        extra->linkTarget = hasLink ? link : QByteArray();
        extra->dataHash = hasHash ? hash : QByteArray();
        extra->encryptionKey = hasKey ? key : QByteArray();
        extra->present = quint8((hasLink ? 1 : 0) | (hasHash ? 2 : 0) | (hasKey ? 4 : 0));
        for (int i = 0; i < props; ++i) {
            m_r.string(name);
            m_r.string(value);
            extra->properties.append({ name, value });
        }
        // A size past the largest file (2^64 - 1 as some writers store "unknown") is the record's
        // alone to lack: it stays as stored, negative, and the records after it are read on.
        it.extra = std::move(extra);
    }

private:
    Reader& m_r;
    QHash<QByteArray, QString> domains; // one shared QString per domain
    QByteArray domain, link, hash, key, name, value;
};

void checkHeaderThrow(const QByteArray& head, const QString& source)
{
    if (head.size() < 6 || !head.startsWith(QByteArray(kHeader, 4)))
        throw std::runtime_error(QStringLiteral("%1 is not a backup file record list (no mbdb header).")
                                     .arg(source)
                                     .toStdString());
    if (head[4] != 5)
        throw std::runtime_error(QStringLiteral("%1 has the unsupported format version %2.%3.")
                                     .arg(source)
                                     .arg(int(uchar(head[4])))
                                     .arg(int(uchar(head[5])))
                                     .toStdString());
}

// The records after the header, as far as they go whole; the first damage ends them, thrown
// without damaged, else told there.
QList<MBDBParser::_MBDBItem> recordsThrow(Reader& r, QString* damaged)
{
    try {
        r.need(6);
    } catch (const Damage&) {
        // shorter than its header: no such list, as checked below
    }
    checkHeaderThrow(r.data, r.source);
    r.pos = 6;
    RecordReader records(r);
    QList<MBDBParser::_MBDBItem> items;
    try {
        while (!r.atEnd()) {
            MBDBParser::_MBDBItem it;
            records.next(it);
            items.append(std::move(it));
        }
    } catch (const Damage& d) {
        const QString text = QStringLiteral("%1 is damaged: %2 at byte %3.").arg(r.source, d.what).arg(d.at);
        if (!damaged)
            throw std::runtime_error(text.toStdString());
        const QString before = items.isEmpty() ? QStringLiteral("no record")
            : items.size() == 1                ? QStringLiteral("the record")
                                               : QStringLiteral("the %1 records").arg(items.size());
        *damaged = text
            + QStringLiteral(" The backup is read with %1 before it; the rest of the file is left out.")
                  .arg(before);
    }
    return items;
}

} // namespace

QList<MBDBParser::_MBDBItem> MBDBParser::parseThrow(const QByteArray& data, const QString& source)
{
    Reader r(data, source);
    return recordsThrow(r, nullptr);
}

QList<MBDBParser::_MBDBItem> MBDBParser::readThrow(
    QIODevice& in, const QString& source, QString* damaged, ContentDigest* read)
{
    if (damaged)
        damaged->clear();
    Reader r(in, source, read);
    return recordsThrow(r, damaged);
}

QList<MBDBParser::_MBDBItem> MBDBParser::parseHead(const QByteArray& head)
{
    if (!head.startsWith(QByteArray(kHeader, 6)))
        return {};
    Reader r(head, QString());
    QString cut; // a record cut off at the head's end, or damage: what follows is left out
    return recordsThrow(r, &cut);
}

QList<MBDBParser::_MBDBItem> MBDBParser::parseFileThrow(const QString& path, QString* damaged)
{
    QFile f;
    QString why;
    if (!RegularFile::openRead(f, path, &why))
        throw std::runtime_error(QStringLiteral("Cannot read %1. %2").arg(path, why).toStdString());
    return readThrow(f, path, damaged);
}

QByteArray MBDBParser::serialize(const QList<_MBDBItem>& items)
{
    QByteArray out(kHeader, 6);
    for (const _MBDBItem& it : items) {
        putString(out, it.domain.toUtf8(), it.domainNull);
        putString(out, it.pathUtf8, it.pathNull);
        const _MBDBExtra* x = it.extra.get();
        // A value counts as stored when the parser saw it or it was set since.
        auto absent
            = [x](const QByteArray& v, int bit) { return !x || (v.isEmpty() && !(x->present & bit)); };
        putString(out, x ? x->linkTarget : QByteArray(), absent(x ? x->linkTarget : QByteArray(), 1));
        putString(out, x ? x->dataHash : QByteArray(), absent(x ? x->dataHash : QByteArray(), 2));
        putString(out, x ? x->encryptionKey : QByteArray(), absent(x ? x->encryptionKey : QByteArray(), 4));
        putUint(out, it.mode, 2);
        putUint(out, it.inode(), 8);
        putUint(out, it.uid(), 4);
        putUint(out, it.gid(), 4);
        putUint(out, it.mtime, 4);
        putUint(out, it.atime(), 4);
        putUint(out, it.ctime(), 4);
        putUint(out, quint64(it.size), 8);
        putUint(out, it.protectionClass, 1);
        const int props = x ? int(std::min<qsizetype>(x->properties.size(), 255)) : 0;
        putUint(out, quint64(props), 1);
        for (int i = 0; i < props; ++i) {
            putString(out, x->properties[i].first, false);
            putString(out, x->properties[i].second, false);
        }
    }
    return out;
}

QString MBDBParser::getBKFilePath(const QDir& dir, QString name, bool create, QString* why)
{
    if (!dir.exists(QStringLiteral("Manifest.mbdb")) && dir.exists(QStringLiteral("Manifest.db"))) {
        const QString sub = name.left(2);
        if (create)
            MadeFolders::makePath(dir.absoluteFilePath(sub), why);
        return dir.absoluteFilePath(sub + QLatin1Char('/') + name);
    }
    return dir.absoluteFilePath(name);
}

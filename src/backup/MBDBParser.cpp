#include "backup/MBDBParser.h"

#include "app/MadeFolders.h"
#include "app/RegularFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <stdexcept>

namespace
{

const char kHeader[6] = { 'm', 'b', 'd', 'b', 5, 0 };

class Reader
{
public:
    Reader(const QByteArray& d, const QString& s)
        : data(d)
        , source(s)
    {
    }

    [[noreturn]] void fail(const QString& what) const
    {
        throw std::runtime_error(
            QStringLiteral("%1 is damaged: %2 at byte %3.").arg(source, what).arg(pos).toStdString());
    }
    void need(qsizetype n) const
    {
        if (data.size() - pos < n)
            fail(QStringLiteral("the file ends inside a record"));
    }
    quint64 uint(int bytes)
    {
        need(bytes);
        quint64 v = 0;
        for (int i = 0; i < bytes; ++i)
            v = v << 8 | uchar(data[pos + i]);
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
    bool atEnd() const { return pos >= data.size(); }

    const QByteArray& data;
    QString source;
    qsizetype pos = 0;
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
        it.extra = std::move(extra);
        if (it.size < 0)
            m_r.fail(QStringLiteral("a record has an impossible size"));
    }

private:
    Reader& m_r;
    QHash<QByteArray, QString> domains; // one shared QString per domain
    QByteArray domain, link, hash, key, name, value;
};

} // namespace

QList<MBDBParser::_MBDBItem> MBDBParser::parseThrow(const QByteArray& data, const QString& source)
{
    if (data.size() < 6 || !data.startsWith(QByteArray(kHeader, 4)))
        throw std::runtime_error(QStringLiteral("%1 is not a backup file record list (no mbdb header).")
                                     .arg(source)
                                     .toStdString());
    if (data[4] != 5)
        throw std::runtime_error(QStringLiteral("%1 has the unsupported format version %2.%3.")
                                     .arg(source)
                                     .arg(int(uchar(data[4])))
                                     .arg(int(uchar(data[5])))
                                     .toStdString());
    Reader r(data, source);
    r.pos = 6;
    RecordReader records(r);
    QList<_MBDBItem> items;
    while (!r.atEnd()) {
        _MBDBItem it;
        records.next(it);
        items.append(std::move(it));
    }
    return items;
}

QList<MBDBParser::_MBDBItem> MBDBParser::parseHead(const QByteArray& head)
{
    QList<_MBDBItem> items;
    if (!head.startsWith(QByteArray(kHeader, 6)))
        return items;
    Reader r(head, QString());
    r.pos = 6;
    RecordReader records(r);
    while (!r.atEnd()) {
        _MBDBItem it;
        try {
            records.next(it);
        } catch (const std::runtime_error&) {
            break; // cut off at the head's end, or damaged
        }
        items.append(std::move(it));
    }
    return items;
}

QList<MBDBParser::_MBDBItem> MBDBParser::parseFileThrow(const QString& path)
{
    QFile f;
    QString why;
    QByteArray data;
    // A read that fails (a failing disk) is told as such, never as records cut short.
    if (!RegularFile::openRead(f, path, &why) || !RegularFile::readToEnd(f, &data, &why))
        throw std::runtime_error(QStringLiteral("Cannot read %1. %2").arg(path, why).toStdString());
    return parseThrow(data, path);
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

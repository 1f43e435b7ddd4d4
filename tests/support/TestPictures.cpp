#include "support/TestPictures.h"

#include "support/TestEnv.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <functional>

namespace TestPictures
{

QImage scene(int w, int h, const QColor& colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray heicOf(const QImage& image, const QStringList& extra)
{
    if (QStandardPaths::findExecutable("heif-enc").isEmpty())
        return {};
    const QString dir = TestEnv::tempDir();
    image.save(dir + "/in.png");
    QProcess p;
    p.start("heif-enc", extra + QStringList { "-q", "60", dir + "/in.png", "-o", dir + "/out.heic" });
    p.waitForFinished(60000);
    QFile f(dir + "/out.heic");
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

QByteArray camera48mp()
{
    static const QByteArray jpeg = [] {
        // Three bytes a pixel while it is made; decoded whole it takes four, more than Qt allows.
        QImage image(8064, 6048, QImage::Format_RGB888);
        image.fill(QColor(20, 120, 200));
        return encoded(image, "JPEG");
    }();
    return jpeg;
}

bool sparseFile(const QString& path, qint64 size, const QByteArray& head)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(head) == head.size()
        && (size <= f.size() || f.resize(size));
}

namespace
{
    int be16(const QByteArray& b, qsizetype i)
    {
        return uchar(b[i]) << 8 | uchar(b[i + 1]);
    }

    // Where each segment that starts with a marker (after SOI) begins, with the marker's code.
    QList<QPair<qsizetype, uchar>> jpegMarkers(const QByteArray& j)
    {
        QList<QPair<qsizetype, uchar>> found;
        for (qsizetype i = 2; i + 1 < j.size();) {
            const uchar m = uchar(j[i + 1]);
            if (uchar(j[i]) != 0xFF || m == 0x00 || (m >= 0xD0 && m <= 0xD7) || m == 0xFF) {
                i += uchar(j[i]) == 0xFF && m != 0xFF ? 2 : 1;
                continue;
            }
            found.append({ i, m });
            if (m == 0xD9)
                break;
            i += 2 + be16(j, i + 2);
        }
        return found;
    }

    void put16(QByteArray& b, int v)
    {
        b.append(char(v >> 8)).append(char(v));
    }
    void put32(QByteArray& b, quint32 v)
    {
        put16(b, int(v >> 16));
        put16(b, int(v & 0xFFFF));
    }
    QByteArray box(const char* type, const QByteArray& body)
    {
        QByteArray b;
        put32(b, quint32(8 + body.size()));
        return b.append(type, 4) + body;
    }
    QByteArray fullBox(const char* type, int version, int flags, const QByteArray& body)
    {
        QByteArray head;
        put32(head, quint32(version) << 24 | quint32(flags));
        return box(type, head + body);
    }
    quint32 be32(const QByteArray& b, qsizetype i)
    {
        return quint32(be16(b, i)) << 16 | quint32(be16(b, i + 2));
    }

    // The hvcC property and the coded data of the only picture of a HEIC that heif-enc wrote.
    bool codedPicture(const QByteArray& heic, QByteArray* hvcC, QByteArray* data)
    {
        const auto children = [&](qsizetype from, qsizetype to, auto visit) {
            while (from + 8 <= to && be32(heic, from) >= 8) {
                const qsizetype end = from + be32(heic, from);
                visit(heic.mid(from + 4, 4), from, end);
                from = end;
            }
        };
        children(0, heic.size(), [&](const QByteArray& type, qsizetype at, qsizetype end) {
            if (type != "meta")
                return;
            children(at + 12, end, [&](const QByteArray& t, qsizetype a, qsizetype e) {
                if (t == "iprp")
                    children(a + 8, e, [&](const QByteArray&, qsizetype pa, qsizetype pe) {
                        children(pa + 8, pe, [&](const QByteArray& pt, qsizetype qa, qsizetype qe) {
                            if (pt == "hvcC")
                                *hvcC = heic.mid(qa, qe - qa);
                        });
                    });
                if (t != "iloc" || heic[a + 8] != 0) // heif-enc writes version 0
                    return;
                const int sizes = uchar(heic[a + 12]), baseSize = uchar(heic[a + 13]) >> 4;
                if (sizes != 0x44 || be16(heic, a + 14) < 1)
                    return;
                const qsizetype item = a + 16; // the first item: id, data reference, base, extents
                const quint32 base = baseSize == 4 ? be32(heic, item + 4) : 0;
                const qsizetype extent = item + 4 + baseSize + 2;
                *data = heic.mid(base + be32(heic, extent), be32(heic, extent + 4));
            });
        });
        return !hvcC->isEmpty() && !data->isEmpty();
    }
    // The parameter sets of an hvcC box as coded data carries them: NAL units after their
    // four-byte lengths.
    QByteArray parameterSets(const QByteArray& hvcC)
    {
        QByteArray sets;
        qsizetype at = 8 + 23; // the box's header, the configuration's fixed fields
        const int arrays = uchar(hvcC[8 + 22]);
        for (int a = 0; a < arrays; ++a) {
            const int count = be16(hvcC, at + 1);
            at += 3;
            for (int n = 0; n < count; ++n) {
                const int size = be16(hvcC, at);
                put32(sets, quint32(size));
                sets += hvcC.mid(at + 2, size);
                at += 2 + size;
            }
        }
        return sets;
    }
    // image as a JPEG, written as set tells the writer.
    QByteArray jpegWith(const QImage& image, const std::function<void(QImageWriter&)>& set)
    {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "JPEG");
        set(writer);
        writer.write(image);
        return bytes;
    }
} // namespace

QImage noise(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = random.generate() | 0xFF000000u;
    }
    return image;
}

QByteArray jpegTurned(const QImage& image, QImageIOHandler::Transformation upright)
{
    return jpegWith(image, [upright](QImageWriter& w) { w.setTransformation(upright); });
}

QByteArray progressiveJpeg(const QImage& image)
{
    return jpegWith(image, [](QImageWriter& w) { w.setProgressiveScanWrite(true); });
}

QByteArray withScans(const QByteArray& jpeg, int scans)
{
    const QList<QPair<qsizetype, uchar>> markers = jpegMarkers(jpeg);
    QList<qsizetype> starts;
    for (const auto& [at, code] : markers)
        if (code == 0xDA)
            starts << at;
    if (starts.isEmpty() || markers.isEmpty() || markers.last().second != 0xD9)
        return jpeg;
    const qsizetype end = markers.last().first;
    const QByteArray last = jpeg.mid(starts.last(), end - starts.last());
    QByteArray out = jpeg.left(end);
    for (qsizetype n = starts.size(); n < scans; ++n)
        out += last;
    return out + jpeg.mid(end);
}

QByteArray jpegClaiming(int w, int h)
{
    return claiming(encoded(scene(16, 16), "JPEG"), w, h);
}

QByteArray claiming(QByteArray jpeg, int w, int h)
{
    for (const auto& [at, code] : jpegMarkers(jpeg))
        if (code == 0xC0 || code == 0xC2) {
            jpeg[at + 5] = char(h >> 8);
            jpeg[at + 6] = char(h);
            jpeg[at + 7] = char(w >> 8);
            jpeg[at + 8] = char(w);
        }
    return jpeg;
}

QByteArray heicGrid(int columns, int rows, int side, int extraItems, int codedSide, bool setsInData)
{
    QByteArray hvcC, data;
    const int coded = codedSide > 0 ? codedSide : side;
    if (!codedPicture(heicOf(scene(coded, coded)), &hvcC, &data))
        return {};
    if (setsInData) {
        QByteArray declared, unused;
        if (!codedPicture(heicOf(scene(side, side)), &declared, &unused))
            return {};
        data = parameterSets(hvcC) + data;
        hvcC = declared;
    }
    const int tiles = columns * rows, items = 1 + tiles + extraItems;
    QByteArray infos;
    put16(infos, items);
    QByteArray grid;
    put16(grid, 1);
    put16(grid, 0);
    infos += fullBox("infe", 2, 0, grid + "grid" + QByteArray(1, '\0'));
    QByteArray refs, associations;
    put16(refs, 1);
    put16(refs, tiles);
    put32(associations, quint32(items));
    put16(associations, 1);
    associations += QByteArray("\x01\x03", 2); // the grid: its size
    for (int id = 2; id <= items; ++id) {
        QByteArray info;
        put16(info, id);
        put16(info, 0);
        infos += fullBox("infe", 2, 1, info + "hvc1" + QByteArray(1, '\0')); // hidden
        if (id <= 1 + tiles)
            put16(refs, id);
        put16(associations, id);
        associations += QByteArray("\x02\x81\x02", 3); // its coded form, its size
    }
    QByteArray tileSize, gridSize;
    put32(tileSize, quint32(side));
    put32(tileSize, quint32(side));
    put32(gridSize, quint32(columns * side));
    put32(gridSize, quint32(rows * side));
    QByteArray handler(4, '\0');
    handler += "pict" + QByteArray(13, '\0');
    QByteArray primary;
    put16(primary, 1);
    const QByteArray fixed = fullBox("hdlr", 0, 0, handler) + fullBox("pitm", 0, 0, primary)
        + fullBox("iinf", 0, 0, infos) + fullBox("iref", 0, 0, box("dimg", refs))
        + box("iprp",
            box("ipco", hvcC + fullBox("ispe", 0, 0, tileSize) + fullBox("ispe", 0, 0, gridSize))
                + fullBox("ipma", 0, 0, associations));
    const auto locations = [&](quint32 gridAt) {
        QByteArray l("\x44\x00", 2);
        put16(l, items);
        for (int id = 1; id <= items; ++id) {
            put16(l, id);
            put16(l, 0);
            put16(l, 1);
            put32(l, id == 1 ? gridAt : gridAt + 8);
            put32(l, id == 1 ? 8 : quint32(data.size()));
        }
        return fullBox("iloc", 0, 0, l);
    };
    const QByteArray type = box("ftyp", QByteArray("heic\0\0\0\0mif1heic", 16));
    const quint32 gridAt = quint32(type.size() + fullBox("meta", 0, 0, fixed + locations(0)).size() + 8);
    QByteArray layout(2, '\0');
    layout += char(rows - 1);
    layout += char(columns - 1);
    put16(layout, columns * side);
    put16(layout, rows * side);
    return type + fullBox("meta", 0, 0, fixed + locations(gridAt)) + box("mdat", layout + data);
}

} // namespace TestPictures

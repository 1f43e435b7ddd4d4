#include "app/HeifLibrary.h"
#include "app/PictureDecoder.h"
#include "app/TaskCancel.h"
#include "notes_media/PhotoThumbnail.h"
#include "notes_media/ThumbnailCache.h"
#include "support/TestEnv.h"
#include "support/TestPictures.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QThread>
#include <QtTest>

using namespace TestPictures;

namespace
{

quint32 crc32Of(const QByteArray& data)
{
    quint32 crc = 0xffffffffu;
    for (char ch : data) {
        crc ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A PNG whose header claims a huge picture; nothing behind it needs to be valid.
QByteArray hugePngHeader(quint32 w, quint32 h)
{
    QByteArray ihdr("IHDR");
    QDataStream s(&ihdr, QIODevice::Append);
    s << w << h << quint8(8) << quint8(2) << quint8(0) << quint8(0) << quint8(0);
    const quint32 crc = crc32Of(ihdr);
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    QDataStream o(&out, QIODevice::Append);
    o << quint32(13);
    out += ihdr;
    QDataStream o2(&out, QIODevice::Append);
    o2 << crc;
    return out + QByteArray(64, '\0');
}

MBDBParser::_MBDBItem item(const QString& path, qint64 size, quint32 mtime)
{
    MBDBParser::_MBDBItem it;
    it.domain = "CameraRollDomain";
    it.pathUtf8 = path.toUtf8();
    it.size = size;
    it.mtime = mtime;
    return it;
}

// The picture in bytes as PictureDecoder reads it from a file, the reason in *why when a read fails.
QImage fromFile(const QByteArray& bytes, QString* why)
{
    QFile file(TestEnv::tempDir() + "/picture");
    if (!file.open(QIODevice::ReadWrite) || file.write(bytes) != bytes.size() || !file.seek(0))
        return QImage();
    return PictureDecoder::fromFile(file, QSize(128, 128), why);
}

// What stops a decoding: its task cancelled before it reads, or once the decoder starts on the
// picture; or the decoder's thread held past the time bound there.
enum Stop { Runs, CancelledBefore, CancelledAsItDecodes, HeldAsItDecodes };

} // namespace

class TestPhotoThumbnail : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void makesFittedThumbnails_data()
    {
        using O = PictureDecoder::Outcome;
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("expected"); // invalid: no picture
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("limitMs"); // the time bound; 0: as shipped
        QTest::addColumn<int>("stop");
        const auto row = [](const char* tag, const QByteArray& bytes, QSize expected, O outcome,
                             int limitMs = 0, Stop stop = Runs) {
            QTest::newRow(tag) << bytes << expected << int(outcome) << limitMs << int(stop);
        };
        row("jpeg landscape", encoded(scene(400, 300), "JPEG"), QSize(128, 96), O::Picture);
        row("png portrait", encoded(scene(100, 400), "PNG"), QSize(32, 128), O::Picture);
        row("small png kept", encoded(scene(40, 30), "PNG"), QSize(40, 30), O::Picture);
        row("bmp", encoded(scene(256, 256), "BMP"), QSize(128, 128), O::Picture);
        row("empty", QByteArray(), QSize(), O::Undecodable);
        row("garbage", QByteArray("not a picture at all, just words"), QSize(), O::Undecodable);
        row("cut jpeg", encoded(scene(400, 300), "JPEG").left(20), QSize(), O::Undecodable);
        // Qt's reader finds no size in these: the chunks after the header are not valid.
        row("too wide", hugePngHeader(20000, 10), QSize(), O::Undecodable);
        row("too many pixels", hugePngHeader(16000, 16000), QSize(), O::Undecodable);
        row("movie",
            QByteArray("\0\0\0\x14"
                       "ftypqt  \0\0\0\0",
                16),
            QSize(), O::Undecodable);
        row("heif brand, broken",
            QByteArray("\0\0\0\x18"
                       "ftypheic\0\0\0\0mif1heic",
                24),
            QSize(), O::Undecodable);
        row("48 megapixel camera jpeg", camera48mp(), QSize(128, 96), O::Picture);
        row("jpeg turned upright", jpegTurned(scene(400, 300), QImageIOHandler::TransformationRotate90),
            QSize(96, 128), O::Picture);
        // The bounds by size, on pictures Qt itself would decode (scaled, in little memory).
        row("jpeg 16384 wide", jpegClaiming(16384, 8), QSize(128, 1), O::Picture);
        row("too wide jpeg", jpegClaiming(16385, 8), QSize(), O::Refused);
        row("jpeg of 64 megapixels", jpegClaiming(8192, 8192), QSize(128, 128), O::Picture);
        row("too many pixels jpeg", jpegClaiming(8192, 8193), QSize(), O::Refused);
        // The bounds of work: scans, items, tiles, time; and a cancel.
        row("progressive jpeg", progressiveJpeg(noise(400, 300)), QSize(128, 96), O::Picture);
        row("jpeg of 100 scans", withScans(progressiveJpeg(noise(64, 48)), 100), QSize(64, 48), O::Picture);
        row("jpeg of 101 scans", withScans(progressiveJpeg(noise(64, 48)), 101), QSize(), O::Refused);
        row("heic grid of 512 tiles", heicGrid(32, 16, 64), QSize(128, 64), O::Picture);
        row("heic grid of 513 tiles", heicGrid(27, 19, 64), QSize(), O::Refused);
        row("heic of 1024 items", heicGrid(2, 2, 64, 1019), QSize(128, 128), O::Picture);
        row("heic of 1025 items", heicGrid(2, 2, 64, 1020), QSize(), O::Refused);
        // Each tile is decoded at its coded size, whatever part of it the grid shows.
        row("heic grid of tiles coded larger than shown", heicGrid(65, 1, 64, 0, 1024), QSize(), O::Refused);
        row("heic grid of tiles whose data codes them larger", heicGrid(65, 1, 64, 0, 1024, true), QSize(),
            O::Refused);
        QByteArray ofItself = heicGrid(2, 2, 64);
        if (const qsizetype dimg = ofItself.indexOf("dimg"); dimg > 0)
            ofItself[dimg + 9] = 1; // its first tile: the grid (item 1)
        row("heic grid that is a tile of itself", ofItself, QSize(), O::Refused);
        row("past the time bound", progressiveJpeg(noise(1024, 1024)), QSize(), O::Refused, 1);
        // All of it read with the header: each of its scans is a pass over 32 megapixels.
        row("jpeg whose scans outlast the time bound",
            claiming(withScans(progressiveJpeg(scene(16, 16)), 97), 8192, 4096), QSize(), O::Refused, 5);
        row("cancelled", encoded(scene(400, 300), "JPEG"), QSize(), O::Cancelled, 0, CancelledBefore);
        // libheif is told the file ends there, never that a read failed (it would abort).
        row("heic grid cancelled as it decodes", heicGrid(4, 4, 64), QSize(), O::Cancelled, 0,
            CancelledAsItDecodes);
        row("heic grid past the time bound as it decodes", heicGrid(4, 4, 64), QSize(), O::Refused, 200,
            HeldAsItDecodes);
    }
    // So too from a file, read as the decoder asks for it.
    void makesFittedThumbnails()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, expected);
        QFETCH(int, outcome);
        QFETCH(int, limitMs);
        QFETCH(int, stop);
        if (bytes.isEmpty() && QByteArray(QTest::currentDataTag()).startsWith("heic"))
            QSKIP("heif-enc (libheif-examples) is not installed");
        const int limitBefore
            = PictureDecoder::setWorkLimitMs(limitMs ? limitMs : PictureDecoder::kMaxWorkMs);
        const auto task = std::make_shared<TaskCancel::Token>();
        task->cancelled = stop == CancelledBefore;
        const TaskCancel::Scope scope(task);
        if (stop == CancelledAsItDecodes)
            PictureDecoder::setBeforeDecode([task] { task->cancelled = true; });
        if (stop == HeldAsItDecodes)
            PictureDecoder::setBeforeDecode([limitMs] { QThread::msleep(limitMs + 50); });
        const auto noHook = qScopeGuard([] { PictureDecoder::setBeforeDecode(nullptr); });
        const bool cancelled = stop == CancelledBefore || stop == CancelledAsItDecodes;
        const qint64 before = PhotoThumbnail::decodeCount();
        const PictureDecoder::Result made = PictureDecoder::decodeBytes(bytes, QSize(128, 128));
        QCOMPARE(int(made.outcome), outcome);
        QCOMPARE(made.settled(), !cancelled);
        QCOMPARE(made.image.isNull() ? QSize() : made.image.size(), expected);
        if (QByteArray(QTest::currentDataTag()).startsWith("too "))
            QCOMPARE(PhotoThumbnail::decodeCount(), before); // refused from the header alone
        QString why;
        const QImage read = fromFile(bytes, &why);
        QCOMPARE(read.isNull() ? QSize() : read.size(), expected);
        QCOMPARE(why, QString());
        PictureDecoder::setWorkLimitMs(limitBefore);
    }

    // A file larger than any picture a phone keeps is not read at all, whatever its head; one whose
    // reads fail (a link to this process's memory) is no picture, and says why.
    void refusesFilesFromTheirSize()
    {
        const QString dir = TestEnv::tempDir();
        QVERIFY(
            sparseFile(dir + "/huge.jpg", PictureDecoder::kMaxFileBytes + 1, encoded(scene(40, 30), "JPEG")));
        QVERIFY(QFile::link("/proc/self/mem", dir + "/failing.jpg"));
        QString why;
        for (const char* name : { "/huge.jpg", "/failing.jpg" }) {
            QFile file(dir + name);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const qint64 before = PictureDecoder::decodeCount();
            QVERIFY(PictureDecoder::fromFile(file, QSize(128, 128), &why).isNull());
            QCOMPARE(PictureDecoder::decodeCount(), before);
        }
        QCOMPARE(why, QString("Input/output error"));
    }

    void decodesHeic_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("picture only") << QStringList();
        QTest::newRow("with embedded preview") << QStringList({ "-t", "200" });
    }
    void decodesHeic()
    {
        QFETCH(QStringList, options);
        const QByteArray heic = heicOf(scene(480, 360), options);
        if (heic.isEmpty())
            QSKIP("heif-enc (libheif-examples) is not installed");
        QVERIFY(PhotoThumbnail::isHeif(heic));
        QString why;
        for (const QImage& thumb : { PhotoThumbnail::make(heic, QSize(128, 128)), fromFile(heic, &why) }) {
            QCOMPARE(thumb.size(), QSize(128, 96));
            const QColor c = thumb.pixelColor(64, 48);
            QVERIFY2(qAbs(c.red() - 20) < 20 && qAbs(c.green() - 120) < 20 && qAbs(c.blue() - 200) < 20,
                qPrintable(c.name()));
        }
    }

    // libheif is opened on first use: without it, or without a function of it, a HEIC is an
    // undecodable picture like a broken one, and the other formats are unaffected.
    void decodesHeicOnlyWithLibrary_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("error"); // in errorString(); empty: the library loads
        QTest::newRow("libheif") << QByteArray("libheif.so.1") << QString();
        QTest::newRow("no such library") << QByteArray("libheif-absent.so.1") << "libheif-absent.so.1";
        QTest::newRow("library without the functions") << QByteArray("libz.so.1") << "heif_init";
    }
    void decodesHeicOnlyWithLibrary()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, error);
        const QByteArray heic = heicOf(scene(480, 360));
        if (heic.isEmpty())
            QSKIP("heif-enc (libheif-examples) is not installed");
        const HeifLibrary heif(file.constData());
        QCOMPARE(heif.isLoaded(), error.isEmpty());
        QVERIFY2(error.isEmpty() ? heif.errorString().isEmpty() : heif.errorString().contains(error),
            qPrintable(heif.errorString()));
        const qint64 before = PhotoThumbnail::decodeCount();
        const QImage thumb = PhotoThumbnail::make(heic, QSize(128, 128), heif);
        QCOMPARE(thumb.isNull() ? QSize() : thumb.size(), error.isEmpty() ? QSize(128, 96) : QSize());
        QCOMPARE(PhotoThumbnail::decodeCount() - before, error.isEmpty() ? 1 : 0);
        // A HEIC that failed for want of the library is not to be remembered as undecodable.
        QCOMPARE(PhotoThumbnail::decoderPresent(heic, heif), error.isEmpty());
        QVERIFY(PhotoThumbnail::decoderPresent(encoded(scene(40, 30), "JPEG"), heif));
        QCOMPARE(PhotoThumbnail::make(encoded(scene(400, 300), "JPEG"), QSize(128, 128), heif).size(),
            QSize(128, 96));
    }

    void realCameraPicture()
    {
        QM_REQUIRE_SHARED();
        QFile f(TestEnv::realFixture("otapki-iphone/CameraRollDomain/Media/DCIM/100APPLE/IMG_0001.PNG"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QImage thumb = PhotoThumbnail::make(f.readAll(), QSize(128, 128));
        QVERIFY(!thumb.isNull());
        QVERIFY(thumb.width() == 128 || thumb.height() == 128);
    }

    void cacheKeepsPicturesAndFailures()
    {
        const QDir data(TestEnv::tempDir());
        const ThumbnailCache cache(data);
        const MBDBParser::_MBDBItem a = item("Media/DCIM/100APPLE/IMG_0001.JPG", 1000, 1600000000);
        const MBDBParser::_MBDBItem b = item("Media/DCIM/100APPLE/IMG_0002.JPG", 2000, 1600000000);
        QImage got;
        QCOMPARE(cache.lookup(a, &got), ThumbnailCache::Entry::Missing);
        cache.storePicture(a, scene(128, 96));
        cache.storeUndecodable(b);
        QCOMPARE(cache.lookup(a, &got), ThumbnailCache::Entry::Picture);
        QCOMPARE(got.size(), QSize(128, 96));
        QCOMPARE(cache.lookup(b, &got), ThumbnailCache::Entry::Undecodable);
        QVERIFY(cache.entryPath(a).startsWith(data.absoluteFilePath("thumbnails") + "/"));
        // A later sync that changed the picture (other time or size) finds no entry.
        QCOMPARE(cache.lookup(item("Media/DCIM/100APPLE/IMG_0001.JPG", 1000, 1600000001), &got),
            ThumbnailCache::Entry::Missing);
        QCOMPARE(cache.lookup(item("Media/DCIM/100APPLE/IMG_0001.JPG", 1001, 1600000000), &got),
            ThumbnailCache::Entry::Missing);
        // A damaged entry is made again rather than shown.
        QFile damaged(cache.entryPath(a));
        QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write("\xff\xd8 broken");
        damaged.close();
        QCOMPARE(cache.lookup(a, &got), ThumbnailCache::Entry::Missing);
    }

    void cacheWriteFailureLeavesNothing()
    {
        // A file where the folder should be: no entry can be written, and nothing else is touched.
        const QDir data(TestEnv::tempDir());
        QFile blocker(data.absoluteFilePath("thumbnails"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.write("keep");
        blocker.close();
        const ThumbnailCache cache(data);
        const MBDBParser::_MBDBItem a = item("Media/DCIM/100APPLE/IMG_0001.JPG", 1000, 1600000000);
        cache.storePicture(a, scene(128, 96));
        cache.storeUndecodable(a);
        QImage got;
        QCOMPARE(cache.lookup(a, &got), ThumbnailCache::Entry::Missing);
        QCOMPARE(data.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList({ "thumbnails" }));
        QVERIFY(blocker.open(QIODevice::ReadOnly));
        QCOMPARE(blocker.readAll(), QByteArray("keep"));
    }

    void noFolderKeepsNothing()
    {
        const ThumbnailCache cache { QDir(QString()) };
        const MBDBParser::_MBDBItem a = item("Media/DCIM/100APPLE/IMG_0001.JPG", 1000, 1600000000);
        cache.storePicture(a, scene(128, 96));
        QImage got;
        QCOMPARE(cache.lookup(a, &got), ThumbnailCache::Entry::Missing);
        QVERIFY(cache.entryPath(a).isEmpty());
    }
};

QTEST_MAIN(TestPhotoThumbnail)
#include "TestPhotoThumbnail.moc"

#include "contacts/export/ContactPhoto.h"

#include <QBuffer>
#include <QTemporaryFile>
#include <QtTest>
#include <cstdio>
#include <unistd.h>

namespace
{
QByteArray encoded(const QSize& size, const char* format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// What the image libraries print straight to the process's error output while f runs.
QByteArray errorOutputOf(const std::function<void()>& f)
{
    QTemporaryFile capture;
    if (!capture.open())
        return "cannot capture";
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(capture.handle(), STDERR_FILENO);
    f();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    capture.seek(0);
    return capture.readAll();
}
} // namespace

class TestContactPhoto : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void decodesQuietly_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");
        QTest::newRow("jpeg") << encoded({ 40, 30 }, "JPEG") << QSize(40, 30);
        QTest::newRow("png") << encoded({ 12, 20 }, "PNG") << QSize(12, 20);
        QTest::newRow("jpeg wider than allowed")
            << encoded({ ContactPhoto::kMaxSide + 1, 1 }, "JPEG") << QSize(0, 0);
        QTest::newRow("gif") << encoded({ 8, 8 }, "GIF") << QSize(0, 0);
        QTest::newRow("not a picture") << QByteArray("bplist00 raw thumbnail pixels") << QSize(0, 0);
    }
    void decodesQuietly()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QImage image;
        const QByteArray printed = errorOutputOf([&] { image = ContactPhoto::decode(bytes); });
        QCOMPARE(image.size(), size); // 0 x 0: not decoded
        QVERIFY2(printed.isEmpty(), printed.constData());
    }
};

QTEST_MAIN(TestContactPhoto)
#include "TestContactPhoto.moc"

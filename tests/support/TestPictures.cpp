#include "support/TestPictures.h"

#include "support/TestEnv.h"

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

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
    return f.open(QIODevice::WriteOnly) && f.write(head) == head.size() && f.resize(qMax(size, f.size()));
}

} // namespace TestPictures

#include "messages/ui/support/PdfTools.h"

#include "messages/ui/support/MsgModelBuilder.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace PdfTools
{

bool available()
{
    for (const char* tool : { "pdfinfo", "pdftotext", "pdftoppm" })
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return false;
    return true;
}

static QString info(const QString& pdf, const QString& key)
{
    const QString out = QString::fromUtf8(runTool("pdfinfo", { pdf }));
    const QRegularExpressionMatch m
        = QRegularExpression("^" + key + ":\\s+(.*)$", QRegularExpression::MultilineOption).match(out);
    return m.hasMatch() ? m.captured(1).trimmed() : QString();
}

int pages(const QString& pdf)
{
    return info(pdf, "Pages").toInt();
}

QString pageSize(const QString& pdf)
{
    return info(pdf, "Page size");
}

QString text(const QString& pdf, int page)
{
    QStringList args;
    if (page > 0)
        args << "-f" << QString::number(page) << "-l" << QString::number(page);
    return QString::fromUtf8(runTool("pdftotext", args << "-layout" << pdf << "-"));
}

QImage render(const QString& pdf, int page)
{
    QTemporaryDir dir;
    const QString prefix = dir.path() + "/page";
    runTool("pdftoppm",
        { "-r", "96", "-png", "-singlefile", "-f", QString::number(page), "-l", QString::number(page), pdf,
            prefix });
    return QImage(prefix + ".png");
}

int darkPixels(const QImage& image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 100)
                ++n;
    return n;
}

int pixelsOf(const QImage& image, const QColor& colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += qAbs(c.red() - colour.red()) < 16 && qAbs(c.green() - colour.green()) < 16
                && qAbs(c.blue() - colour.blue()) < 16;
        }
    return n;
}

} // namespace PdfTools

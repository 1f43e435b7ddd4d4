#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>

// Pictures and picture files made for the tests.
namespace TestPictures
{

// A picture of w x h pixels of one colour.
QImage scene(int w, int h, const QColor& colour = QColor(20, 120, 200));
// image in the given format ("JPEG", "PNG", ...).
QByteArray encoded(const QImage& image, const char* format);
// A HEIC made by libheif's own encoder (heif-enc) from image, with its extra options; empty when
// heif-enc is not installed.
QByteArray heicOf(const QImage& image, const QStringList& extra = {});
// A photo as a 48-megapixel camera takes it, 8064 x 6048 pixels of the colour of scene(), as a JPEG;
// made once in a process.
QByteArray camera48mp();
// Writes head at path and makes the file size bytes long (head alone when that is longer), the
// rest a hole that takes no room on the disk; false when it cannot.
bool sparseFile(const QString& path, qint64 size, const QByteArray& head = QByteArray());

} // namespace TestPictures

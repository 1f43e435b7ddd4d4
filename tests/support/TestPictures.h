#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QImageIOHandler>
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
// A picture of w x h pixels of noise, which a JPEG cannot make much smaller: it costs a decoder work.
QImage noise(int w, int h);
// image as a JPEG whose EXIF data says how to turn it upright.
QByteArray jpegTurned(const QImage& image, QImageIOHandler::Transformation upright);
// image as a progressive JPEG (ten scans, as a camera's or a web page's).
QByteArray progressiveJpeg(const QImage& image);
// The JPEG with its last scan repeated until it holds scans scans: each costs the decoder a pass.
QByteArray withScans(const QByteArray& jpeg, int scans);
// A small JPEG whose header says it is w x h pixels; its coded data covers a few blocks only, which
// the decoder takes for a picture cut short and draws grey.
QByteArray jpegClaiming(int w, int h);
// The JPEG (baseline or progressive) with its frame header saying it is w x h pixels.
QByteArray claiming(QByteArray jpeg, int w, int h);
// A HEIC whose primary picture is a grid of columns x rows tiles of side pixels, all of one coded
// picture made by heif-enc, and which declares extraItems more pictures that nothing refers to;
// the tiles are coded codedSide pixels a side where that is given, with the parameter sets that
// say so in the coded data rather than its configuration when setsInData. Empty when heif-enc is
// not installed.
QByteArray heicGrid(
    int columns, int rows, int side, int extraItems = 0, int codedSide = 0, bool setsInData = false);
// A photo as a 48-megapixel camera takes it, 8064 x 6048 pixels of the colour of scene(), as a JPEG;
// made once in a process.
QByteArray camera48mp();
// Writes head at path and makes the file size bytes long (head alone when that is longer), the
// rest a hole that takes no room on the disk; false when it cannot.
bool sparseFile(const QString& path, qint64 size, const QByteArray& head = QByteArray());

} // namespace TestPictures

#pragma once

#include <QColor>
#include <QImage>
#include <QString>

// The poppler command-line tools on exported PDF files.
namespace PdfTools
{
// False when pdfinfo, pdftotext or pdftoppm is not installed.
bool available();
int pages(const QString& pdf);
// "595 x 842 pts (A4)" as pdfinfo reports it.
QString pageSize(const QString& pdf);
// The text of one page (0 for all pages).
QString text(const QString& pdf, int page = 0);
// One page rendered at 96 dots per inch.
QImage render(const QString& pdf, int page);
// Count of pixels much darker than the page background (text and bubble frames).
int darkPixels(const QImage& image);
// Count of pixels of colour, give or take a little in each channel (a picture's compression).
int pixelsOf(const QImage& image, const QColor& colour);
} // namespace PdfTools

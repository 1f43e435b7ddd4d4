#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Decoding of contact photos (JPEG or PNG, told apart by their signature) with their size checked
// from the header first, so that a hostile picture cannot ask for a huge image, and their decoding
// bounded as PictureDecoder bounds it. Safe on any thread.
class ContactPhoto
{
public:
    // Pictures whose width or height exceeds this, or whose area exceeds kMaxPixels, are refused.
    static constexpr int kMaxSide = 8192;
    static constexpr qint64 kMaxPixels = 32LL * 1024 * 1024;

    // The picture, or a null image when the bytes are neither JPEG nor PNG or too big.
    static QImage decode(const QByteArray& bytes);
    // "png", "jpg", "gif" from the bytes' signature; "jpg" when unknown.
    static QString suffixOf(const QByteArray& bytes);
    // The placeholder of a contact without a usable photo (the resource ":res/empty_contact.png").
    static QImage placeholder();
};

#pragma once

#include "app/PictureDecoder.h"
#include "backup/BackupManifest.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

class HeifLibrary;

// Small pictures of the camera files of a backup, decoded by PictureDecoder (whose limits they
// keep) from the stored files, which are read into memory to be decrypted; stored files too large
// for that are refused. Safe on any thread.
class PhotoThumbnail
{
public:
    static constexpr int kMaxSide = PictureDecoder::kMaxSide;
    static constexpr qint64 kMaxPixels = PictureDecoder::kMaxPixels;
    static constexpr qint64 kMaxFileBytes = PictureDecoder::kMaxFileBytes;

    // The picture scaled down to fit box (never scaled up), or a null image when the bytes are no
    // picture this program reads or the picture is too large.
    // HEIF pictures are decoded with HeifLibrary::shared(); when libheif cannot be loaded they give
    // the null image of an undecodable picture.
    static QImage make(const QByteArray& bytes, const QSize& box);
    // The same, decoding HEIF pictures with the given library.
    static QImage make(const QByteArray& bytes, const QSize& box, const HeifLibrary& heif);
    // Whether the bytes start like a HEIF file (ISO media with a HEIF brand).
    static bool isHeif(const QByteArray& bytes);
    // Whether a null image from make() means the picture itself is undecodable, rather than that the
    // decoder for its kind (libheif for HEIF) is missing now: only then is that worth remembering.
    static bool decoderPresent(const QByteArray& bytes);
    static bool decoderPresent(const QByteArray& bytes, const HeifLibrary& heif);
    // The contents of the node's stored file, decrypted for an encrypted backup; empty when the
    // file is larger than kMaxFileBytes. Throws std::runtime_error saying why when it cannot be
    // opened or read (the disk's reason), its key cannot be had (the key's own reason), or it is not
    // the picture the phone wrote (cut short, under another key): none is drawn from it.
    static QByteArray readStoredThrow(const BackupManifest& manifest, const BackupManifest::_FileNode* node);
    // How many pictures have been decoded in this process (cached thumbnails do not count).
    static qint64 decodeCount();
};

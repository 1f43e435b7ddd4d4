#pragma once

#include <QByteArray>
#include <QtGlobal>

// The size of the pictures an HEVC stream codes, as its sequence parameter sets give it: what a
// decoder allocates for each picture, whatever size the file around it declares.
class HevcSize
{
public:
    // The NAL unit type of a sequence parameter set.
    static constexpr int kSpsType = 33;

    // The type of the NAL unit whose two-byte header starts at header.
    static int nalType(const char* header) { return (uchar(header[0]) >> 1) & 0x3F; }
    // The pixels of the pictures of one sequence parameter set (a whole NAL unit, its header
    // included); 0 when it cannot be read.
    static qint64 spsPixels(const QByteArray& nal);
    // The most pixels any sequence parameter set of an HEVC configuration (an hvcC box's content)
    // gives; 0 when it holds none that can be read.
    static qint64 configPixels(const QByteArray& config);
    // The size in bytes of the length before each NAL unit of the coded data an HEVC configuration
    // describes; 0 when the configuration is too short to say.
    static int lengthSize(const QByteArray& config);
};

#pragma once

#include <QtGlobal>

// Counts the scans of a JPEG stream as its bytes pass by, in the order of the file, the way the
// decoder meets them: one for each start-of-scan marker outside a scan's coded data, none after the
// end-of-image marker. Each scan of a progressive picture costs the decoder a pass over the whole
// picture, so this is what a crafted file of thousands of tiny scans cannot hide.
class JpegScanCount
{
public:
    // Takes the next bytes of the stream, up to and with the marker that starts a scan (so that
    // whoever hands the bytes on can stop there), and says how many it took: at least one.
    qint64 feed(const uchar* data, qint64 size);
    int scans() const { return m_scans; }
    // Bytes fed so far.
    qint64 fed() const { return m_fed; }

private:
    enum class State { Between, Code, LengthHigh, LengthLow, Segment, Coded, CodedFF, Ended };
    qint64 consume(const uchar* data, qint64 size);
    void marker(uchar code);

    State m_state = State::Between;
    uchar m_code = 0;
    int m_length = 0;
    qint64 m_left = 0; // of the marker segment being skipped
    int m_scans = 0;
    qint64 m_fed = 0;
};

#include "app/HevcSize.h"

namespace
{

// The bits of a NAL unit after its two-byte header, without the bytes that only keep start codes
// out of it (a 3 after two zero bytes).
struct NalBits {
    const QByteArray& nal;
    qsizetype at = 2;
    int bit = 0;
    int zeros = 0;
    bool failed = false;

    quint32 bit1()
    {
        if (bit == 0) {
            if (zeros >= 2 && at < nal.size() && nal[at] == 3) {
                ++at;
                zeros = 0;
            }
            if (at >= nal.size()) {
                failed = true;
                return 0;
            }
            zeros = nal[at] == 0 ? zeros + 1 : 0;
        }
        const quint32 v = (uchar(nal[at]) >> (7 - bit)) & 1;
        if (++bit == 8) {
            bit = 0;
            ++at;
        }
        return v;
    }
    quint64 bits(int n)
    {
        quint64 v = 0;
        while (n-- > 0 && !failed)
            v = v << 1 | bit1();
        return v;
    }
    // An unsigned Exp-Golomb value.
    quint64 ue()
    {
        int lead = 0;
        while (!failed && bit1() == 0)
            if (++lead > 32)
                failed = true;
        return failed ? 0 : (quint64(1) << lead) - 1 + bits(lead);
    }
};

} // namespace

qint64 HevcSize::spsPixels(const QByteArray& nal)
{
    NalBits r { nal };
    r.bits(4); // the parameter set it uses
    const int subLayers = int(r.bits(3));
    r.bits(1 + 96); // nesting; the profile, tier and level
    bool profile[8] = {}, level[8] = {};
    for (int i = 0; i < subLayers; ++i) {
        profile[i] = r.bits(1);
        level[i] = r.bits(1);
    }
    if (subLayers > 0)
        r.bits(2 * (8 - subLayers));
    for (int i = 0; i < subLayers; ++i)
        r.bits((profile[i] ? 88 : 0) + (level[i] ? 8 : 0));
    r.ue(); // its own id
    if (r.ue() == 3) // chroma format 4:4:4
        r.bits(1);
    // Far beyond any decoder's bound, and still a product that fits.
    const quint64 most = quint64(1) << 24;
    const quint64 w = qMin(r.ue(), most), h = qMin(r.ue(), most);
    return r.failed ? 0 : qint64(w * h);
}

qint64 HevcSize::configPixels(const QByteArray& config)
{
    qint64 most = 0;
    qsizetype at = 23;
    const int arrays = config.size() > 22 ? uchar(config[22]) : 0;
    for (int a = 0; a < arrays && at + 3 <= config.size(); ++a) {
        const bool sps = (uchar(config[at]) & 0x3F) == kSpsType;
        const int count = uchar(config[at + 1]) << 8 | uchar(config[at + 2]);
        at += 3;
        for (int n = 0; n < count && at + 2 <= config.size(); ++n) {
            const int size = uchar(config[at]) << 8 | uchar(config[at + 1]);
            at += 2;
            if (sps && at + size <= config.size())
                most = qMax(most, spsPixels(config.mid(at, size)));
            at += size;
        }
    }
    return most;
}

int HevcSize::lengthSize(const QByteArray& config)
{
    return config.size() > 21 ? (uchar(config[21]) & 3) + 1 : 0;
}

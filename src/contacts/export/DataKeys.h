#pragma once

#include <QString>

// The entity value keys "data1" to "data15" made once, so hot loops look values up without
// building a key text each time.
inline const QString& dataKey(int n)
{
    static const QString keys[16] = { QString(), QStringLiteral("data1"), QStringLiteral("data2"),
        QStringLiteral("data3"), QStringLiteral("data4"), QStringLiteral("data5"), QStringLiteral("data6"),
        QStringLiteral("data7"), QStringLiteral("data8"), QStringLiteral("data9"), QStringLiteral("data10"),
        QStringLiteral("data11"), QStringLiteral("data12"), QStringLiteral("data13"),
        QStringLiteral("data14"), QStringLiteral("data15") };
    return keys[n >= 1 && n <= 15 ? n : 0];
}

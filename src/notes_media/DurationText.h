#pragma once

#include <QString>

// How the voicemail and recordings pages show a length of audio: "m:ss", or "h:mm:ss" from an hour
// on; fractions of a second are dropped and a negative length shows as "0:00".
class DurationText
{
public:
    static QString format(double seconds);
};

#pragma once

#include <QString>

// How the voicemail and recordings pages show a length of audio: "m:ss", or "h:mm:ss" from an hour
// on; fractions of a second are dropped. A length that is not a number, negative or beyond what a
// stored duration can be is no value and shows empty.
class DurationText
{
public:
    static QString format(double seconds);
};

#pragma once

#include <QString>

// What a long operation of the headless code reports to whoever shows its progress (the progress
// dialog in the program, a plain stand-in in tests and the probe).
class IProgressSink
{
public:
    virtual ~IProgressSink() = default;
    // True once the user has cancelled; polled between steps.
    virtual bool isCancelled() const = 0;
    // An empty status keeps the status line; a negative percent keeps the bar.
    virtual void updateProgress(const QString& status, int percent, const QString& detail) = 0;
};

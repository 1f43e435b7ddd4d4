#pragma once

#include <QString>
#include <functional>
#include <memory>

class QWidget;

// Small work on files that the interface thread leaves to another (a private temporary folder made
// or removed, a database closed): even the program's own run folder is on a disk that may stall.
class OffThread
{
public:
    // Runs work to its end on a thread of its own while the window paints, then rethrows what it
    // threw. A wait longer than a moment shows a progress dialog titled title (a general one when
    // empty) over parent, whose Cancel asks the work to stop (a statement over a database stops, a
    // step waiting on a disk does not): the window then says which disk does not answer and answers
    // again, while this call still waits for the work, whose frame it shares. Off the interface
    // thread it runs in place. False when the user cancelled the wait: the caller does not go on as
    // though the work had told it something.
    static bool run(
        const std::function<void()>& work, const QString& title = QString(), QWidget* parent = nullptr);
    // Ends what owner holds (a hold on a backup folder, whose end closes its descriptor and removes
    // its lock file) on a thread of its own as run() does.
    template <class T> static void release(std::unique_ptr<T>& owner) noexcept
    {
        if (!owner)
            return;
        try {
            run([&owner] { owner.reset(); });
        } catch (...) {
            owner.reset(); // no thread could be had
        }
    }

    // For tests: how long a wait stays quiet before its dialog shows (ms); returns the one before.
    static int setQuietMs(int ms);
};

#pragma once

#include <functional>
#include <memory>

// Small work on files that the interface thread leaves to another (a private temporary folder made
// or removed, a database closed): even the program's own run folder is on a disk that may stall.
class OffThread
{
public:
    // Runs work to its end on a thread of its own while the window paints, then rethrows what it
    // threw. Off the interface thread it runs in place.
    static void run(const std::function<void()>& work);
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
};

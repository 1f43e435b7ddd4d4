#pragma once

#include <QString>
#include <functional>
#include <mutex>

// A step tests hook into a worker thread (to hold a read, as a disk that stopped answering does),
// called with the path the step works on. Set and called from any thread.
class PathHook
{
public:
    void set(std::function<void(const QString& path)> hook);
    // Calls the hook set, when there is one; outside the lock, so that it may block.
    void call(const QString& path) const;

private:
    mutable std::mutex m_mutex;
    std::function<void(const QString&)> m_hook;
};

#include "app/PathHook.h"

void PathHook::set(std::function<void(const QString& path)> hook)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_hook = std::move(hook);
}

void PathHook::call(const QString& path) const
{
    std::function<void(const QString&)> hook;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        hook = m_hook;
    }
    if (hook)
        hook(path);
}

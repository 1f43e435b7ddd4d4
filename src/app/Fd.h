#pragma once

#include <unistd.h>
#include <utility>

// A file descriptor closed with its owner.
class Fd
{
public:
    explicit Fd(int fd)
        : m_fd(fd)
    {
    }
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    // Closes now; false with errno set when the close reports a failed write.
    bool close()
    {
        const int fd = std::exchange(m_fd, -1);
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

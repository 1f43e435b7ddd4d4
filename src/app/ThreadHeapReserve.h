#pragma once

#include <cstddef>

// Grows the calling thread's heap once, ahead of a burst of small allocations (a big address
// book's values read on a thread of their own). glibc extends a thread's heap a page at a time,
// one mprotect call per page; reserving the reach up front replaces tens of thousands of those
// calls by one per block. The blocks are freed at once but the last, which is freed with this
// object and keeps the allocator from handing the reach back meanwhile. Untouched pages cost no
// memory. Elsewhere than glibc it does nothing.
class ThreadHeapReserve
{
public:
    explicit ThreadHeapReserve(std::size_t bytes);
    ~ThreadHeapReserve();
    ThreadHeapReserve(const ThreadHeapReserve&) = delete;
    ThreadHeapReserve& operator=(const ThreadHeapReserve&) = delete;

    static constexpr std::size_t kBlock = 64 * 1024; // below the allocator's mmap threshold

private:
    void* m_last = nullptr;
};

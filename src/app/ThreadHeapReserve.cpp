#include "app/ThreadHeapReserve.h"

#include <cstdlib> // defines __GLIBC__ where the C library is glibc
#include <vector>

ThreadHeapReserve::ThreadHeapReserve(std::size_t bytes)
{
#if defined(__GLIBC__)
    std::vector<void*> blocks;
    blocks.reserve(bytes / kBlock + 1);
    for (std::size_t done = 0; done < bytes; done += kBlock) {
        void* block = std::malloc(kBlock);
        if (!block)
            break;
        blocks.push_back(block);
    }
    if (blocks.empty())
        return;
    m_last = blocks.back();
    blocks.pop_back();
    for (void* block : blocks)
        std::free(block);
#else
    static_cast<void>(bytes);
#endif
}

ThreadHeapReserve::~ThreadHeapReserve()
{
    std::free(m_last);
}

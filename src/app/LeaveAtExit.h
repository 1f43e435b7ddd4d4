#pragma once

#include <memory>

// QM_SANITIZED is 1 when the build runs under AddressSanitizer (GCC's and clang's ways of saying
// so).
#if defined(__SANITIZE_ADDRESS__)
#define QM_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QM_SANITIZED 1
#endif
#endif
#ifndef QM_SANITIZED
#define QM_SANITIZED 0
#endif

// Leaves a big model to the system when the program is about to end: freeing it node by node would
// only delay the exit. Under a leak checker it is freed as usual, so that real leaks stand out.
template <typename T> void leaveAtExit(std::unique_ptr<T> object)
{
#if !QM_SANITIZED
    (void)object.release();
#endif
}

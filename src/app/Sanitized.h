#pragma once

// QM_SANITIZED is 1 when the build runs under AddressSanitizer (GCC's and clang's ways of saying
// so): memory left to the system at exit would be reported as leaks there, so it is freed instead.
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

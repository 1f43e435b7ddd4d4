#include "app/MallocTuning.h"

#include <cstdlib> // defines __GLIBC__ where the C library is glibc
#if defined(__GLIBC__)
#include <malloc.h>
#endif

void MallocTuning::apply()
{
#if defined(__GLIBC__)
    // No fast bins: freeing a large model would otherwise leave millions of small chunks there that
    // the next larger request first sweeps together (malloc_consolidate, a sixth of reading a big
    // address book). The per-thread cache still serves small requests quickly.
    mallopt(M_MXFAST, 0);
#endif
}

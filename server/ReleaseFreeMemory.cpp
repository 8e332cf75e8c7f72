#include "ReleaseFreeMemory.h"

#include <cstdlib>  // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace wl {

void ReleaseFreeMemory() {
#if defined(__GLIBC__)
    // Consolidates the free lists of every arena and gives back each whole free page, not only the top.
    malloc_trim(0);
#endif
}

}  // namespace wl

#include "heap.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

void keepLargeBlocksMapped()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

void returnFreeHeapPages()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// Heap accounting for a whole process: malloc and its relatives are
// replaced (heapcount.cpp) by glibc's own allocator plus a count of the
// bytes live, so that C libraries (cairo, libpng, zlib) are counted along
// with operator new, which allocates through malloc. Link heapcount.cpp
// into one executable only.
#ifndef RASTELLO_BENCH_HEAPCOUNT_H
#define RASTELLO_BENCH_HEAPCOUNT_H

#include <cstdint>

namespace Bench
{

// Usable bytes of every block now allocated.
int64_t HeapLive();
// Highest HeapLive() since the last HeapMark().
int64_t HeapPeak();
// Starts a new peak from what is live now, and returns that.
int64_t HeapMark();

}  // namespace Bench

#endif

#include "hugepages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace Vantorum
{

void AdviseHugePages(void *start, size_t bytes)
{
#ifdef MADV_HUGEPAGE
  const uintptr_t HugePage = 2 << 20;
  const uintptr_t begin = reinterpret_cast<uintptr_t>(start);
  const uintptr_t first = (begin + HugePage - 1) & ~(HugePage - 1);
  const uintptr_t end = (begin + bytes) & ~(HugePage - 1);
  // Only advice: where the kernel has no huge pages the buffer works alike.
  if (end > first)
    madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
#else
  (void)start;
  (void)bytes;
#endif
}

}  // namespace Vantorum

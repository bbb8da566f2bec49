#include "largebuffer.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace Vantorum
{

void *AllocateLarge(size_t bytes)
{
#ifdef MADV_HUGEPAGE
  const size_t HugePage = size_t(2) << 20;
  const size_t Large = size_t(1) << 20;  // smaller buffers gain less than a huge page costs to clear
  if (bytes >= Large && bytes <= SIZE_MAX - HugePage)
  {
    const size_t whole = (bytes + HugePage - 1) & ~(HugePage - 1);
    void *block = nullptr;
    if (posix_memalign(&block, HugePage, whole) != 0)
      throw std::bad_alloc();
    // Only advice: where the kernel has no huge pages the buffer works alike.
    madvise(block, whole, MADV_HUGEPAGE);
    return block;
  }
#endif
  void *block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr)
    throw std::bad_alloc();
  return block;
}

void FreeLarge(void *block) noexcept
{
  std::free(block);
}

}  // namespace Vantorum

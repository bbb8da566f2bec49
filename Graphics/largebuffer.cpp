#include "largebuffer.h"

#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace Vantorum
{

namespace
{

#ifdef MADV_HUGEPAGE
const size_t HugePage = LargePage;
const size_t Large = size_t(1) << 20;  // smaller buffers gain less than a huge page costs to clear

bool InHugePages(size_t bytes)
{
  return bytes >= Large && bytes <= SIZE_MAX - HugePage;
}
#endif

}  // namespace

void *AllocateLarge(size_t bytes)
{
#ifdef MADV_HUGEPAGE
  if (InHugePages(bytes))
  {
    const size_t whole = (bytes + HugePage - 1) & ~(HugePage - 1);
    void *block = ::operator new(whole, std::align_val_t(HugePage));
    // Only advice: where the kernel has no huge pages the buffer works alike.
    madvise(block, whole, MADV_HUGEPAGE);
    return block;
  }
#endif
  return ::operator new(bytes == 0 ? 1 : bytes);
}

void FreeLarge(void *block, size_t bytes) noexcept
{
#ifdef MADV_HUGEPAGE
  if (InHugePages(bytes))
  {
    ::operator delete(block, std::align_val_t(HugePage));
    return;
  }
#else
  (void)bytes;
#endif
  ::operator delete(block);
}

void DiscardLarge(void *start, size_t bytes) noexcept
{
#if defined(__linux__)
  const uintptr_t first = (reinterpret_cast<uintptr_t>(start) + LargePage - 1) & ~uintptr_t(LargePage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(start) + bytes) & ~uintptr_t(LargePage - 1);
  if (first < end)
    madvise(reinterpret_cast<void *>(first), end - first, MADV_DONTNEED);
#else
  (void)start;
  (void)bytes;
#endif
}

}  // namespace Vantorum

// glibc allows malloc to be replaced, and then calls the replacement from
// inside the C library too. Blocks still come from glibc (its __libc_*
// entries), so glibc's malloc_usable_size stays valid and is what is
// counted: the bytes a block really holds, not the bytes asked for.
// Everything that allocates must come through here, or free would subtract
// blocks never added: hence the aligned and array variants as well.
#include "heapcount.h"

#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>

extern "C"
{
  void *__libc_malloc(size_t size);
  void __libc_free(void *block);
  void *__libc_calloc(size_t count, size_t size);
  void *__libc_realloc(void *block, size_t size);
  void *__libc_memalign(size_t alignment, size_t size);
}

namespace
{

std::atomic<int64_t> live{0}, peak{0};

void *Added(void *block)
{
  if (block == nullptr)
    return nullptr;
  const int64_t now =
    live.fetch_add(int64_t(malloc_usable_size(block)), std::memory_order_relaxed) + int64_t(malloc_usable_size(block));
  int64_t seen = peak.load(std::memory_order_relaxed);
  while (now > seen && !peak.compare_exchange_weak(seen, now, std::memory_order_relaxed))
  {
  }
  return block;
}

void Removed(void *block)
{
  if (block != nullptr)
    live.fetch_sub(int64_t(malloc_usable_size(block)), std::memory_order_relaxed);
}

size_t PageSize()
{
  return size_t(sysconf(_SC_PAGESIZE));
}

}  // namespace

namespace Bench
{

int64_t HeapLive()
{
  return live.load(std::memory_order_relaxed);
}

int64_t HeapPeak()
{
  return peak.load(std::memory_order_relaxed);
}

int64_t HeapMark()
{
  const int64_t now = live.load(std::memory_order_relaxed);
  peak.store(now, std::memory_order_relaxed);
  return now;
}

}  // namespace Bench

extern "C"
{

  void *malloc(size_t size)
  {
    return Added(__libc_malloc(size));
  }

  void free(void *block)
  {
    Removed(block);
    __libc_free(block);
  }

  void *calloc(size_t count, size_t size)
  {
    return Added(__libc_calloc(count, size));
  }

  void *realloc(void *block, size_t size)
  {
    const int64_t before = block != nullptr ? int64_t(malloc_usable_size(block)) : 0;
    void *moved = __libc_realloc(block, size);
    // A failed realloc keeps the old block; realloc(block, 0) frees it.
    if (moved == nullptr && size != 0)
      return nullptr;
    live.fetch_sub(before, std::memory_order_relaxed);
    return Added(moved);
  }

  void *reallocarray(void *block, size_t count, size_t size)
  {
    size_t bytes;
    if (__builtin_mul_overflow(count, size, &bytes))
    {
      errno = ENOMEM;
      return nullptr;
    }
    return realloc(block, bytes);
  }

  void *memalign(size_t alignment, size_t size)
  {
    return Added(__libc_memalign(alignment, size));
  }

  void *aligned_alloc(size_t alignment, size_t size)
  {
    return Added(__libc_memalign(alignment, size));
  }

  int posix_memalign(void **result, size_t alignment, size_t size)
  {
    if (alignment % sizeof(void *) != 0 || (alignment & (alignment - 1)) != 0 || alignment == 0)
      return EINVAL;
    void *block = Added(__libc_memalign(alignment, size));
    if (block == nullptr)
      return ENOMEM;
    *result = block;
    return 0;
  }

  void *valloc(size_t size)
  {
    return Added(__libc_memalign(PageSize(), size));
  }

  void *pvalloc(size_t size)
  {
    const size_t page = PageSize();
    return Added(__libc_memalign(page, (size + page - 1) / page * page));
  }

}  // extern "C"

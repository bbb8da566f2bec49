// Buffers of a megabyte and more, filled once front to back (a picture, a
// grid of coefficients). On Linux they start on a 2 MiB boundary, span whole
// 2 MiB pages and ask for huge pages: faulting such a buffer in 4 KiB pages
// costs about as much as the work that fills it.
#ifndef VANTORUM_LARGEBUFFER_H
#define VANTORUM_LARGEBUFFER_H

#include <cstddef>

namespace Vantorum
{

// Uninitialised bytes from operator new (so heap accounting sees them);
// throws std::bad_alloc when there is no memory. Freed with the same count.
void *AllocateLarge(size_t bytes);
void FreeLarge(void *block, size_t bytes) noexcept;
// The pages large buffers are laid out in, and given back in.
const size_t LargePage = size_t(2) << 20;
// Gives the memory of the whole large pages inside [start, start + bytes)
// back to the system, keeping the addresses: they read as zeros
// afterwards. Where the system cannot, nothing changes.
void DiscardLarge(void *start, size_t bytes) noexcept;

class LargeBufferDeleter
{
public:
  LargeBufferDeleter() = default;
  explicit LargeBufferDeleter(size_t count) : bytes(count) {}
  void operator()(void *block) const noexcept { FreeLarge(block, bytes); }

private:
  size_t bytes = 0;
};

}  // namespace Vantorum

#endif

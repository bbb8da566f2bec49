// Large buffers filled once, front to back (a picture, a coefficient grid),
// ask the kernel for 2 MiB pages: in 4 KiB pages, faulting tens of
// megabytes in costs about as much as the work that fills them.
#ifndef VANTORUM_HUGEPAGES_H
#define VANTORUM_HUGEPAGES_H

#include <cstddef>

namespace Vantorum
{

// Advises the whole 2 MiB pages inside [start, start + bytes), before they
// are first touched; elsewhere than Linux, and for small buffers, nothing.
void AdviseHugePages(void *start, size_t bytes);

}  // namespace Vantorum

#endif

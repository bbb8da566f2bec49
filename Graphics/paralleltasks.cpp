#include "paralleltasks.h"

namespace Vantorum
{

namespace
{
std::atomic<uint64_t> minimumShareUnits{16384};
}  // namespace

uint64_t MinimumShareUnits()
{
  return minimumShareUnits.load(std::memory_order_relaxed);
}

void SetMinimumShareUnits(uint64_t units)
{
  minimumShareUnits.store(units == 0 ? 1 : units, std::memory_order_relaxed);
}

}  // namespace Vantorum

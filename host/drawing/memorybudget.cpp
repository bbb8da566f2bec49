// How much memory a drawing's records may take: a share of the machine's
// memory, so that a large drawing loads where there is room for it and a
// hostile one is refused before it exhausts the machine.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "dxflimits.h"
#include "dxfscan.h"

namespace zulan
{
namespace
{

constexpr size_t MiB = size_t(1) << 20;
constexpr size_t MostMiB = size_t(1) << 30;        // 1 PiB: beyond any machine, and no overflow in bytes
constexpr size_t FallbackBytes = size_t(1) << 30;  // when the system will not say its memory

size_t PhysicalMemory()
{
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0)
    return 4 * FallbackBytes;
  return size_t(pages) * size_t(pageSize);
}

std::string MiBText(double bytes)
{
  return std::to_string(static_cast<unsigned long long>(std::ceil(bytes / double(MiB)))) + " MiB";
}

}  // namespace

size_t MemoryBudget(const std::string &path)
{
  const char *given = std::getenv(MemoryBudgetVariable);
  if (given == nullptr || *given == '\0')
    return std::max(PhysicalMemory() / 4, MiB);
  const size_t length = std::strlen(given);
  const bool digits = length <= 10 && std::strspn(given, "0123456789") == length;
  const unsigned long long mib = digits ? std::strtoull(given, nullptr, 10) : 0;
  if (mib == 0 || mib > MostMiB)
    ThrowLoadError(path, std::string(MemoryBudgetVariable) + " must be a whole number of MiB from 1 to "
                           + std::to_string(MostMiB) + ", not \"" + std::string(given, std::min<size_t>(length, 40))
                           + "\"");
  return size_t(mib) * MiB;
}

size_t PointLimit(size_t budget)
{
  const size_t PointBytes = 16, MostPoints = 0xFFFFFFFF;
  return std::max(MaxPoints, std::min(budget / PointBytes, MostPoints));
}

void OverMemoryBudget(const std::string &path, double needed, size_t budget)
{
  ThrowLoadError(path, "the drawing's entities need " + MiBText(needed) + " of memory, more than its budget of "
                         + MiBText(double(budget)) + " (" + MemoryBudgetVariable + " sets it, in MiB)");
}

}  // namespace zulan

#include "simd.h"

#include <atomic>
#include <stdexcept>

namespace Vantorum
{

namespace
{

bool HasAvx2()
{
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
#else
  return false;
#endif
}

bool HasAvx512()
{
#if defined(__x86_64__) && defined(__GNUC__)
  // libgcc counts these only when the system saves the vector state too.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("avx512f") != 0
         && __builtin_cpu_supports("avx512bw") != 0 && __builtin_cpu_supports("avx512vl") != 0;
#else
  return false;
#endif
}

std::atomic<InstructionSet> &Current()
{
  static std::atomic<InstructionSet> current{BestInstructionSet()};
  return current;
}

}  // namespace

std::vector<InstructionSet> AvailableInstructionSets()
{
  std::vector<InstructionSet> sets{InstructionSet::Portable};
  if (HasAvx2())
    sets.push_back(InstructionSet::Avx2);
  if (HasAvx512())
    sets.push_back(InstructionSet::Avx512);
  return sets;
}

InstructionSet BestInstructionSet()
{
  return HasAvx512() ? InstructionSet::Avx512 : HasAvx2() ? InstructionSet::Avx2 : InstructionSet::Portable;
}

void UseInstructionSet(InstructionSet set)
{
  if (set == InstructionSet::Avx2 && !HasAvx2())
    throw std::invalid_argument("This processor has no AVX2");
  if (set == InstructionSet::Avx512 && !HasAvx512())
    throw std::invalid_argument("This processor has no AVX-512");
  Current().store(set, std::memory_order_relaxed);
}

InstructionSet CurrentInstructionSet()
{
  return Current().load(std::memory_order_relaxed);
}

const char *InstructionSetName(InstructionSet set)
{
  return set == InstructionSet::Avx512 ? "AVX-512" : set == InstructionSet::Avx2 ? "AVX2" : "portable";
}

}  // namespace Vantorum

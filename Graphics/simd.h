// Instruction-set paths of the library's hot loops. Every path gives the
// same output bytes; the best one the processor has is chosen at start-up,
// and a caller (the tests, a benchmark) may pin another.
#ifndef VANTORUM_SIMD_H
#define VANTORUM_SIMD_H

#include <vector>

namespace Vantorum
{

enum class InstructionSet
{
  Portable,  // plain C++: any processor, the compiler's baseline only
  Avx2,      // x86 AVX2 (never FMA: the DCT's doubles must stay those of the definition)
  Avx512,    // 64-bit x86 AVX-512 F, BW and VL where they pay, AVX2 elsewhere (no FMA either)
};

// Portable first, then every path this processor can run.
std::vector<InstructionSet> AvailableInstructionSets();
InstructionSet BestInstructionSet();
// Pins the path for later writes; a path the processor lacks is refused
// with std::invalid_argument.
void UseInstructionSet(InstructionSet set);
InstructionSet CurrentInstructionSet();
const char *InstructionSetName(InstructionSet set);

}  // namespace Vantorum

#endif

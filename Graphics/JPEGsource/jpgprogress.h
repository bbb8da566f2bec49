// Progress of a loop over rows, in whole percent. Internal to the library.
#ifndef VANTORUM_JPGPROGRESS_H
#define VANTORUM_JPGPROGRESS_H

#include <cstdint>

namespace Vantorum
{

// Runs from a start to an end figure in equal steps, one per row. The sum
// is kept in 1/PercentUnits percent and each step rounded down, so the
// figures never reach the end before End() reports it.
class RowProgress
{
public:
  static const uint32_t PercentUnits = 256;

  explicit RowProgress(uint32_t rows, uint32_t startPercent = 0, uint32_t endPercent = 100)
    : accumulator(startPercent * PercentUnits), step((endPercent - startPercent) * PercentUnits / rows),
      last(endPercent)
  {
  }
  uint32_t Row()
  {
    accumulator += step;
    return accumulator / PercentUnits;
  }
  uint32_t End() const { return last; }

private:
  uint32_t accumulator;
  uint32_t step;
  uint32_t last;
};

// One pass of a Huffman-coded scan: the statistics pass runs 0 to 50, the
// output pass 50 to 100.
inline RowProgress PassProgress(bool writing, uint32_t rows)
{
  return writing ? RowProgress(rows, 50, 100) : RowProgress(rows, 0, 50);
}

}  // namespace Vantorum

#endif

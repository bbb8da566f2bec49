// The forward DCT and quantisation of 8 x 8 blocks, with a portable, an
// AVX2 and an AVX-512 implementation that give the same doubles, hence the
// same coefficients: the same IEEE operations in the same order on every
// lane.
#ifndef VANTORUM_JPGTRANSFORM_H
#define VANTORUM_JPGTRANSFORM_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Vantorum
{

class QuantizationTable;

// One block's coefficients in lane order: entry u * 8 + v is the natural
// coefficient v * 8 + u (horizontal frequency u, vertical v).
typedef void (*LaneTransform)(const uint8_t *samples, size_t stride, const double *laneScales, int16_t *lanes);
// The same straight to zigzag order; source[k] is the lane entry of position k.
typedef void (*ZigZagTransform)(const uint8_t *samples, size_t stride, const double *laneScales, const uint16_t *source,
                                int16_t *zigzag);

// Blocks of one quantisation table to zigzag-ordered coefficients, on the
// instruction set in force when it was made.
class BlockTransform
{
public:
  explicit BlockTransform(const QuantizationTable &table);
  // Transforms the 256 flat blocks (64 samples alike) once, after which
  // ToZigZag copies a flat block's coefficients instead of computing them:
  // most blocks of a drawing are paper. A block's coefficients depend on
  // its samples alone, so the copies are what the transform would give.
  void PrepareFlatBlocks();
  // The sample of a flat block, or -1 (also before PrepareFlatBlocks).
  int FlatValue(const uint8_t *samples, size_t stride) const;
  // The prepared coefficients of the flat block of value.
  const int16_t *FlatBlock(int value) const { return &flatBlocks[static_cast<size_t>(value) * 64]; }
  // samples: 8 rows of 8, stride bytes apart.
  void ToZigZag(const uint8_t *samples, size_t stride, int16_t zigzag[64]) const;
  // ToZigZag without looking for a flat block.
  void Compute(const uint8_t *samples, size_t stride, int16_t zigzag[64]) const;
  void ToNatural(const uint8_t *samples, size_t stride, int16_t natural[64]) const;

private:
  alignas(32) double laneScales[64];
  LaneTransform transform;
  ZigZagTransform zigzagTransform = nullptr;  // where the instruction set has one
  std::vector<int16_t> flatBlocks;            // 256 x 64 in zigzag order, once prepared
};

}  // namespace Vantorum

#endif

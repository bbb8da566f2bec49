// libjpeg-turbo set up for the same job as our encoder: 4:4:4, our two
// quantisation tables, float DCT, optimised Huffman tables and, for
// progressive, our default scan script (interleaved DC, then AC 1..63 per
// component, no successive approximation).
#ifndef RASTELLO_BENCH_TURBO_H
#define RASTELLO_BENCH_TURBO_H

#include <cstdint>
#include <vector>

#include "bitmapimage.h"

namespace Bench
{

// Tables in natural order, as QuantizationTable::GetValues returns them.
std::vector<uint8_t> TurboEncode(const Vantorum::BitmapImage &image, const uint16_t *luminance,
                                 const uint16_t *chrominance, bool progressive);
// Decodes any JPEG to RGB bytes; width and height must match.
std::vector<uint8_t> TurboDecodeRgb(const std::vector<uint8_t> &jpeg, uint32_t &width, uint32_t &height);

}  // namespace Bench

#endif

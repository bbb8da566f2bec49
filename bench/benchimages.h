// The bench's generated test images. All are deterministic, so figures from
// two machines describe the same pixels.
#ifndef RASTELLO_BENCH_BENCHIMAGES_H
#define RASTELLO_BENCH_BENCHIMAGES_H

#include <cstdint>
#include <string>

#include "bitmapimage.h"

namespace Bench
{

// A flat CAD-like line drawing: white paper, thousands of one- and
// two-pixel lines in the host's layer colours, circles and rows of small
// text-like strokes, all without antialiasing, as a GDI capture has them.
Vantorum::BitmapImage CadDrawing(uint32_t width, uint32_t height, uint32_t seed);
// Smooth gradients with a fine texture and mild grain, like a photograph.
Vantorum::BitmapImage PhotoLike(uint32_t width, uint32_t height);
// Uniform random colours: the worst case for every stage.
Vantorum::BitmapImage Noise(uint32_t width, uint32_t height, uint32_t seed);

}  // namespace Bench

#endif

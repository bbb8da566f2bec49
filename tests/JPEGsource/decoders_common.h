// What the in-process and the external decoder matrices share: the
// pictures, the encoding and the yardsticks.
#ifndef RASTELLO_TESTS_DECODERS_COMMON_H
#define RASTELLO_TESTS_DECODERS_COMMON_H

#include <cmath>
#include <vector>

#include "decoders.h"
#include "jpegsegments.h"
#include "modes.h"
#include "testimages.h"

namespace testing_support
{

inline const std::vector<Picture> &DecoderPictures()
{
  static const std::vector<Picture> pictures = {
    {"gradient-37x23", [] { return GradientImage(37, 23); }},
    {"noise-9x17", [] { return NoiseImage(9, 17, 4); }, false},
    {"letter-f", [] { return LetterF(); }, false},
    {"gradient-1x1", [] { return GradientImage(1, 1); }},
    {"gradient-130x66", [] { return GradientImage(130, 66); }},
  };
  return pictures;
}

// Quality 90 unless the mode sets its own, so that closeness can be judged.
inline std::vector<uint8_t> EncodeForDecoders(const EncoderMode &mode, const Vantorum::BitmapImage &image)
{
  Vantorum::JpegEncoder encoder;
  encoder.SetQuality(90);
  mode.configure(encoder);
  return EncodeJpeg(encoder, image);
}

// The source as RGB bytes; greyscale as its ITU-R BT.601 luma, computed
// here in floating point and not with the encoder's integer weights.
inline std::vector<uint8_t> SourceRgb(const Vantorum::BitmapImage &image, bool greyscale)
{
  std::vector<uint8_t> rgb;
  for (uint32_t y = 0; y < image.GetHeight(); ++y)
    for (uint32_t x = 0; x < image.GetWidth(); ++x)
    {
      const Rgb p = GetPixel(image, x, y);
      if (greyscale)
      {
        const uint8_t v = static_cast<uint8_t>(std::lround(0.299 * p.red + 0.587 * p.green + 0.114 * p.blue));
        rgb.insert(rgb.end(), {v, v, v});
      }
      else
        rgb.insert(rgb.end(), {p.red, p.green, p.blue});
    }
  return rgb;
}

}  // namespace testing_support

#endif

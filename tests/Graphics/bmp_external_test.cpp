// Every BMP depth read back by Pillow and ImageMagick, programs of other
// projects. Labelled "external": each case spawns them.
#include "bmpencoder.h"
#include "decoders.h"
#include "testimages.h"

#include <gtest/gtest.h>

#include <tuple>

using Vantorum::BitmapImage;
using Vantorum::BmpEncoder;
using namespace testing_support;

namespace
{

const std::vector<Picture> Pictures = {
  {"letter-f", [] { return LetterF(); }},
  {"noise-17x9", [] { return NoiseImage(17, 9, 3); }},
  {"noise-1x1", [] { return NoiseImage(1, 1, 4); }},
  {"gradient-33x7", [] { return GradientImage(33, 7); }},
};

class BmpExternalDecoders : public testing::TestWithParam<std::tuple<int, Picture>>
{
};

TEST_P(BmpExternalDecoders, PillowAndImageMagickReadTheSourcePixels)
{
  const auto &[bits, picture] = GetParam();
  const BitmapImage image = picture.make();
  const std::string path = TempPath("round.bmp");
  BmpEncoder encoder;
  encoder.SetBitDepth(bits);
  encoder.WriteImageFile(path, image);
  for (const char *decoder : {"pillow", "magick"})
  {
    SCOPED_TRACE(decoder);
    const DecodedImage decoded = DecodeImage(decoder, path);
    ASSERT_TRUE(decoded.ok) << decoded.messages;
    EXPECT_FALSE(decoded.warned) << decoded.messages;
    ASSERT_EQ(decoded.width, image.GetWidth());
    ASSERT_EQ(decoded.height, image.GetHeight());
    int mismatches = 0;
    for (uint32_t y = 0; y < image.GetHeight(); ++y)
      for (uint32_t x = 0; x < image.GetWidth(); ++x)
      {
        const uint32_t word = *image.PixelAddress(y * image.GetWidth() + x);
        const uint8_t *got = &decoded.rgba[(static_cast<size_t>(y) * decoded.width + x) * 4];
        const uint8_t want[4] = {static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 8),
                                 static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 24)};
        for (int c = 0; c < 3; ++c)
        {
          // 16 bits keep the top five bits of each colour.
          const bool same = bits == 16 ? (got[c] >> 3) == (want[c] >> 3) : got[c] == want[c];
          mismatches += !same;
        }
        if (bits == 32 && decoded.hasAlpha)
          mismatches += got[3] != want[3];
      }
    EXPECT_EQ(mismatches, 0);
    if (bits == 32 && std::string(decoder) == "pillow")
    {
      EXPECT_TRUE(decoded.hasAlpha) << "the alpha mask must be honoured";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, BmpExternalDecoders,
                         testing::Combine(testing::Values(16, 24, 32), testing::ValuesIn(Pictures)),
                         [](const testing::TestParamInfo<std::tuple<int, Picture>> &test) {
                           return TestName(std::to_string(std::get<0>(test.param)) + "_bits__"
                                           + std::get<1>(test.param).name);
                         });

}  // namespace

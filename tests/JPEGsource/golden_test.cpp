// Output bytes of the JPEG encoder, pinned by SHA-256 for a spread of images
// and modes. The digests were taken from the encoder before its hot loops
// were reworked for speed; any change to a single output byte fails here.
// To print fresh rows for golden_digests.inc (only after a deliberate
// format change):
//   RASTELLO_PRINT_GOLDEN=1 jpeg_tests --gtest_filter='Pinned/JpegGolden.*'
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "decoders.h"
#include "jpegsegments.h"
#include "modes.h"
#include "testimages.h"

namespace
{

using Vantorum::BitmapImage;
using Vantorum::JpegEncoder;
using namespace testing_support;

// White paper with black and coloured one-pixel lines: long zero runs,
// EOB runs and isolated large coefficients.
BitmapImage LineDrawing()
{
  BitmapImage image(97, 61, PixelWord({255, 255, 255}));
  for (uint32_t x = 3; x < 94; ++x)
  {
    SetPixel(image, x, 7, {0, 0, 0});
    SetPixel(image, x, 40 + x % 13, {200, 0, 0});
  }
  for (uint32_t y = 2; y < 59; ++y)
    SetPixel(image, 50, y, {0, 0, 230});
  return image;
}

const std::vector<Picture> Pictures = {
  {"letter-f", [] { return LetterF(); }},
  {"gradient-301x203", [] { return GradientImage(301, 203); }},
  {"noise-67x45", [] { return NoiseImage(67, 45, 3); }},
  {"lines-97x61", [] { return LineDrawing(); }},
};

struct GoldenDigest
{
  const char *mode, *picture, *sha256;
};

const GoldenDigest Golden[] = {
#include "golden_digests.inc"
};

class JpegGolden : public testing::TestWithParam<ModeCase>
{
};

TEST_P(JpegGolden, OutputBytesAreUnchanged)
{
  const ModeCase &cell = GetParam();
  JpegEncoder encoder;
  cell.mode->configure(encoder);
  const std::string digest = Sha256(EncodeJpeg(encoder, cell.picture->make()));
  if (std::getenv("RASTELLO_PRINT_GOLDEN") != nullptr)
    std::printf("  {\"%s\", \"%s\", \"%s\"},\n", cell.mode->name, cell.picture->name, digest.c_str());
  const GoldenDigest *pinned = nullptr;
  for (const GoldenDigest &row : Golden)
    if (row.mode == std::string(cell.mode->name) && row.picture == std::string(cell.picture->name))
      pinned = &row;
  ASSERT_NE(pinned, nullptr) << "no digest pinned for " << cell;
  EXPECT_EQ(digest, pinned->sha256);
}

INSTANTIATE_TEST_SUITE_P(Pinned, JpegGolden,
                         testing::ValuesIn(ModeMatrix(Pictures, [](const EncoderMode &mode) { return mode.pinned; })),
                         ModeCaseName);

TEST(JpegGoldenTable, EveryRowIsChecked)
{
  // A row whose mode lost its pin would pass unnoticed.
  EXPECT_EQ(ModeMatrix(Pictures, [](const EncoderMode &mode) { return mode.pinned; }).size(),
            sizeof Golden / sizeof Golden[0]);
}

}  // namespace
